// The file input plug-in as a host sees it: loaded from LUMFileInput.so, reached through
// CLUMInputPlugin and its extension; its definitions' fields as read from and written to a line.
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "tests/modules/inputs/CNumberedPackets.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using E = CLUMInputPluginExtension;
using CFileInputPluginTest = CFileInputFixture;

TEST_F(CFileInputPluginTest, ScanAddsEveryStreamFileOfTheFolderOnce)
{
    auto* extension = dynamic_cast<E*>(m_plugin);
    ASSERT_NE(nullptr, extension);
    CTestPluginFolder streams;
    streams.Write("b.m2ts", CNumberedPackets::Stream(0, 2, 192));
    streams.Write("a.ts", CNumberedPackets::Stream(0, 2));
    streams.Write("News, late.ts", CNumberedPackets::Stream(0, 2));   // a comma would split its line
    streams.WriteText("a.ts.txt", "notes\n");
    m_folder.Write("news.ts", CNumberedPackets::Stream(0, 2));
    Define("My news, news.ts, pcr, off");   // relative: names the plug-in folder's file
    auto namesAndPaths = [this] {
        std::vector<std::string> all;
        for (int i = 0; i < m_plugin->GetMultiplexDefinitionCount(); ++i)
            all.push_back(FieldOf(m_plugin->GetMultiplexDefinitionAtIndex(i), 0) + " | " +
                          FieldOf(m_plugin->GetMultiplexDefinitionAtIndex(i), 1));
        return all;
    };
    const std::vector<std::string> expected = {
        "My news | news.ts", "a | " + streams.PathOf("a.ts"), "b | " + streams.PathOf("b.m2ts")};
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(extension->ScanFolder(streams.Path().c_str()));
        ASSERT_TRUE(extension->ScanFolder(m_folder.Path().c_str()));
        EXPECT_EQ(expected, namesAndPaths()) << "pass " << pass;
    }
    EXPECT_TRUE(extension->RemoveMultiplexDefinition(m_plugin->GetMultiplexDefinitionAtIndex(1)));
    EXPECT_EQ((std::vector<std::string>{expected[0], expected[2]}), namesAndPaths());
    CDVBMultiplexDefinition stranger;
    EXPECT_FALSE(extension->RemoveMultiplexDefinition(&stranger));
}

TEST_F(CFileInputPluginTest, OpensTransportStreamFilesSaysWhyOthersFailAndDefinesAFileAUserNames)
{
    auto* extension = dynamic_cast<E*>(m_plugin);
    ASSERT_NE(nullptr, extension);
    CTestPluginFolder elsewhere;
    elsewhere.Write("there.ts", CNumberedPackets::Stream(0, 3));
    m_folder.Write("here.ts", CNumberedPackets::Stream(0, 3));
    m_folder.Write("clip, cut.ts", CNumberedPackets::Stream(0, 3));
    m_folder.WriteText("text.ts", std::string(40, 'x') + "Good evening. This is text, not a transport stream.\n");
    std::vector<BYTE> partial = CNumberedPackets::Packet(0);
    partial.resize(100);
    m_folder.Write("partial.ts", partial);
    std::filesystem::create_directory(m_folder.PathOf("folder.ts"));
    const std::pair<std::string, int> cases[] = {
        {"Here, here.ts", E::OpenFailureNone},   // relative to the plug-in folder
        {"There, " + elsewhere.PathOf("there.ts"), E::OpenFailureNone}, {"No file", E::OpenFailureUnreadable},
        {"Missing, missing.ts", E::OpenFailureUnreadable}, {"Folder, folder.ts", E::OpenFailureUnreadable},
        {"Text, text.ts", E::OpenFailureNotTransportStream},   // one "G" is not a sync byte
        {"Partial, partial.ts", E::OpenFailureNotTransportStream},
    };
    for (const auto& [line, failure] : cases) {
        CDVBMultiplexDefinition* definition = Define(line.c_str());
        CString problem;   // the check, which does not open, foresees what opening meets
        EXPECT_EQ(failure, extension->CheckMultiplexDefinition(definition, problem)) << line;
        EXPECT_EQ(failure == E::OpenFailureNone, problem.IsEmpty()) << line << ": " << problem.Str();
        CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(definition);
        EXPECT_EQ(failure == E::OpenFailureNone, source != nullptr) << line;
        EXPECT_EQ(failure, extension->GetLastOpenFailure()) << line;
        EXPECT_TRUE(!source || m_plugin->CloseMultiplex(source)) << line;
    }
    CString problem;
    EXPECT_EQ(E::OpenFailureUnreadable, extension->CheckMultiplexDefinition(Define("Missing, missing.ts"), problem));
    EXPECT_EQ("the file \"" + m_folder.PathOf("missing.ts") + "\" does not exist", problem.Str());
    CDVBMultiplexDefinition foreign;   // another plug-in's kind
    EXPECT_EQ(nullptr, m_plugin->OpenMultiplex(&foreign));
    EXPECT_EQ(E::OpenFailureInvalid, extension->CheckMultiplexDefinition(&foreign, problem));

    std::unique_ptr<CDVBMultiplexDefinition> named(
        extension->CreateDefinitionForLocation(m_folder.PathOf("clip, cut.ts").c_str(), true));
    ASSERT_NE(nullptr, named);
    EXPECT_EQ("clip, cut.ts", FieldOf(named.get(), 0));
    EXPECT_EQ("pcr", FieldOf(named.get(), 2));
    CDVBTransportStreamSource* source = m_plugin->OpenMultiplex(named.get());
    ASSERT_NE(nullptr, source);
    EXPECT_TRUE(m_plugin->CloseMultiplex(source));
    for (const char* location : {"/no/such/file.ts", "/tmp", "udp://239.1.1.1:1234"})
        EXPECT_EQ(nullptr, extension->CreateDefinitionForLocation(location, false)) << location;
}

