#include "plugins/CLUMInputPlugin.h"

#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMPluginManager.h"
#include "tests/plugins/CFileInputFixture.h"
#include "tests/plugins/CTestPluginFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The list and file handling of input plug-ins, through the real file input plug-in.
class CLUMInputPluginTest : public CFileInputFixture
{
protected:
    // Every definition as its fields, in list order.
    std::vector<std::vector<std::string>> Fields()
    {
        std::vector<std::vector<std::string>> all;
        for (int i = 0; i < m_plugin->GetMultiplexDefinitionCount(); ++i) {
            CDVBMultiplexDefinition* definition = m_plugin->GetMultiplexDefinitionAtIndex(i);
            std::vector<std::string> fields;
            for (int field = 0; field < definition->GetTotalFieldCount(); ++field)
                fields.push_back(FieldOf(definition, field));
            all.push_back(fields);
        }
        return all;
    }
    void WriteDefinitionsFile(const std::string& text) { m_folder.WriteText(kFileName, text); }

    static constexpr const char* kFileName = "LUMFileInput Multiplexes.txt";
};

TEST_F(CLUMInputPluginTest, KeepsItsDefinitionsInAFileNamedAfterItInThePluginFolder)
{
    EXPECT_EQ(m_folder.PathOf(kFileName), m_plugin->GetMultiplexDefinitionsFilename().Str());
}

TEST_F(CLUMInputPluginTest, SavedDefinitionsLoadBackFieldByField)
{
    Define("News, news.ts, pcr, off");
    Define("Sport HD, /srv/streams/sport.m2ts, fast, on");
    Define("Film, films/film one.ts, 8.5, off");
    const auto saved = Fields();
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("News, news.ts, pcr, off\n"
              "Sport HD, /srv/streams/sport.m2ts, fast, on\n"
              "Film, films/film one.ts, 8.5, off\n",
              m_folder.ReadText(kFileName));

    m_plugin->DeleteAllMultiplexDefinitions();
    EXPECT_EQ(0, m_plugin->GetMultiplexDefinitionCount());
    m_plugin->Initialise();

    EXPECT_EQ(saved, Fields());
    ASSERT_EQ(3, m_plugin->GetMultiplexDefinitionCount());
    EXPECT_EQ("Sport HD", m_plugin->GetMultiplexDefinitionAtIndex(1)->GetName().Str());
}

TEST_F(CLUMInputPluginTest, SkipsBlankLinesAndKeepsShortOnes)
{
    WriteDefinitionsFile("\n"
                         "   \n"
                         "\t \t\n"
                         "Only a name\n"
                         "  Spaced , x.ts ,fast,on  \r\n"
                         "\n");
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());

    const std::vector<std::vector<std::string>> expected = {
        {"Only a name", "", "pcr", "off"},   // too few fields, still a definition
        {"Spaced", "x.ts", "fast", "on"},
    };
    EXPECT_EQ(expected, Fields());
}

TEST_F(CLUMInputPluginTest, ALineLongerThanTheReadBufferLoadsInPieces)
{
    // Lines are read 511 characters at a time and each piece is a line of its own, which
    // is why lumrx refuses to add a longer one.
    const std::string line = "Deep, /" + std::string(600, 'd') + "/deep.ts, pcr, off";
    Define(line.c_str());
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionCount(), 2);
}

TEST_F(CLUMInputPluginTest, LoadingAppendsToTheList)
{
    WriteDefinitionsFile("One, one.ts\nTwo, two.ts\n");
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());

    ASSERT_EQ(4, m_plugin->GetMultiplexDefinitionCount());
    EXPECT_EQ("One", m_plugin->GetMultiplexDefinitionAtIndex(2)->GetName().Str());
    EXPECT_EQ("Two", m_plugin->GetMultiplexDefinitionAtIndex(3)->GetName().Str());
}

TEST_F(CLUMInputPluginTest, SavingAnEmptyListEmptiesTheFile)
{
    WriteDefinitionsFile("Old, old.ts, pcr, off\n");
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    EXPECT_EQ("", m_folder.ReadText(kFileName));
}

TEST_F(CLUMInputPluginTest, AMissingFileLoadsNothing)
{
    EXPECT_FALSE(m_plugin->LoadMultiplexDefinitions());
    m_plugin->Initialise();
    EXPECT_EQ(0, m_plugin->GetMultiplexDefinitionCount());
}

TEST_F(CLUMInputPluginTest, WalksTheListByIndexAndByPosition)
{
    Define("A, a.ts");
    Define("B, b.ts");
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(-1));
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(2));

    CLUMInputPlugin::Position position = m_plugin->GetFirstMultiplexDefinitionPosition();
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(0), m_plugin->GetNextMultiplexDefinition(position));
    EXPECT_EQ(m_plugin->GetMultiplexDefinitionAtIndex(1), m_plugin->GetNextMultiplexDefinition(position));
    EXPECT_FALSE(m_plugin->IsValid(position));
    // At the end it stays at the end: a step past it would come round to the first.
    EXPECT_EQ(nullptr, m_plugin->GetNextMultiplexDefinition(position));
    EXPECT_FALSE(m_plugin->IsValid(position));
    EXPECT_EQ(nullptr, m_plugin->GetNextMultiplexDefinition(position));
}

TEST_F(CLUMInputPluginTest, AnEmptyListHasNoValidPosition)
{
    CLUMInputPlugin::Position position = m_plugin->GetFirstMultiplexDefinitionPosition();
    EXPECT_FALSE(m_plugin->IsValid(position));
    EXPECT_EQ(nullptr, m_plugin->GetNextMultiplexDefinition(position));
    EXPECT_EQ(nullptr, m_plugin->GetMultiplexDefinitionAtIndex(0));
}

// An input plug-in that overrides nothing but its name (LUMTestOne.so).
TEST(CLUMInputPluginDefaultsTest, MakePlainDefinitionsAndSourcesThatDeliverNothing)
{
    if (!CTestPluginFolder::IsManagerFresh())
        GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
    CTestPluginFolder folder;
    folder.CopyIn(LUM_TEST_ONE_LIBRARY, "LUMTestOne.so");
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(folder.Path().c_str());
    ASSERT_EQ(1, manager->LoadPlugins());
    auto* plugin = dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    ASSERT_NE(nullptr, plugin);

    EXPECT_EQ(folder.PathOf("Test One Multiplexes.txt"), plugin->GetMultiplexDefinitionsFilename().Str());
    CDVBMultiplexDefinition* definition = plugin->CreateMultiplexDefinition();
    ASSERT_NE(nullptr, definition);
    EXPECT_EQ(0, definition->GetTotalFieldCount());
    EXPECT_FALSE(plugin->ConfigureMultiplexDefinitions());
    EXPECT_FALSE(plugin->ScanForMultiplexDefinitions());
    EXPECT_FALSE(plugin->TestMultiplexDefinition(definition));

    CDVBTransportStreamSource* source = plugin->OpenMultiplex(definition);
    ASSERT_NE(nullptr, source);
    std::vector<BYTE> buffer(188 * 4);
    EXPECT_EQ(0u, source->ReadBuffer(buffer.data(), DWORD(buffer.size())));
    EXPECT_TRUE(plugin->CloseMultiplex(source));
    delete definition;
    manager->SetPluginFolderPath("");
}

}  // namespace
