// lumview's window as its behaviour decides it, without a view: the real file input plug-in
// plays the bundled sample, and the test plays the view's timers.
#include "apps/lumview/CLumviewBehaviour.h"
#include "apps/lumview/CLumviewSettings.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "tests/plugins/CFileInputFixture.h"

#include "peer_streams.h"

#include <chrono>
#include <map>
#include <memory>
#include <thread>

namespace {

struct Remembered : CLumviewSettings   // what the window keeps in QSettings
{
    std::string GetSetting(const char* key) const override { return values.count(key) ? values.at(key) : ""; }
    void SetSetting(const char* key, const std::string& value) override { values[key] = value; }
    std::map<std::string, std::string> values;
};

using LumviewBehaviourTest = CFileInputFixture;

// Refreshes until `done` (a bounded poll: the file input's thread delivers the sample).
template <typename Done>
void RefreshUntil(CLumviewBehaviour& lumview, Done done)
{
    for (int refresh = 0; refresh < 400 && !done(); ++refresh) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lumview.OnRefresh();
    }
}

TEST_F(LumviewBehaviourTest, SaysWhatDoesNotOpenIsSilentOrHasEndedAndShowsTheChosenServicesGuide)
{
    Define("Missing, /no/such.ts, pcr, off");
    // opens, and at a bit a second its first packet is due in 25 minutes: silent, and not over
    Define("Silent, " LUM_SAMPLE ", 0.000001, on");
    Define("Once, " LUM_SAMPLE ", fast, off");
    Remembered settings;
    CLumviewBehaviour lumview(settings);
    const CLumviewState& state = lumview.State();
    lumview.OpenRemembered();   // nothing remembered: the first
    EXPECT_EQ(state.message.rfind("Missing could not be opened", 0), 0u) << state.message;
    settings.values["multiplex"] = "Silent";
    lumview.OpenRemembered();
    ASSERT_TRUE(state.receiving);
    EXPECT_EQ(settings.values["input"], m_plugin->GetName().Str());
    for (int refresh = 0; refresh < 6; ++refresh) {
        EXPECT_EQ(state.message, "") << refresh;
        lumview.OnRefresh();
    }
    EXPECT_EQ(state.message, "Nothing is being received from Silent.");
    settings.values["multiplex"] = "Once";
    lumview.OpenRemembered();
    RefreshUntil(lumview, [&] { return state.message.find("end") != std::string::npos; });
    EXPECT_EQ(state.message, "Once has been played to its end.");
    ASSERT_EQ(state.services.size(), 4u);
    EXPECT_EQ(state.service, 0);   // the first is chosen for the user
    ASSERT_FALSE(state.guide.empty());
    const std::string first = state.guide.front().title;
    const std::uint64_t drawn = state.guideChanges;
    lumview.OnRefresh();
    EXPECT_EQ(state.guideChanges, drawn) << "an unchanged guide drawn again loses the reader's place";
    lumview.ChooseService(1);
    ASSERT_FALSE(state.guide.empty());
    EXPECT_NE(state.guide.front().title, first) << "the guide is not the chosen service's";
}

// In channel order, numbered, as the NIT gives them; the first channel plays. A file given
// on the command line, which no definition names, is what the pickers show.
TEST_F(LumviewBehaviourTest, ListsServicesInChannelOrderAndThePickersShowWhatPlays)
{
    Define("Other, " LUM_SAMPLE ", fast, off");
    std::unique_ptr<CDVBMultiplexDefinition> given(
        dynamic_cast<CLUMInputPluginExtension&>(*m_plugin).CreateDefinitionForLocation(LUM_PEER_CHANNEL_NUMBERS_TS, false));
    ASSERT_NE(given, nullptr);
    Remembered settings;
    CLumviewBehaviour lumview(settings);
    const CLumviewState& state = lumview.State();
    ASSERT_TRUE(lumview.Open(m_plugin, given.get()));
    ASSERT_EQ(state.multiplexes, (std::vector<std::string>{"Other", given->GetName().Str()}));
    EXPECT_EQ(state.multiplex, 1);
    EXPECT_EQ(state.inputs.at(std::size_t(state.input)), m_plugin->GetName().Str());
    RefreshUntil(lumview, [&] { return state.services.size() == 3 && !state.services.back().number.empty(); });
    std::string list;
    for (const CLumviewState::Service& service : state.services)
        list += service.number + " " + service.name + "; ";
    EXPECT_EQ(list, "1 Radio Trois; 2 LUM One; 7 (hidden) Télé Deux; ");
    EXPECT_EQ(state.service, 0);
    lumview.ChooseMultiplex(1);   // what plays already: nothing to open
    EXPECT_TRUE(state.receiving);
}

// N and P go round the list; the volume stays within 0 to 100 and is remembered with the
// mute and the service watched, for the next run.
TEST_F(LumviewBehaviourTest, ZapsRoundTheListAndRemembersTheVolumeAndTheService)
{
    Define("Sample, " LUM_SAMPLE ", fast, on");
    Remembered settings;
    {
        CLumviewBehaviour lumview(settings);
        const CLumviewState& state = lumview.State();
        lumview.OpenRemembered();
        RefreshUntil(lumview, [&] { return state.services.size() == 4; });
        ASSERT_EQ(state.services.size(), 4u);
        lumview.NextService(-1);
        EXPECT_EQ(state.service, 3);
        lumview.NextService(1);
        lumview.NextService(1);
        EXPECT_EQ(state.service, 1);
        lumview.SetVolume(130);
        EXPECT_EQ(state.volume, 100);
        lumview.SetVolume(-5);
        EXPECT_EQ(state.volume, 0);
        lumview.SetVolume(35);
        lumview.ToggleMute();
        lumview.ToggleFullScreen();
        EXPECT_TRUE(state.fullScreen);
        lumview.LeaveFullScreen();
        EXPECT_FALSE(state.fullScreen);
    }
    CLumviewBehaviour again(settings);
    const CLumviewState& state = again.State();
    EXPECT_EQ(state.volume, 35);
    EXPECT_TRUE(state.muted);
    again.OpenRemembered();
    RefreshUntil(again, [&] { return state.service >= 0; });
    ASSERT_GE(state.service, 0);
    EXPECT_EQ(state.services[std::size_t(state.service)].id, 1002);
}

}  // namespace
