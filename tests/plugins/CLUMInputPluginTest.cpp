#include "plugins/CLUMInputPlugin.h"

#include "plugins/CDVBMultiplexDefinition.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Definitions = std::vector<std::vector<std::string>>;

// The list and definitions file of input plug-ins, through the real file input plug-in.
class CLUMInputPluginTest : public CFileInputFixture
{
protected:
    Definitions Fields()   // every definition as its fields, in list order
    {
        Definitions all;
        for (int i = 0; i < m_plugin->GetMultiplexDefinitionCount(); ++i) {
            CDVBMultiplexDefinition* definition = m_plugin->GetMultiplexDefinitionAtIndex(i);
            all.emplace_back();
            for (int field = 0; field < definition->GetTotalFieldCount(); ++field)
                all.back().push_back(FieldOf(definition, field));
        }
        return all;
    }

    static constexpr const char* kFileName = "LUMFileInput Multiplexes.txt";
};

TEST_F(CLUMInputPluginTest, SavesBesideItselfAndLoadsBackFieldByField)
{
    EXPECT_EQ(m_folder.PathOf(kFileName), m_plugin->GetMultiplexDefinitionsFilename().Str());
    Define("News, news.ts, pcr, off");
    Define("Sport HD, /srv/streams/sport.m2ts, fast, on");
    Define("Film, films/film one.ts, 8.5, off");
    const Definitions saved = Fields();
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("News, news.ts, pcr, off\nSport HD, /srv/streams/sport.m2ts, fast, on\nFilm, films/film one.ts, 8.5, off\n",
              m_folder.ReadText(kFileName));
    m_plugin->DeleteAllMultiplexDefinitions();
    m_plugin->Initialise();
    EXPECT_EQ(saved, Fields());
}

TEST_F(CLUMInputPluginTest, SkipsBlankLinesKeepsShortOnesAndAppends)
{
    m_folder.WriteText(kFileName, "\n   \n\t \t\nOnly a name\n  Spaced , x.ts ,fast,on  \r\n\n");
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    const std::vector<std::string> shortOne = {"Only a name", "", "pcr", "off"};   // still a definition
    const std::vector<std::string> spaced = {"Spaced", "x.ts", "fast", "on"};
    EXPECT_EQ(Fields(), (Definitions{shortOne, spaced, shortOne, spaced}));
}

TEST_F(CLUMInputPluginTest, ALineLongerThanTheReadBufferLoadsInPieces)
{
    // Lines are read 511 characters at a time and each piece is a line of its own, which
    // is why lumrx refuses to add a longer one.
    Define(("Deep, /" + std::string(600, 'd') + "/deep.ts, pcr, off").c_str());
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 2);
}

TEST_F(CLUMInputPluginTest, AMissingFileLoadsNothingAndAnEmptyListSavesAnEmptyFile)
{
    EXPECT_FALSE(m_plugin->LoadMultiplexDefinitions());
    m_plugin->Initialise();
    EXPECT_EQ(0, m_plugin->GetMultiplexDefinitionCount());
    m_folder.WriteText(kFileName, "Old, old.ts, pcr, off\n");
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("", m_folder.ReadText(kFileName));
}

TEST_F(CLUMInputPluginTest, WalksTheListByIndexAndByPositionAndStopsAtTheEnd)
{
    Define("A, a.ts");
    Define("B, b.ts");
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(-1));
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(2));
    CLUMInputPlugin::Position position = m_plugin->GetFirstMultiplexDefinitionPosition();
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(0), m_plugin->GetNextMultiplexDefinition(position));
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(1), m_plugin->GetNextMultiplexDefinition(position));
    // at the end it stays at the end: a step past it would come round to the first
    for (int step = 0; step < 2; ++step) {
        EXPECT_FALSE(m_plugin->IsValid(position));
        EXPECT_EQ(nullptr, m_plugin->GetNextMultiplexDefinition(position));
    }
}

}  // namespace
