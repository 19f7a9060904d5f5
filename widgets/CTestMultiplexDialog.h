#pragma once
// The Test Multiplex dialog: a thin Qt view over CTestMultiplexBehaviour, laid out from
// its template in dialog units, ticked by a 250 ms timer.
#include "plugins/CTestMultiplexBehaviour.h"

#include <QBasicTimer>
#include <QDialog>

class QLabel;
class QTreeWidget;

class CTestMultiplexDialog : public QDialog
{
public:
    static constexpr int TimerId = 3880;

    CTestMultiplexDialog(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, QWidget* parent = nullptr);

    void done(int result) override;   // OK, Escape or the close box: the test is closed first
    QLabel* GetStatusText() const { return m_statusText; }
    QTreeWidget* GetServices() const { return m_services; }
    // One tick, as the timer gives it.
    void Tick();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void ShowStatus();

    CTestMultiplexBehaviour m_behaviour;
    QBasicTimer m_timer;
    QLabel* m_statusIcon;
    QLabel* m_statusText;
    QTreeWidget* m_services;
    bool m_closed = false;
};
