#pragma once
// The Configure Multiplexes dialog: a thin Qt view over CConfigureMultiplexesBehaviour,
// laid out from its template in dialog units.
#include "plugins/CConfigureMultiplexesBehaviour.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

class CConfigureMultiplexesDialog : public QDialog
{
public:
    CConfigureMultiplexesDialog(CLUMInputPlugin* plugin, QWidget* parent = nullptr);

    QTreeWidget* GetList() const { return m_list; }

protected:
    void accept() override;   // OK: the plug-in's list becomes the rows

private:
    void ShowRows();
    void OnSelectionChanged();

    CConfigureMultiplexesBehaviour m_behaviour;
    QTreeWidget* m_list;
    QPushButton* m_edit;
    QPushButton* m_remove;
    QPushButton* m_test;
};
