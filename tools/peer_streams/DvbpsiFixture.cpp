// The test streams' SI, made with libdvbpsi's generators, and libdvbpsi's own reading of a
// stream as JSON: an independent writer and reader for the tests to compare LUMCore with.
// Built and run only by make_streams.sh and samples/make_sample.sh, never by the normal build.
//
//   DvbpsiFixture make CONFIG.json IN.ts|- REPETITIONS OUT.ts
//     Sends the config's SI REPETITIONS times, each set starting at an evenly spaced packet of
//     IN.ts and taking the place of its null packets only, so every PCR stays true; with "-",
//     the stream is the SI alone. Config keys: see tests/streams/README.md.
//   DvbpsiFixture read IN.ts   libdvbpsi's reading on standard output; exit 3 on its errors.
#include "DvbpsiFixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

int g_errors = 0;

void OnMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg)
{
    if (level == DVBPSI_MSG_ERROR) {
        std::fprintf(stderr, "libdvbpsi: %s\n", msg);
        ++g_errors;
    }
}

std::vector<Bytes> ReadPackets(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Bytes> packets;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188)
        packets.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at) + 188);
    return packets;
}

int main(int argc, char** argv)
{
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "make" && argc == 6)
            return Make(argv[2], argv[3], std::stoul(argv[4]), argv[5]);
        if (command == "read" && argc == 3)
            return Read(argv[2]);
        std::fprintf(stderr, "usage: DvbpsiFixture make CONFIG.json IN.ts|- REPETITIONS OUT.ts\n"
                             "       DvbpsiFixture read IN.ts\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "DvbpsiFixture: %s\n", e.what());
        return 1;
    }
}
