#pragma once
// lumview's main window: an input plug-in and one of its multiplexes to pick (with the
// Configure and Test dialogs a click away), the services of the multiplex received with
// their now and next events, the guide of the chosen service, its picture, and the
// bitrate and the source's status in the status bar.
#include "apps/common/CServicePlayer.h"

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

class CDVBMultiplexDefinition;
class CGuideReceiver;
class CVideoPane;
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
    // "picture of PTS N at X,Y WxH" in the window's coordinates; empty without a picture.
    QString DescribePicture() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CLUMInputPlugin* CurrentPlugin() const;
    void FillMultiplexes();
    void OpenSelected();
    void Close();
    void Refresh();
    void RefreshGuide();
    void Play();
    void ShowFrame();
    void ShowMessage(const QString& text);
    int CurrentService() const;   // -1 for none

    QComboBox* m_inputs;
    QComboBox* m_multiplexes;
    QTreeWidget* m_services;
    QTreeWidget* m_guide;
    CVideoPane* m_video;
    QLabel* m_message;
    QLabel* m_status;
    QTimer m_refresh;
    QTimer m_frames;
    int m_quietRefreshes = 0;
    std::vector<std::tuple<WORD, std::int64_t, DWORD>> m_guideShown;   // event, start, duration
    std::pair<std::uint64_t, int> m_guideSeen{0, -1};   // the store's revision, the service
    CServicePlayer m_player;
    std::vector<std::uint8_t> m_rgb;
    long long m_pictureTime = -1;

    CLUMInputPlugin* m_plugin = nullptr;
    CDVBTransportStreamSource* m_source = nullptr;
    std::unique_ptr<CGuideReceiver> m_receiver;
    QString m_name;
};
