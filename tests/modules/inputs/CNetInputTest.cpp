// The network input plug-in on loopback: a sender thread or a small HTTP server of the
// test's own streams a committed FFmpeg-made file; lumrx reads it over UDP, RTP and HTTP
// as from the file, losses and reconnections are counted, and bad input is said.
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "platform/CEvent.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "tests/plugins/CTestPluginFolder.h"
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes Stream()
{
    std::ifstream file(LUM_STREAM, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::pair<int, std::string> Lumrx(const std::string& arguments)
{
    return CommandOutput(LUMRX_PATH " " + arguments + " 2>&1");
}

// Sends the stream to `address`:`port` in datagrams of seven packets until stopped, as
// RTP when asked; a datagram `drop` names is left out, one `late` names comes after the
// next, one `damage` names has five stray bytes before its packets.
class CSender
{
public:
    using Rule = std::function<bool(std::uint16_t)>;
    CSender(int port, bool rtp, Rule drop = {}, Rule late = {}, Rule damage = {}, const char* address = "127.0.0.1")
        : m_bytes(Stream())
    {
        m_thread = std::thread([this, port, rtp, drop, late, damage, address] {
            const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(std::uint16_t(port));
            ::inet_pton(AF_INET, address, &to.sin_addr);
            const int hops = 0;   // a group's datagrams loop back to this host and go nowhere else
            ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
            std::uint16_t sequence = 0;
            Bytes held;
            while (!m_stop) {
                for (std::size_t at = 0; at + 7 * 188 <= m_bytes.size() && !m_stop; at += 7 * 188, ++sequence) {
                    Bytes datagram;
                    if (rtp)
                        datagram = {0x80, 33, BYTE(sequence >> 8), BYTE(sequence), 0, 0, 0, 0, 0, 0, 0, 1};
                    if (damage && damage(sequence))
                        datagram.insert(datagram.end(), {0x47, 0x47, 0, 0x47, 0});
                    datagram.insert(datagram.end(), m_bytes.begin() + long(at), m_bytes.begin() + long(at + 7 * 188));
                    auto send = [&](const Bytes& d) {
                        ::sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                    };
                    if (late && late(sequence)) {
                        held = datagram;
                    } else if (!(drop && drop(sequence))) {
                        send(datagram);
                        if (!held.empty())
                            send(held);
                        held.clear();
                    }
                    m_sent = sequence + 1;
                    if (sequence % 16 == 0)
                        m_stopEvent.Wait(1);   // a sender's pace, not a flood; a stop ends it at once
                }
            }
            ::close(s);
        });
    }
    ~CSender()
    {
        m_stop = true;
        m_stopEvent.Set();
        m_thread.join();
    }
    std::atomic<unsigned> m_sent{0};

private:
    Bytes m_bytes;
    std::atomic<bool> m_stop{false};
    CEvent m_stopEvent{true, false};
    std::thread m_thread;
};

// A one-connection-at-a-time HTTP server on loopback: `answer` gives the response to the
// n-th connection; the server closes each connection after it.
class CHttpServer
{
public:
    explicit CHttpServer(std::function<std::string(int)> answer)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(m_socket, 4);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&at), &length);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this, answer] {
            for (int n = 0;; ++n) {
                const int client = ::accept(m_socket, nullptr, nullptr);
                if (client < 0)
                    return;
                char request[4096];
                (void)::recv(client, request, sizeof request, 0);
                const std::string response = answer(n);
                for (std::size_t sent = 0; sent < response.size();) {
                    const ssize_t k = ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
                    if (k <= 0)
                        break;
                    sent += std::size_t(k);
                }
                ::close(client);
            }
        });
    }
    ~CHttpServer()
    {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        m_thread.join();
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    int m_socket;
    int m_port = 0;
    std::thread m_thread;
};

std::string Stream200(std::size_t bytes)
{
    const Bytes stream = Stream();
    return "HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" +
           std::string(stream.begin(), stream.begin() + long(std::min(bytes, stream.size())));
}

std::vector<std::pair<int, std::string>> Services(const std::string& json)
{
    std::vector<std::pair<int, std::string>> services;
    const auto parsed = nlohmann::json::parse(json, nullptr, false);
    if (!parsed.is_discarded())
        for (const auto& s : parsed["services"])
            services.emplace_back(s["id"], s["name"]);
    return services;
}

CDVBMultiplexDefinition* Define(CLUMInputPlugin* input, const char* line)
{
    CDVBMultiplexDefinition* definition = input->CreateMultiplexDefinition();
    definition->ReadFromString(line);
    input->AddMultiplexDefinition(definition);
    return definition;
}

