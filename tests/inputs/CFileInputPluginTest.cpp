// The file input plug-in as a host sees it: loaded from LUMFileInput.so, reached through
// CLUMInputPlugin.
#include "core/CDVBTransportStreamSource.h"
#include "tests/inputs/CNumberedPackets.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class CFileInputPluginTest : public CFileInputFixture
{
protected:
    void TearDown() override
    {
        if (!m_previousFolder.empty())
            std::filesystem::current_path(m_previousFolder);
        CFileInputFixture::TearDown();
    }
    // A host has no other way to choose the folder a scan looks in than the current one.
    void ScanIn(const std::string& folder)
    {
        if (m_previousFolder.empty())
            m_previousFolder = std::filesystem::current_path().string();
        std::filesystem::current_path(folder);
        EXPECT_TRUE(m_plugin->ScanForMultiplexDefinitions());
    }
    std::vector<std::string> NamesAndPaths()
    {
        std::vector<std::string> all;
        for (int i = 0; i < m_plugin->GetMultiplexDefinitionCount(); ++i) {
            CDVBMultiplexDefinition* definition = m_plugin->GetMultiplexDefinitionAtIndex(i);
            all.push_back(FieldOf(definition, 0) + " | " + FieldOf(definition, 1));
        }
        return all;
    }

    std::string m_previousFolder;
};

TEST_F(CFileInputPluginTest, ScanAddsEveryStreamFileOnce)
{
    CTestPluginFolder streams;
    streams.Write("b.m2ts", CNumberedPackets::Stream(0, 2, 192));
    streams.Write("a.ts", CNumberedPackets::Stream(0, 2));
    streams.WriteText("c.txt", "notes\n");
    streams.WriteText("a.ts.txt", "notes\n");

    ScanIn(streams.Path());
    const std::vector<std::string> expected = {
        "a | " + streams.PathOf("a.ts"),
        "b | " + streams.PathOf("b.m2ts"),
    };
    EXPECT_EQ(expected, NamesAndPaths());

    ScanIn(streams.Path());
    EXPECT_EQ(expected, NamesAndPaths());
}

TEST_F(CFileInputPluginTest, ScanKnowsAFileADefinitionNamesByARelativePath)
{
    // Relative paths start at the plug-in folder; this one names the file scanned there.
    m_folder.Write("news.ts", CNumberedPackets::Stream(0, 2));
    Define("My news, news.ts, pcr, off");
    ScanIn(m_folder.Path());
    EXPECT_EQ(std::vector<std::string>{"My news | news.ts"}, NamesAndPaths());
}

TEST_F(CFileInputPluginTest, ScannedDefinitionsSurviveSaveAndLoad)
{
    // A comma in a file name would split the definition's line: such a file is passed over.
    CTestPluginFolder streams;
    streams.Write("News, late.ts", CNumberedPackets::Stream(0, 2));
    streams.Write("late.ts", CNumberedPackets::Stream(0, 2));
    ScanIn(streams.Path());
    const std::vector<std::string> scanned = NamesAndPaths();
    ASSERT_EQ(1u, scanned.size());
    EXPECT_EQ(0u, scanned[0].find("late | "));
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    EXPECT_EQ(scanned, NamesAndPaths());
    CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(m_plugin->GetMultiplexDefinitionAtIndex(0));
    EXPECT_NE(nullptr, source);
    m_plugin->CloseMultiplex(source);
}

TEST_F(CFileInputPluginTest, OpensNothingThatIsNotATransportStreamFile)
{
    std::string text;
    for (int line = 0; line < 40; ++line)
        text += "Good evening. This is a text file, not a transport stream.\n";
    m_folder.WriteText("text.ts", text);
    std::vector<BYTE> partial = CNumberedPackets::Packet(0);
    partial.resize(100);
    m_folder.Write("partial.ts", partial);

    for (const char* line :
         {"Missing, missing.ts", "Text, text.ts", "Partial, partial.ts", "No file", "Absolute, /nonexistent/stream.ts"})
        EXPECT_EQ(nullptr, m_plugin->OpenMultiplex(Define(line))) << line;

    // A definition of another plug-in's kind.
    CDVBMultiplexDefinition foreign;
    EXPECT_EQ(nullptr, m_plugin->OpenMultiplex(&foreign));
}

TEST_F(CFileInputPluginTest, OpensNoFolder)
{
    std::filesystem::create_directory(m_folder.PathOf("folder.ts"));
    CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(Define("Folder, folder.ts"));
    EXPECT_EQ(nullptr, source);
    if (source) {
        m_plugin->CloseMultiplex(source);
    }
}

TEST_F(CFileInputPluginTest, OpensRelativePathsFromThePluginFolderAndAbsoluteOnesAsTheyAre)
{
    m_folder.Write("here.ts", CNumberedPackets::Stream(0, 3));
    CTestPluginFolder elsewhere;
    elsewhere.Write("there.ts", CNumberedPackets::Stream(0, 3));

    for (const std::string& line : {std::string("Here, here.ts"), "There, " + elsewhere.PathOf("there.ts")}) {
        CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(Define(line.c_str()));
        EXPECT_NE(nullptr, source) << line;
        if (source) {
            EXPECT_TRUE(m_plugin->CloseMultiplex(source));
        }
    }
}

TEST_F(CFileInputPluginTest, RejectsAShortTextFileWithAGInIt)
{
    // One sync byte is all a file of one packet has; for text that is a capital G.
    m_folder.WriteText("note.ts", std::string(50, 'x') + "Good evening." + std::string(237, 'x'));
    CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(Define("Note, note.ts"));
    EXPECT_EQ(nullptr, source);
    if (source)
        m_plugin->CloseMultiplex(source);
}

}  // namespace
