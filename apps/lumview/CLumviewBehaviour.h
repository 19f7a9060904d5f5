#pragma once
// What lumview's window does, without Qt: which input, multiplex and service are chosen,
// receiving the multiplex with its guide, playing the service, what the message and the
// status say (a file played to its end, a silent input) and what is remembered for the
// next run. The view forwards its events and timers here and draws State(). The plug-ins
// and their definitions are borrowed; the source is the plug-in's, asked for back at Close.
#include "CLumviewState.h"
#include "apps/common/CServicePlayer.h"

#include <memory>
#include <string>
#include <tuple>
#include <utility>

class CDVBMultiplexDefinition;
class CDVBTransportStreamSource;
class CGuideReceiver;
class CLUMInputPlugin;
class CLumviewSettings;

class CLumviewBehaviour
{
public:
    static constexpr int kRefreshMs = 500;
    static constexpr int kFrameMs = 40;

    explicit CLumviewBehaviour(CLumviewSettings& settings);
    ~CLumviewBehaviour();
    CLumviewBehaviour(const CLumviewBehaviour&) = delete;
    CLumviewBehaviour& operator=(const CLumviewBehaviour&) = delete;

    // Receives `definition` of `plugin`; false, with the reason in the message, when it
    // does not open.
    bool Open(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition);
    // The multiplex remembered from the last run, or the first there is.
    void OpenRemembered();
    void Close();

    void ChooseInput(int index);
    void ChooseMultiplex(int index);
    void ChooseService(int row);
    // The input's dialogs: after a change to its definitions the list is read again.
    void Configure();
    void TestMultiplex();

    void OnRefresh();   // every kRefreshMs while receiving
    void OnFrame();     // every kFrameMs while receiving

    const CLumviewState& State() const { return m_state; }

private:
    CLUMInputPlugin* CurrentPlugin() const;
    void FillMultiplexes();
    void OpenSelected();
    void Play();
    void RefreshGuide();
    void ClearPicture();

    CLumviewSettings& m_settings;
    CLumviewState m_state;
    int m_quietRefreshes = 0;
    std::vector<std::tuple<WORD, std::int64_t, DWORD>> m_guideShown;   // event, start, duration
    std::pair<std::uint64_t, int> m_guideSeen{0, -1};   // the store's revision, the service
    CServicePlayer m_player;
    std::vector<std::uint8_t> m_frame;   // the player's latest, before it is known to be new
    std::string m_name;   // of the multiplex received, as its definition has it
    CLUMInputPlugin* m_plugin = nullptr;
    CDVBTransportStreamSource* m_source = nullptr;
    std::unique_ptr<CGuideReceiver> m_receiver;
};
