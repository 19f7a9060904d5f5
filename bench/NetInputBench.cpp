// UDP reception at 100 Mbit/s on loopback through LUMNetInput.so: a sender thread paces
// datagrams of seven packets of a committed FFmpeg-made stream, the source is drained as
// the receive thread would; transport packets lost (0 expected) and the CPU the socket
// thread spends per Mbit/s (the process's CPU less the sender's and the drainer's).
#include "core/CDVBTransportStreamSource.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CLUMPluginManager.h"

#include "peer_streams.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 46017;
constexpr double kBitsPerSecond = 100e6;
constexpr std::size_t kDatagram = 7 * 188;

double CpuSeconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

CLUMInputPlugin* NetInputPlugin()
{
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(LUM_PLUGIN_FOLDER);
    manager->LoadPlugins();
    for (int i = 0; auto* plugin = manager->GetPluginWithType(CLUMPlugin::TypeInput, i); ++i)
        if (plugin->GetName() == "LUMNetInput")
            return static_cast<CLUMInputPlugin*>(plugin);
    return nullptr;
}

void BM_UdpReception100Mbit(benchmark::State& state)
{
    CLUMInputPlugin* plugin = NetInputPlugin();
    auto* extension = dynamic_cast<CLUMInputPluginExtension*>(plugin);
    if (extension == nullptr) {
        state.SkipWithError("no LUMNetInput.so in " LUM_PLUGIN_FOLDER);
        return;
    }
    std::ifstream file(LUM_PEER_STREAM("three_programs.ts"), std::ios::binary);
    const std::vector<BYTE> stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t datagrams = stream.size() / kDatagram;
    std::unique_ptr<CDVBMultiplexDefinition> definition(
        extension->CreateDefinitionForLocation(("udp://127.0.0.1:" + std::to_string(kPort)).c_str(), true));

    for (auto _ : state) {
        CDVBTransportStreamSource* source = plugin->OpenMultiplex(definition.get());
        if (source == nullptr) {
            state.SkipWithError("the UDP source did not open");
            return;
        }
        source->Start();
        std::atomic<bool> sending{true};
        std::atomic<std::uint64_t> sent{0};
        double senderCpu = 0;
        const double cpuBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        std::thread sender([&] {
            const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(kPort);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const double perSecond = kBitsPerSecond / 8 / kDatagram;
            std::uint64_t n = 0;
            for (auto tick = start; std::chrono::steady_clock::now() - start < std::chrono::seconds(3);) {
                tick += std::chrono::milliseconds(1);
                std::this_thread::sleep_until(tick);
                const auto due = std::uint64_t(std::chrono::duration<double>(tick - start).count() * perSecond);
                for (; n < due; ++n)
                    ::sendto(s, &stream[(n % datagrams) * kDatagram], kDatagram, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            sent = n * 7;
            ::close(s);
            senderCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            sending = false;
        });
        // Drained every millisecond, as the receive thread does.
        std::vector<BYTE> buffer(348 * 188);
        std::uint64_t received = 0;
        const double drainerBefore = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        for (auto quiet = std::chrono::steady_clock::now();
             sending || std::chrono::steady_clock::now() - quiet < std::chrono::milliseconds(200);) {
            const DWORD n = source->ReadBuffer(buffer.data(), DWORD(buffer.size()));
            received += n / 188;
            if (n > 0 || sending)
                quiet = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sender.join();
        const double drainerCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - drainerBefore;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double socketCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - senderCpu - drainerCpu;
        plugin->CloseMultiplex(source);
        const double megabits = double(received) * 188 * 8 / 1e6;
        state.counters["sent_packets"] = double(sent);
        // The newest packet waits in the framer for the next one's sync byte to confirm it.
        state.counters["lost_packets"] = double(sent) - double(received) - 1;
        state.counters["Mbit_per_s"] = megabits / 3.0;
        state.counters["socket_thread_core_pct"] = socketCpu / seconds * 100;
        state.counters["cpu_us_per_Mbit"] = socketCpu * 1e6 / megabits;
    }
}
BENCHMARK(BM_UdpReception100Mbit)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
