// What `lumrx test` costs while it receives a multiplex paced at 40 Mbit/s (the bundled
// sample, file input, looped) for 30 s: user + system time of the whole process, from
// wait4, as a share of one core.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

extern char** environ;

namespace {

double Seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

void BM_LumrxTestAt40Mbit(benchmark::State& state)
{
    // lumrx with the file input plug-in in a folder of their own, beside the definition
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "lumrx_cpu_bench";
    fs::create_directories(folder);
    for (const char* file : {LUMRX_PATH, LUM_FILE_INPUT_LIBRARY})
        fs::copy_file(file, folder / fs::path(file).filename(), fs::copy_options::overwrite_existing);
    std::ofstream(folder / "LUMFileInput Multiplexes.txt") << "Bench, " LUM_SAMPLE ", 40, on\n";
    const std::string lumrx = (folder / "lumrx").string();
    constexpr int kSeconds = 30;
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const std::string seconds = std::to_string(kSeconds);
        char* argv[] = {const_cast<char*>(lumrx.c_str()), const_cast<char*>("test"), const_cast<char*>("Bench"),
                        const_cast<char*>("--seconds"), const_cast<char*>(seconds.c_str()), nullptr};
        pid_t child = 0;
        const auto start = std::chrono::steady_clock::now();
        if (posix_spawn(&child, argv[0], &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("lumrx cannot be started");
            break;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("lumrx test failed");
            break;
        }
        const double cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
        state.counters["user_s"] = Seconds(usage.ru_utime);
        state.counters["system_s"] = Seconds(usage.ru_stime);
        state.counters["switches_per_s"] = double(usage.ru_nvcsw + usage.ru_nivcsw) / wall;
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_LumrxTestAt40Mbit)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