// A line without pacing or loop plays in real time, once through; each field of "Name,
// file.ts, fast, on" then read from a text: whether it is accepted, and what is written back.
TEST_F(CFileInputPluginTest, DefinitionsReadWhatTheyCanAndKeepTheValueOtherwise)
{
    CDVBMultiplexDefinition* copy = Define("News, news.ts");
    for (int index : {-1, 4}) {   // past either end of the four fields
        EXPECT_EQ("Unknown", copy->GetFieldName(index).Str()) << index;
        EXPECT_FALSE(copy->ReadFieldFromString(index, "x")) << index;
    }
    auto lineOf = [](CDVBMultiplexDefinition* d) { CString line; d->WriteToString(line); return std::string(line.Str()); };
    EXPECT_EQ("News, news.ts, pcr, off", lineOf(copy));
    copy->CopyFrom(Define("Film, film.ts, 8.5, on"));
    EXPECT_EQ("Film, film.ts, 8.5, on", lineOf(copy)) << "copied whole";
    EXPECT_EQ(-1, copy->m_firstFieldNotRead);
    EXPECT_TRUE(copy->ReadFromString("Odd, odd.ts, sometimes, maybe")) << "no line is rejected";
    EXPECT_EQ(2, copy->m_firstFieldNotRead);

    struct Case { int index; const char* text; bool accepted; const char* written; };
    for (const Case& c : {Case{2, "pcr", true, "pcr"}, Case{2, "PCR", true, "pcr"}, Case{2, "", true, "pcr"},
                          Case{2, "Fast", true, "fast"}, Case{2, "8.5", true, "8.5"}, Case{2, "2", true, "2"},
                          Case{2, "0.25", true, "0.25"}, Case{2, "0", false, "fast"}, Case{2, "-3", false, "fast"},
                          Case{2, "8.5x", false, "fast"}, Case{2, "x8", false, "fast"}, Case{2, "nan", false, "fast"},
                          Case{3, "on", true, "on"}, Case{3, "ON", true, "on"}, Case{3, "yes", true, "on"},
                          Case{3, "loop", true, "on"}, Case{3, "off", true, "off"}, Case{3, "no", true, "off"},
                          Case{3, "", true, "off"}, Case{3, "maybe", false, "on"},
                          Case{0, "Sport HD", true, "Sport HD"}, Case{1, "/srv/a b.ts", true, "/srv/a b.ts"}}) {
        CDVBMultiplexDefinition* definition = Define("Name, file.ts, fast, on");
        EXPECT_EQ(c.accepted, definition->ReadFieldFromString(c.index, c.text)) << c.index << " \"" << c.text << '"';
        EXPECT_EQ(c.written, FieldOf(definition, c.index)) << c.index << " \"" << c.text << '"';
    }
}

}  // namespace
