#include "FakeDVBNames.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <linux/dvb/frontend.h>

namespace fakedvb {

namespace {

const char* const kPropNames[] = {
    "UNDEFINED", "TUNE", "CLEAR", "FREQUENCY", "MODULATION", "BANDWIDTH_HZ", "INVERSION", "DISEQC_MASTER",
    "SYMBOL_RATE", "INNER_FEC", "VOLTAGE", "TONE", "PILOT", "ROLLOFF", "DISEQC_SLAVE_REPLY", "FE_CAPABILITY_COUNT",
    "FE_CAPABILITY", "DELIVERY_SYSTEM", "ISDBT_PARTIAL_RECEPTION", "ISDBT_SOUND_BROADCASTING",
    "ISDBT_SB_SUBCHANNEL_ID", "ISDBT_SB_SEGMENT_IDX", "ISDBT_SB_SEGMENT_COUNT", "ISDBT_LAYERA_FEC",
    "ISDBT_LAYERA_MODULATION", "ISDBT_LAYERA_SEGMENT_COUNT", "ISDBT_LAYERA_TIME_INTERLEAVING", "ISDBT_LAYERB_FEC",
    "ISDBT_LAYERB_MODULATION", "ISDBT_LAYERB_SEGMENT_COUNT", "ISDBT_LAYERB_TIME_INTERLEAVING", "ISDBT_LAYERC_FEC",
    "ISDBT_LAYERC_MODULATION", "ISDBT_LAYERC_SEGMENT_COUNT", "ISDBT_LAYERC_TIME_INTERLEAVING", "API_VERSION",
    "CODE_RATE_HP", "CODE_RATE_LP", "GUARD_INTERVAL", "TRANSMISSION_MODE", "HIERARCHY", "ISDBT_LAYER_ENABLED",
    "STREAM_ID", "DVBT2_PLP_ID_LEGACY", "ENUM_DELSYS", "ATSCMH_FIC_VER", "ATSCMH_PARADE_ID", "ATSCMH_NOG",
    "ATSCMH_TNOG", "ATSCMH_SGN", "ATSCMH_PRC", "ATSCMH_RS_FRAME_MODE", "ATSCMH_RS_FRAME_ENSEMBLE",
    "ATSCMH_RS_CODE_MODE_PRI", "ATSCMH_RS_CODE_MODE_SEC", "ATSCMH_SCCC_BLOCK_MODE", "ATSCMH_SCCC_CODE_MODE_A",
    "ATSCMH_SCCC_CODE_MODE_B", "ATSCMH_SCCC_CODE_MODE_C", "ATSCMH_SCCC_CODE_MODE_D", "INTERLEAVING", "LNA",
    "STAT_SIGNAL_STRENGTH", "STAT_CNR", "STAT_PRE_ERROR_BIT_COUNT", "STAT_PRE_TOTAL_BIT_COUNT",
    "STAT_POST_ERROR_BIT_COUNT", "STAT_POST_TOTAL_BIT_COUNT", "STAT_ERROR_BLOCK_COUNT", "STAT_TOTAL_BLOCK_COUNT",
    "SCRAMBLING_SEQUENCE_INDEX"};
static_assert(sizeof kPropNames / sizeof kPropNames[0] == DTV_MAX_COMMAND + 1, "a name for every DTV_ command");

}  // namespace

std::string propertyName(uint32_t command)
{
    return command <= DTV_MAX_COMMAND ? kPropNames[command] : std::to_string(command);
}


const char* const kKindNames[] = {"frontend", "demux", "dvr"};

// The root less trailing slashes; empty when nothing is faked.
std::string rootPath()
{
    const char* r = getenv("LUM_FAKE_DVB_ROOT");
    std::string s = r ? r : "";
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

// "adapterN/kindM" and nothing more.
bool parseName(const char* rel, Kind& kind)
{
    unsigned a, m;
    char k[16];
    int used = 0;
    if (sscanf(rel, "adapter%u/%15[a-z]%u%n", &a, k, &m, &used) != 3 || rel[used] || rel[7] < '0' || rel[7] > '9')
        return false;
    for (int i = 0; i < 3; ++i)
        if (strcmp(k, kKindNames[i]) == 0) return kind = Kind(i), true;
    return false;
}

// The unsigned numbers of a comma-separated list; other items are skipped.
std::set<uint64_t> numbers(const char* s)
{
    std::set<uint64_t> out;
    for (const char* p = s; p && *p; p = *p ? p + 1 : p) {
        p += strspn(p, " ");
        char* end = const_cast<char*>(p);
        uint64_t v = *p >= '0' && *p <= '9' ? strtoull(p, &end, 10) : 0;
        if (end != p && strchr(",", end[strspn(end, " ")])) out.insert(v); // then a comma or the end
        p = strchrnul(p, ',');
    }
    return out;
}

// One write per line, so that processes sharing the file do not interleave inside a line.
void logLine(const std::string& path, const std::string& device, const std::string& text)
{
    if (path.empty()) return;
    int saved = errno;
    std::string line = device + " " + text + "\n";
    long fd = syscall(SYS_openat, AT_FDCWD, path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) syscall(SYS_write, fd, line.data(), line.size()), syscall(SYS_close, fd);
    errno = saved;
}

}  // namespace fakedvb
