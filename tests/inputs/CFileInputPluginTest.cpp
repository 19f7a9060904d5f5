// The file input plug-in as a host sees it: loaded from LUMFileInput.so, reached through
// CLUMInputPlugin and its extension.
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "tests/inputs/CNumberedPackets.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using E = CLUMInputPluginExtension;

class CFileInputPluginTest : public CFileInputFixture
{
protected:
    void SetUp() override
    {
        CFileInputFixture::SetUp();
        if (m_plugin)
            m_extension = dynamic_cast<E*>(m_plugin);
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

    E* m_extension = nullptr;
};

TEST_F(CFileInputPluginTest, ScanAddsEveryStreamFileOfTheFolderOnce)
{
    ASSERT_NE(nullptr, m_extension);
    CTestPluginFolder streams;
    streams.Write("b.m2ts", CNumberedPackets::Stream(0, 2, 192));
    streams.Write("a.ts", CNumberedPackets::Stream(0, 2));
    streams.Write("News, late.ts", CNumberedPackets::Stream(0, 2));   // a comma would split its line
    streams.WriteText("a.ts.txt", "notes\n");
    m_folder.Write("news.ts", CNumberedPackets::Stream(0, 2));
    Define("My news, news.ts, pcr, off");   // relative: names the plug-in folder's file

    const std::vector<std::string> expected = {
        "My news | news.ts", "a | " + streams.PathOf("a.ts"), "b | " + streams.PathOf("b.m2ts")};
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(m_extension->ScanFolder(streams.Path().c_str()));
        ASSERT_TRUE(m_extension->ScanFolder(m_folder.Path().c_str()));
        EXPECT_EQ(expected, NamesAndPaths());
    }
    ASSERT_TRUE(m_plugin->SaveMultiplexDefinitions());
    m_plugin->DeleteAllMultiplexDefinitions();
    ASSERT_TRUE(m_plugin->LoadMultiplexDefinitions());
    EXPECT_EQ(expected, NamesAndPaths());

    EXPECT_TRUE(m_extension->RemoveMultiplexDefinition(m_plugin->GetMultiplexDefinitionAtIndex(1)));
    EXPECT_EQ((std::vector<std::string>{expected[0], expected[2]}), NamesAndPaths());
    CDVBMultiplexDefinition stranger;
    EXPECT_FALSE(m_extension->RemoveMultiplexDefinition(&stranger));
}

TEST_F(CFileInputPluginTest, OpensTransportStreamFilesAndSaysWhyOthersFail)
{
    ASSERT_NE(nullptr, m_extension);
    CTestPluginFolder elsewhere;
    elsewhere.Write("there.ts", CNumberedPackets::Stream(0, 3));
    m_folder.Write("here.ts", CNumberedPackets::Stream(0, 3));
    m_folder.WriteText("text.ts", std::string(40, 'x') + "Good evening. This is text, not a transport stream.\n");
    std::vector<BYTE> partial = CNumberedPackets::Packet(0);
    partial.resize(100);
    m_folder.Write("partial.ts", partial);
    std::filesystem::create_directory(m_folder.PathOf("folder.ts"));

    const std::pair<std::string, int> cases[] = {
        {"Here, here.ts", E::OpenFailureNone},   // relative to the plug-in folder
        {"There, " + elsewhere.PathOf("there.ts"), E::OpenFailureNone},
        {"Missing, missing.ts", E::OpenFailureUnreadable},
        {"Folder, folder.ts", E::OpenFailureUnreadable},
        {"No file", E::OpenFailureUnreadable},
        {"Text, text.ts", E::OpenFailureNotTransportStream},   // one "G" is not a sync byte
        {"Partial, partial.ts", E::OpenFailureNotTransportStream},
    };
    for (const auto& [line, failure] : cases) {
        CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(Define(line.c_str()));
        EXPECT_EQ(failure == E::OpenFailureNone, source != nullptr) << line;
        EXPECT_EQ(failure, m_extension->GetLastOpenFailure()) << line;
        if (source) {
            EXPECT_TRUE(m_plugin->CloseMultiplex(source));
        }
    }
    CDVBMultiplexDefinition foreign;   // another plug-in's kind
    EXPECT_EQ(nullptr, m_plugin->OpenMultiplex(&foreign));
}

TEST_F(CFileInputPluginTest, MakesADefinitionOfAFileAUserNames)
{
    ASSERT_NE(nullptr, m_extension);
    m_folder.Write("clip, cut.ts", CNumberedPackets::Stream(0, 3));
    std::unique_ptr<CDVBMultiplexDefinition> definition(
        m_extension->CreateDefinitionForLocation(m_folder.PathOf("clip, cut.ts").c_str(), true));
    ASSERT_NE(nullptr, definition);
    EXPECT_EQ("clip, cut.ts", FieldOf(definition.get(), 0));
    EXPECT_EQ("pcr", FieldOf(definition.get(), 2));
    CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(definition.get());
    ASSERT_NE(nullptr, source);
    m_plugin->CloseMultiplex(source);
    for (const char* location : {"/no/such/file.ts", "/tmp", "udp://239.1.1.1:1234"})
        EXPECT_EQ(nullptr, m_extension->CreateDefinitionForLocation(location, false)) << location;
}

}  // namespace
