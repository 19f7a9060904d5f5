// lumview's window as its behaviour decides it, without a view: the real file input plug-in
// plays the bundled sample, and the test plays the view's timers.
#include "apps/lumview/CLumviewBehaviour.h"
#include "apps/lumview/CLumviewSettings.h"
#include "tests/plugins/CFileInputFixture.h"

#include <chrono>
#include <map>
#include <thread>

namespace {

struct Remembered : CLumviewSettings   // what the window keeps in QSettings
{
    std::string GetSetting(const char* key) const override { return values.count(key) ? values.at(key) : ""; }
    void SetSetting(const char* key, const std::string& value) override { values[key] = value; }
    std::map<std::string, std::string> values;
};

using LumviewBehaviourTest = CFileInputFixture;

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
    for (int refresh = 0; refresh < 400 && state.message.find("end") == std::string::npos; ++refresh) {   // a bounded poll
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lumview.OnRefresh();
    }
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

}  // namespace
