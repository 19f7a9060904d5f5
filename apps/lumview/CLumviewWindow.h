#pragma once
// lumview's main window: the view of CLumviewBehaviour. It lays out the input and
// multiplex pickers (with the Configure and Test dialogs a click away), the services with
// their now and next events, the chosen service's guide and picture and the status bar
// with the sound and subtitle tracks, teletext and the volume; in full screen the picture
// alone. It forwards clicks, keys, its timer
// and the decoder's new pictures to the behaviour and draws what that decided.
#include "CLumviewBehaviour.h"
#include "CLumviewSettings.h"

#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <vector>

class CDVBMultiplexDefinition;
class CLUMInputPlugin;
class CVideoPane;
class QComboBox;
class QLabel;
class QShortcut;
class QSlider;
class QSplitter;
class QToolButton;
class QTreeWidget;

class CLumviewWindow : public QMainWindow, private CLumviewSettings
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
    void SetFullScreen(bool on);
    // What the command line asked for: see CLumviewBehaviour::Ask.
    void Ask(const std::string& subtitles, int teletextPage);
    // The statistics of the service played; false when `path` cannot be written.
    bool WriteStatistics(const QString& path) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::string GetSetting(const char* key) const override;
    void SetSetting(const char* key, const std::string& value) override;

    QWidget* MakePickers(QWidget* central);
    QWidget* MakePanes(QWidget* central);
    void MakeVolume();
    void MakeTracks();
    void Connect();
    void ConnectKeys();
    // After every event: the widgets as the behaviour's state says.
    void Draw();
    void DrawServices();
    void DrawGuide();
    void DrawPicture();
    void DrawFullScreen();
    void DrawTracks();
    void DrawTeletext();

    CLumviewBehaviour m_behaviour;
    QWidget* m_pickers = nullptr;
    QSplitter* m_lists = nullptr;
    QComboBox* m_inputs = nullptr;
    QComboBox* m_multiplexes = nullptr;
    QTreeWidget* m_services = nullptr;
    QTreeWidget* m_guide = nullptr;
    CVideoPane* m_video = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_status = nullptr;
    QToolButton* m_mute = nullptr;
    QSlider* m_volume = nullptr;
    QToolButton* m_sound = nullptr;       // the sound tracks' menu
    QToolButton* m_subtitles = nullptr;   // the subtitle tracks' menu
    QToolButton* m_teletext = nullptr;
    std::vector<QShortcut*> m_teletextKeys;   // only while the teletext view is shown
    std::uint64_t m_teletextDrawn = 0;
    bool m_teletextShown = false;
    QTimer m_refresh;
    QMargins m_margins;   // of the window's parts, while the picture is alone
    std::atomic<bool> m_picturePending{false};   // a wake is queued: a decoder does not flood the event loop
    std::uint64_t m_guideDrawn = 0;   // the state's changes already drawn
    std::uint64_t m_pictureDrawn = 0;
};