// The plug-in loaded as a host loads it, in a process of its own.
class CNetInputPluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CTestPluginFolder::IsManagerFresh())
            GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
        m_folder.CopyIn(LUM_NET_INPUT_LIBRARY, "LUMNetInput.so");
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        manager->SetPluginFolderPath(m_folder.Path().c_str());
        ASSERT_EQ(manager->LoadPlugins(), 1);
        m_input = dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
        ASSERT_NE(m_input, nullptr);
    }
    CTestPluginFolder m_folder;
    CLUMInputPlugin* m_input = nullptr;
};

// What `source` delivers until `done` with it or `seconds` have passed.
Bytes ReadUntil(CDVBTransportStreamSource* source, const std::function<bool(const Bytes&)>& done, int seconds)
{
    Bytes got, buffer(188 * 1024);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done(got) && std::chrono::steady_clock::now() < deadline) {
        const DWORD n = source->ReadBuffer(buffer.data(), DWORD(buffer.size()));
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        if (n == 0)
            std::this_thread::yield();
    }
    return got;
}

}  // namespace

// Over UDP, RTP and HTTP (whose server closes the first connection halfway), the
// services the file holds; the file's own reading is the reference.
TEST(CNetInputTest, ServicesOverEveryTransportAreTheFilesServices)
{
    const auto expected = Services(Lumrx(std::string("services --json ") + LUM_STREAM).second);
    ASSERT_EQ(expected.size(), 3u);
    {
        CSender sender(47001, false);
        const auto [status, out] = Lumrx("services --json --timeout 20 udp://127.0.0.1:47001");
        EXPECT_EQ(Services(out.substr(out.find('{'))), expected) << out;
    }
    if (::system("ip route get 239.1.2.3 >/dev/null 2>&1") == 0) {   // a route for multicast: the group joined
        CSender sender(47005, false, {}, {}, {}, "239.1.2.3");
        const auto [status, out] = Lumrx("services --json --timeout 20 udp://239.1.2.3:47005");
        EXPECT_EQ(Services(out.substr(std::min(out.size(), out.find('{')))), expected) << out;
    }
    {
        CSender sender(47002, true);
        const auto [status, out] = Lumrx("services --json --timeout 20 rtp://127.0.0.1:47002");
        EXPECT_EQ(Services(out.substr(out.find('{'))), expected) << out;
    }
    CHttpServer server([](int n) { return Stream200(n == 0 ? 30000 : SIZE_MAX); });
    const auto [status, out] = Lumrx("services --json --timeout 20 " + server.Url("/live.ts"));
    EXPECT_EQ(Services(out.substr(out.find('{'))), expected) << out;
}

TEST_F(CNetInputPluginTest, RTPLossesAreCountedAndReorderingIsNotALoss)
{
    CLUMInputPlugin* input = m_input;
    CDVBTransportStreamSource* source = input->OpenMultiplex(Define(input, "Lossy, rtp://127.0.0.1:47003"));
    ASSERT_NE(source, nullptr);
    source->Start();
    // every hundredth datagram left out: 1%; the count must come within 1% of it;
    // every hundredth but one sent after the next: reordered, not lost; and every
    // hundredth but two not a whole number of packets: resynchronised, counted
    CSender* sender = new CSender(47003, true, [](std::uint16_t sequence) { return sequence % 100 == 50; },
                                  [](std::uint16_t sequence) { return sequence % 100 == 20; },
                                  [](std::uint16_t sequence) { return sequence % 100 == 30; });
    const std::size_t packets = ReadUntil(source, [sender](const Bytes&) { return sender->m_sent >= 3000; }, 30).size() / 188;
    const unsigned sent = sender->m_sent;
    delete sender;
    CString status;
    source->GetStatus(status);
    unsigned long long lost = 0;
    const std::string text = status.Str();
    ASSERT_NE(text.find("packets lost"), std::string::npos) << text;
    std::sscanf(text.c_str() + text.find(", ") + 2, "%llu", &lost);
    const double dropped = sent / 100.0;
    EXPECT_NEAR(double(lost), dropped, dropped * 0.01 + 1) << text;
    EXPECT_GT(packets, 7u * sent * 9 / 10) << "reception went on";
    const std::size_t skipped = text.find(" bytes skipped to resync");
    ASSERT_NE(skipped, std::string::npos) << text;
    EXPECT_EQ(std::stoull(text.substr(text.rfind(", ", skipped) + 2)) % 5, 0u) << text;   // the stray bytes, no packet
    EXPECT_TRUE(input->CloseMultiplex(source));
    input->DeInitialise();
}

