// The network input plug-in on loopback: a sender thread or a small HTTP server of the
// test's own streams a committed FFmpeg-made file; lumrx reads it over UDP, RTP and HTTP
// as from the file, losses and reconnections are counted, and bad input is said. Ports are
// ones the kernel finds free: a fixed one may be another run's on the same machine.
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "platform/CEvent.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "tests/plugins/CTestPluginFolder.h"
#include "tests/support/CRecoveryRun.h"
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
constexpr std::size_t kDatagram = 7 * 188;

const Bytes& Stream()
{
    static const Bytes stream = [] {
        std::ifstream file(LUM_STREAM, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }();
    return stream;
}

std::pair<int, std::string> Lumrx(const std::string& arguments)
{
    return CommandOutput(LUMRX_PATH " " + arguments + " 2>&1");
}

sockaddr_in Address(const char* host, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}

// Binds `s` to a port of loopback that nobody holds, and says which.
int BindFreePort(int s)
{
    sockaddr_in at = Address("127.0.0.1", 0);
    socklen_t length = sizeof at;
    ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &length);
    return ntohs(at.sin_port);
}

int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0), port = BindFreePort(s);
    ::close(s);
    return port;
}

// Sends the stream to `address`:`port` in datagrams of seven packets until stopped, as
// RTP when asked; `fate` says what becomes of a datagram by its sequence number.
enum class Fate { Sent, Dropped, Late, Damaged };   // late: after the next; damaged: five stray bytes first
class CSender
{
public:
    CSender(int port, bool rtp, std::function<Fate(std::uint16_t)> fate = {}, const char* address = "127.0.0.1")
    {
        m_thread = std::thread([this, port, rtp, fate, address] {
            const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
            const sockaddr_in to = Address(address, port);
            const int hops = 0;   // a group's datagrams loop back to this host and go nowhere else
            ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
            const auto send = [&](const Bytes& d) { ::sendto(s, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to); };
            Bytes held;
            for (std::uint16_t sequence = 0; !m_stop;)
                for (std::size_t at = 0; at + kDatagram <= Stream().size() && !m_stop; at += kDatagram, ++sequence) {
                    const Fate f = fate ? fate(sequence) : Fate::Sent;
                    Bytes datagram;
                    if (rtp)
                        datagram = {0x80, 33, BYTE(sequence >> 8), BYTE(sequence), 0, 0, 0, 0, 0, 0, 0, 1};
                    if (f == Fate::Damaged)
                        datagram.insert(datagram.end(), {0x47, 0x47, 0, 0x47, 0});
                    datagram.insert(datagram.end(), Stream().begin() + long(at), Stream().begin() + long(at + kDatagram));
                    if (f == Fate::Late) {
                        held = datagram;
                    } else if (f != Fate::Dropped) {
                        send(datagram);
                        if (!held.empty())
                            send(held);
                        held.clear();
                    }
                    m_sent = sequence + 1u;
                    if (sequence % 16 == 0)
                        m_stopEvent.Wait(1);   // a sender's pace, not a flood; a stop ends it at once
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
        : m_socket(::socket(AF_INET, SOCK_STREAM, 0)), m_port(BindFreePort(m_socket))
    {
        ::listen(m_socket, 4);
        m_thread = std::thread([this, answer] {
            for (int n = 0;; ++n) {
                const int client = ::accept(m_socket, nullptr, nullptr);
                if (client < 0)
                    return;
                char request[4096];
                (void)::recv(client, request, sizeof request, 0);
                const std::string response = answer(n);   // a blocking send sends it all, or the client left
                (void)::send(client, response.data(), response.size(), MSG_NOSIGNAL);
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
    int m_socket, m_port;
    std::thread m_thread;
};

// The services of lumrx's JSON, which follows whatever it said first.
std::vector<std::pair<int, std::string>> Services(const std::string& out)
{
    std::vector<std::pair<int, std::string>> services;
    const auto parsed = nlohmann::json::parse(out.substr(std::min(out.size(), out.find('{'))), nullptr, false);
    if (!parsed.is_discarded())
        for (const auto& s : parsed["services"])
            services.emplace_back(s["id"], s["name"]);
    return services;
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
        m_folder.CopyIn(LUM_NET_INPUT_BACKEND, "libLUMNetInputBackend.so");
        CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
        manager->SetPluginFolderPath(m_folder.Path().c_str());
        ASSERT_EQ(manager->LoadPlugins(), 1);
        m_input = dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
        ASSERT_NE(m_input, nullptr);
    }
    void TearDown() override
    {
        if (m_input)
            m_input->DeInitialise();
    }
    // A source of the definition read from `line`, started; null when it does not open.
    CDVBTransportStreamSource* Open(const std::string& line)
    {
        CDVBMultiplexDefinition* definition = m_input->CreateMultiplexDefinition();
        definition->ReadFromString(line.c_str());
        m_input->AddMultiplexDefinition(definition);
        CDVBTransportStreamSource* source = m_input->OpenMultiplex(definition);
        EXPECT_TRUE(!source || source->Start());
        return source;
    }
    std::string FailureText() { return dynamic_cast<CLUMInputPluginExtension&>(*m_input).GetLastOpenFailureText().Str(); }

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


// A live source's schedule: the bundled sample, a chunk of seven packets each millisecond
// (10.5 Mbit/s), for a second, then nothing for five, then two more seconds. Every chunk
// that went out is kept, in order.
class CLiveSchedule
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kChunk = 7 * 188;

    Clock::time_point Start() const { return m_start; }
    Clock::time_point Stopped() const { return m_start + std::chrono::seconds(1); }
    Clock::time_point Returned() const { return m_start + std::chrono::seconds(6); }
    Clock::time_point End() const { return m_start + std::chrono::seconds(8); }
    // Calls `send` for each chunk due, in real time, until the end; `send` says whether it went.
    void Run(const std::function<bool(const BYTE*, std::size_t)>& send)
    {
        static const Bytes sample = [] {
            std::ifstream file(LUM_SAMPLE, std::ios::binary);
            return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        }();
        std::size_t at = 0;
        for (auto next = m_start; next < End(); next += std::chrono::milliseconds(1)) {
            std::this_thread::sleep_until(next);   // the sender's pace, as a live source keeps it
            if (next >= Stopped() && next < Returned())
                continue;
            if (at + kChunk > sample.size())
                at = 0;
            if (send(sample.data() + at, kChunk)) {
                std::lock_guard<std::mutex> guard(m_lock);
                m_sent.insert(m_sent.end(), sample.begin() + long(at), sample.begin() + long(at + kChunk));
            }
            at += kChunk;
        }
    }
    Bytes Sent()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }

private:
    Clock::time_point m_start = Clock::now() + std::chrono::milliseconds(300);
    std::mutex m_lock;
    Bytes m_sent;
};

// The schedule served over HTTP to the latest connection; the ones before are closed. A
// stall keeps the connection open and sends nothing.
class CStallingHttpServer
{
public:
    CStallingHttpServer() : m_socket(::socket(AF_INET, SOCK_STREAM, 0)), m_port(BindFreePort(m_socket))
    {
        ::listen(m_socket, 8);
        m_acceptor = std::thread([this] {
            for (;;) {
                const int client = ::accept(m_socket, nullptr, nullptr);
                if (client < 0)
                    return;
                char request[4096];
                (void)::recv(client, request, sizeof request, 0);
                const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n";
                (void)::send(client, head.data(), head.size(), MSG_NOSIGNAL);
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_client >= 0)
                    ::close(m_client);
                m_client = client;
                ++m_connections;
            }
        });
        m_producer = std::thread([this] {
            m_schedule.Run([this](const BYTE* data, std::size_t size) {
                std::lock_guard<std::mutex> guard(m_lock);
                return m_client >= 0 && ::send(m_client, data, size, MSG_NOSIGNAL) == ssize_t(size);
            });
        });
    }
    ~CStallingHttpServer()
    {
        m_producer.join();
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        m_acceptor.join();
        if (m_client >= 0)
            ::close(m_client);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/live.ts"; }
    CLiveSchedule& Schedule() { return m_schedule; }
    void WaitForEnd() { m_producer.join(); m_producer = std::thread([] {}); }
    int Connections() { std::lock_guard<std::mutex> guard(m_lock); return m_connections; }

private:
    CLiveSchedule m_schedule;
    int m_socket, m_port;
    std::mutex m_lock;
    int m_client = -1;
    int m_connections = 0;
    std::thread m_acceptor, m_producer;
};

}  // namespace

// A UDP sender silent for five seconds: noticed within a second, packets through again
// within a second of its return, the recording of the whole run every packet that came, in
// the same file, and the gap counted.
TEST_F(CNetInputPluginTest, ASenderSilentForFiveSecondsIsNoticedAndTheRecordingGoesOnAcrossIt)
{
    const int port = FreePort();
    CDVBTransportStreamSource* source = Open("Silent, udp://127.0.0.1:" + std::to_string(port));
    ASSERT_NE(source, nullptr) << FailureText();
    CLiveSchedule schedule;
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Address("127.0.0.1", port);
    {
        CRecoveryRun run(source, ::testing::TempDir() + "udp_gap_" + std::to_string(::getpid()) + ".ts");
        std::thread sender([&] {
            schedule.Run([&](const BYTE* data, std::size_t size) {
                return ::sendto(s, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == ssize_t(size);
            });
        });
        EXPECT_LE(run.Noticed(schedule.Stopped()), 1.0);
        EXPECT_LE(run.Flowing(schedule.Returned()), 1.0);
        sender.join();
        run.Stop();
        run.Compare(schedule.Sent(), 5.0);
    }
    ::close(s);
    std::remove((::testing::TempDir() + "udp_gap_" + std::to_string(::getpid()) + ".ts").c_str());
    m_input->CloseMultiplex(source);
}

// An HTTP server that stalls for five seconds without closing: the connection is dropped
// and made again until the data comes back, and the recording goes on as over UDP.
TEST_F(CNetInputPluginTest, AnHttpServerThatStallsIsReconnectedAndTheRecordingGoesOnAcrossIt)
{
    CStallingHttpServer server;
    CDVBTransportStreamSource* source = Open("Stalling, " + server.Url());
    ASSERT_NE(source, nullptr) << FailureText();
    const std::string path = ::testing::TempDir() + "http_gap_" + std::to_string(::getpid()) + ".ts";
    {
        CRecoveryRun run(source, path);
        EXPECT_LE(run.Noticed(server.Schedule().Stopped()), 1.0);
        EXPECT_LE(run.Flowing(server.Schedule().Returned()), 1.0);
        server.WaitForEnd();
        run.Stop();
        run.Compare(server.Schedule().Sent(), 5.0);
        EXPECT_GE(run.Recovering()->GetReopenings(), 2u);   // dropped when lost, and again while it stalled
        EXPECT_EQ(run.Recovering()->GetReopenings() + 1, std::uint64_t(server.Connections()));
    }
    std::remove(path.c_str());
    m_input->CloseMultiplex(source);
}

namespace {
}  // namespace

// Over UDP, RTP, UDP to a group (where the host has a route for it) and HTTP (whose server
// closes the first connection halfway), the services the file holds.
TEST(CNetInputTest, ServicesOverEveryTransportAreTheFilesServices)
{
    const auto expected = Services(Lumrx(std::string("services --json ") + LUM_STREAM).second);
    ASSERT_EQ(expected.size(), 3u);
    const bool multicast = ::system("ip route get 239.1.2.3 >/dev/null 2>&1") == 0;
    for (const auto& [scheme, address] : {std::pair{"udp", "127.0.0.1"}, {"rtp", "127.0.0.1"}, {"udp", "239.1.2.3"}}) {
        if (address[0] == '2' && !multicast)
            continue;
        const int port = FreePort();
        CSender sender(port, scheme[0] == 'r', {}, address);
        const std::string out = Lumrx("services --json --timeout 20 " + std::string(scheme) + "://" + address + ":" + std::to_string(port)).second;
        EXPECT_EQ(Services(out), expected) << out;
    }
    CHttpServer server([](int n) {
        const Bytes& stream = Stream();
        return "HTTP/1.0 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" + std::string(stream.begin(), stream.begin() + (n == 0 ? 30000 : long(stream.size())));
    });
    const std::string out = Lumrx("services --json --timeout 20 " + server.Url("/live.ts")).second;
    EXPECT_EQ(Services(out), expected) << out;
}

// Every hundredth datagram left out: 1%, and the count must come within 1% of it; every
// hundredth but one sent after the next: reordered, not lost; and every hundredth but two
// not a whole number of packets: resynchronised, the stray bytes counted.
TEST_F(CNetInputPluginTest, RTPLossesAreCountedAndReorderingIsNotALoss)
{
    const int port = FreePort();
    CDVBTransportStreamSource* source = Open("Lossy, rtp://127.0.0.1:" + std::to_string(port));
    ASSERT_NE(source, nullptr) << FailureText();
    auto sender = std::make_unique<CSender>(port, true, [](std::uint16_t sequence) {
        const int n = sequence % 100;
        return n == 50 ? Fate::Dropped : n == 20 ? Fate::Late : n == 30 ? Fate::Damaged : Fate::Sent;
    });
    const std::size_t packets = ReadUntil(source, [&](const Bytes&) { return sender->m_sent >= 3000; }, 30).size() / 188;
    const unsigned sent = sender->m_sent;
    sender.reset();
    CString status;
    source->GetStatus(status);
    const std::string text = status.Str();
    ASSERT_NE(text.find("packets lost"), std::string::npos) << text;
    unsigned long long lost = 0;
    std::sscanf(text.c_str() + text.find(", ") + 2, "%llu", &lost);
    EXPECT_NEAR(double(lost), sent / 100.0, sent / 100.0 * 0.01 + 1) << text;
    // what was sent last may still be on its way; a reception that stopped at a loss has a tenth
    EXPECT_GT(packets, 7u * sent / 2) << "reception went on";
    const std::size_t skipped = text.find(" bytes skipped to resync");
    ASSERT_NE(skipped, std::string::npos) << text;
    EXPECT_EQ(std::stoull(text.substr(text.rfind(", ", skipped) + 2)) % 5, 0u) << text;   // the stray bytes, no packet
    EXPECT_TRUE(m_input->CloseMultiplex(source));
}

// A URL that does not parse is kept, so that saving loses nothing, and named by the check.
TEST_F(CNetInputPluginTest, AURLThatDoesNotParseIsKeptAndNamedByTheCheck)
{
    auto* extension = dynamic_cast<CLUMInputPluginExtension*>(m_input);
    ASSERT_NE(extension, nullptr);
    const std::pair<const char*, bool> urls[] = {
        {"udp://239.1.1.1:1234", true}, {"rtp://10.0.0.5@232.1.1.1:5000", true}, {"udp://[ff15::1]:5000", true},
        {"https://tv/a.ts", true}, {"udp://239.1.1.1", false}, {"udp://239.1.1.1:99999", false},
        {"239.1.1.1:1234", false}, {"ftp://host/a.ts", false}};
    for (const auto& [url, good] : urls) {
        std::unique_ptr<CDVBMultiplexDefinition> definition{m_input->CreateMultiplexDefinition()};
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
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    const in_addr loopback{htonl(INADDR_LOOPBACK)};
    const int hops = 0;
    ASSERT_EQ(::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0) << std::strerror(errno);
    ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
    constexpr std::size_t kDatagrams = 20;
    ASSERT_GE(Stream().size(), kDatagrams * kDatagram);
    const Bytes sent(Stream().begin(), Stream().begin() + long(kDatagrams * kDatagram));
    for (const auto& [group, interface] : {std::pair{"232.1.2.3", ", lo"}, {"232.1.2.4", ""}}) {
        const int port = FreePort();   // after the sender's own port is taken: never the same
        const std::string line = std::string("SSM, udp://127.0.0.1@") + group + ":" + std::to_string(port) + interface;
        CDVBTransportStreamSource* source = Open(line);
        ASSERT_NE(source, nullptr) << line << ": " << FailureText();
        const sockaddr_in to = Address(group, port);
        for (std::size_t i = 0; i < kDatagrams; ++i)
            if (::sendto(s, sent.data() + i * kDatagram, kDatagram, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
                GTEST_SKIP() << "the kernel refuses multicast on lo: " << std::strerror(errno);
        const Bytes got = ReadUntil(source, [&](const Bytes& got) { return got.size() >= sent.size(); }, 10);
        EXPECT_TRUE(got == sent) << line << ": " << got.size() / 188 << " packets";
        EXPECT_TRUE(m_input->CloseMultiplex(source));
    }
    ::close(s);
    EXPECT_EQ(Open("Nowhere, udp://127.0.0.1@232.1.2.5:" + std::to_string(FreePort()) + ", nosuch0"), nullptr);
    EXPECT_EQ(FailureText(), "there is no network interface nosuch0");
}

TEST(CNetInputTest, BadInputIsSaidWithItsOwnExitCode)
{
    CHttpServer server([](int) { return std::string("HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nno"); });
    CHttpServer page([](int) { return std::string("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>"); });
    const int held = ::socket(AF_INET, SOCK_DGRAM, 0), heldPort = BindFreePort(held);   // another receiver's port
    const std::tuple<std::string, int, const char*> cases[] = {
        {"udp://127.0.0.1:" + std::to_string(heldPort), 7, "cannot listen there: Address already in use"},
        {"udp://nonsense", 5, "does not parse"},
        {server.Url("/missing.ts"), 5, "404"},
        {page.Url("/"), 6, "text/html"},
        {"http://127.0.0.1:1/refused.ts", 7, "connect"},
        {"udp://127.0.0.1:" + std::to_string(FreePort()) + " --timeout 2", 1, "no service found"},   // nobody sends there
    };
    for (const auto& [url, code, message] : cases) {
        const auto [status, out] = Lumrx("services " + url);
        EXPECT_EQ(status, code) << url << "\n" << out;
        EXPECT_NE(out.find(message), std::string::npos) << url << "\n" << out;
    }
    ::close(held);
}
