#include "plugins/CLUMInputPlugin.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Through the real file input plug-in.
using CLUMInputPluginTest = CFileInputFixture;
constexpr const char* kFileName = "LUMFileInput Multiplexes.txt";

Lines Definitions(CLUMInputPlugin* plugin)   // each as the line it saves as, in list order
{
    Lines all(std::size_t(plugin->GetMultiplexDefinitionCount()));
    for (std::size_t i = 0; i < all.size(); ++i) {
        CString line;
        plugin->GetMultiplexDefinitionAtIndex(int(i))->WriteToString(line);
        all[i] = line.Str();
    }
    return all;
}

}  // namespace

TEST_F(CLUMInputPluginTest, SavesBesideItselfAndLoadsBackFieldByField)
{
    EXPECT_FALSE(m_plugin->LoadMultiplexDefinitions()) << "no file yet";
    EXPECT_EQ(m_folder.PathOf(kFileName), m_plugin->GetMultiplexDefinitionsFilename().Str());
    Define("News, news.ts, pcr, off");
    Define("Sport HD, /srv/streams/sport.m2ts, fast, on");
    Define("Film, films/film one.ts, 8.5, off");
    const Lines saved = Definitions(m_plugin);
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("News, news.ts, pcr, off\nSport HD, /srv/streams/sport.m2ts, fast, on\nFilm, films/film one.ts, 8.5, off\n",
              m_folder.ReadText(kFileName));
    m_plugin->DeleteAllMultiplexDefinitions();
    m_plugin->Initialise();
    EXPECT_EQ(saved, Definitions(m_plugin));
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("", m_folder.ReadText(kFileName)) << "an empty list saves an empty file";
    // read 511 characters at a time, each piece a line of its own: why lumrx refuses a longer one
    Define(("Deep, /" + std::string(600, 'd') + "/deep.ts, pcr, off").c_str());
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 2);
}

TEST_F(CLUMInputPluginTest, SkipsBlankLinesKeepsShortOnesAppendsAndWalksTheList)
{
    m_folder.WriteText(kFileName, "\n   \n\t \t\nOnly a name\n  Spaced , x.ts ,fast,on  \r\n\n");
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    const std::string shortOne = "Only a name, , pcr, off", spaced = "Spaced, x.ts, fast, on";   // short: still one
    EXPECT_EQ(Definitions(m_plugin), (Lines{shortOne, spaced, shortOne, spaced}));
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(-1));
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(4));
    CLUMInputPlugin::Position position = m_plugin->GetFirstMultiplexDefinitionPosition();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(i), m_plugin->GetNextMultiplexDefinition(position)) << i;
    // at the end it stays at the end: a step past it would come round to the first
    for (int step = 0; step < 2; ++step) {
        EXPECT_FALSE(m_plugin->IsValid(position));
        EXPECT_EQ(nullptr, m_plugin->GetNextMultiplexDefinition(position));
    }
}