// A URL that does not parse is kept, so that saving loses nothing, and named by the check.
TEST_F(CNetInputPluginTest, AURLThatDoesNotParseIsKeptAndNamedByTheCheck)
{
    CLUMInputPlugin* input = m_input;
    auto* extension = dynamic_cast<CLUMInputPluginExtension*>(input);
    ASSERT_NE(extension, nullptr);
    const std::pair<const char*, bool> urls[] = {
        {"udp://239.1.1.1:1234", true}, {"rtp://10.0.0.5@232.1.1.1:5000", true}, {"udp://[ff15::1]:5000", true},
        {"https://tv/a.ts", true}, {"udp://239.1.1.1", false}, {"udp://239.1.1.1:99999", false},
        {"239.1.1.1:1234", false}, {"ftp://host/a.ts", false}};
    for (const auto& [url, good] : urls) {
        std::unique_ptr<CDVBMultiplexDefinition> definition{input->CreateMultiplexDefinition()};
        EXPECT_TRUE(definition->ReadFromString(CString("News, ") + url + ", eth0")) << url;
        EXPECT_EQ(definition->m_firstFieldNotRead, good ? -1 : 1) << url;
        CString line, problem;
        definition->WriteToString(line);
        EXPECT_EQ(line.Str(), std::string("News, ") + url + ", eth0") << url;
        EXPECT_EQ(extension->CheckMultiplexDefinition(definition.get(), problem),
                  good ? CLUMInputPluginExtension::OpenFailureNone : CLUMInputPluginExtension::OpenFailureInvalid) << url;
        EXPECT_EQ(problem.Find(url) >= 0, !good) << problem.Str();
    }
}

// Source-specific multicast on loopback: a group joined on the interface named, and with
// none named on the one the route to the source leads through. Every packet of the
// datagrams sent arrives, the last one too.
TEST_F(CNetInputPluginTest, ASourceSpecificGroupIsJoinedOnItsInterfaceAndDeliversEveryPacket)
{
    CLUMInputPlugin* input = m_input;
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    const int hops = 0;
    ASSERT_EQ(::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0) << std::strerror(errno);
    ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
    const Bytes stream = Stream();
    constexpr std::size_t kDatagrams = 20, kDatagram = 7 * 188;
    ASSERT_GE(stream.size(), kDatagrams * kDatagram);
    const Bytes sent(stream.begin(), stream.begin() + long(kDatagrams * kDatagram));
    struct Case { const char* line; const char* group; std::uint16_t port; };
    for (const Case& c : {Case{"Named, udp://127.0.0.1@232.1.2.3:47006, lo", "232.1.2.3", 47006},
                          Case{"Routed, udp://127.0.0.1@232.1.2.4:47007", "232.1.2.4", 47007}}) {
        CDVBTransportStreamSource* source = input->OpenMultiplex(Define(input, c.line));
        ASSERT_NE(source, nullptr) << c.line;
        source->Start();
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(c.port);
        ::inet_pton(AF_INET, c.group, &to.sin_addr);
        for (std::size_t i = 0; i < kDatagrams; ++i)
            if (::sendto(s, stream.data() + i * kDatagram, kDatagram, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
                GTEST_SKIP() << "the kernel refuses multicast on lo: " << std::strerror(errno);
        const Bytes got = ReadUntil(source, [&](const Bytes& got) { return got.size() >= sent.size(); }, 10);
        EXPECT_TRUE(got == sent) << c.line << ": " << got.size() / 188 << " packets";
        EXPECT_TRUE(input->CloseMultiplex(source));
    }
    ::close(s);
    EXPECT_EQ(input->OpenMultiplex(Define(input, "Nowhere, udp://127.0.0.1@232.1.2.5:47008, nosuch0")), nullptr);
    EXPECT_STREQ(dynamic_cast<CLUMInputPluginExtension&>(*input).GetLastOpenFailureText(),
                 "there is no network interface nosuch0");
    input->DeInitialise();
}

TEST(CNetInputTest, BadInputIsSaidWithItsOwnExitCode)
{
    CHttpServer server([](int) { return std::string("HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nno"); });
    CHttpServer page([](int) { return std::string("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>"); });
    const std::tuple<std::string, int, const char*> cases[] = {
        {"udp://nonsense", 5, "does not parse"},
        {server.Url("/missing.ts"), 5, "404"},
        {page.Url("/"), 6, "text/html"},
        {"http://127.0.0.1:1/refused.ts", 7, "connect"},
        {"udp://127.0.0.1:47004 --timeout 2", 1, "no service found"},   // nobody sends there
    };
    for (const auto& [url, code, message] : cases) {
        const auto [status, out] = Lumrx("services " + url);
        EXPECT_EQ(status, code) << url << "\n" << out;
        EXPECT_NE(out.find(message), std::string::npos) << url << "\n" << out;
    }
}
