#pragma once
// lumview's main window: an input plug-in and one of its multiplexes to pick (with the
// Configure and Test dialogs a click away), the services of the multiplex received with
// their now and next events, and the bitrate and the source's status in the status bar.
#include <QMainWindow>
#include <QTimer>

#include <memory>

class CDVBMultiplexDefinition;
class CDVBTransportStreamReceiver;
class CDVBTransportStreamSource;
class CLUMInputPlugin;
class QComboBox;
class QLabel;
class QTreeWidget;

class CLumviewWindow : public QMainWindow
{
public:
    CLumviewWindow();
    ~CLumviewWindow() override;

    // Receives `definition` of `plugin` (not owned); false, with the reason shown, when
    // it does not open.
    bool Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition);
    // Picks the multiplex remembered from the last run, or the first there is.
    void OpenRemembered();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CLUMInputPlugin* CurrentPlugin() const;
    void FillMultiplexes();
    void OpenSelected();
    void Close();
    void Refresh();
    void ShowMessage(const QString& text);

    QComboBox* m_inputs;
    QComboBox* m_multiplexes;
    QTreeWidget* m_services;
    QLabel* m_message;
    QLabel* m_status;
    QTimer m_refresh;
    int m_quietRefreshes = 0;

    CLUMInputPlugin* m_plugin = nullptr;
    CDVBTransportStreamSource* m_source = nullptr;
    std::unique_ptr<CDVBTransportStreamReceiver> m_receiver;
    QString m_name;
};
