// User-space stand-in for Linux DVB device nodes (frontend, demux, dvr) and
// for the part of libudev that finds them. Preload it, or link it ahead of
// libc; see README.md for the environment variables and the log format.

// The fortified inline wrappers of open() and read() would collide with the
// definitions below.
#undef _FORTIFY_SOURCE
#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1
#endif

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The real functions, found on first use. dlsym may itself open or read
// (or a sanitizer's interceptor may land here before libc is ready), so a
// call made while this thread is resolving goes straight to the kernel.

__attribute__((tls_model("initial-exec"))) thread_local int tResolving = 0;

void* resolveNext(std::atomic<void*>& slot, const char* name)
{
    void* p = slot.load(std::memory_order_acquire);
    if (p || tResolving)
        return p;
    ++tResolving;
    p = dlsym(RTLD_NEXT, name);
    --tResolving;
    slot.store(p, std::memory_order_release);
    return p;
}

#define REAL(name, type)                                      \
    static std::atomic<void*> slot_##name{nullptr};           \
    auto real_##name = reinterpret_cast<type>(resolveNext(slot_##name, #name))

using OpenFn = int (*)(const char*, int, ...);
using Open2Fn = int (*)(const char*, int);
using OpenAtFn = int (*)(int, const char*, int, ...);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);
using PollFn = int (*)(struct pollfd*, nfds_t, int);
using PollChkFn = int (*)(struct pollfd*, nfds_t, int, size_t);
using ReadFn = ssize_t (*)(int, void*, size_t);
using ReadChkFn = ssize_t (*)(int, void*, size_t, size_t);

int sysOpenAt(int dirfd, const char* path, int flags, mode_t mode)
{
    return static_cast<int>(syscall(SYS_openat, dirfd, path, flags, mode));
}

int realClose(int fd)
{
    REAL(close, CloseFn);
    return real_close ? real_close(fd) : static_cast<int>(syscall(SYS_close, fd));
}

ssize_t realRead(int fd, void* buf, size_t n)
{
    REAL(read, ReadFn);
    return real_read ? real_read(fd, buf, n) : syscall(SYS_read, fd, buf, n);
}

int realPoll(struct pollfd* fds, nfds_t n, int timeout)
{
    REAL(poll, PollFn);
    if (real_poll)
        return real_poll(fds, n, timeout);
    struct timespec ts = {timeout / 1000, (timeout % 1000) * 1000000L};
    return static_cast<int>(syscall(SYS_ppoll, fds, n, timeout < 0 ? nullptr : &ts, nullptr, 0));
}

int realIoctl(int fd, unsigned long request, void* arg)
{
    REAL(ioctl, IoctlFn);
    return real_ioctl ? real_ioctl(fd, request, arg)
                      : static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}

// ---------------------------------------------------------------------------
// Small helpers

int64_t nowNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepUntilNs(int64_t t)
{
    struct timespec ts = {time_t(t / 1000000000), long(t % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

const char* errnoName(int e)
{
    switch (e) {
    case EINVAL: return "EINVAL";
    case EIO: return "EIO";
    case ENOTTY: return "ENOTTY";
    case ENOTSUP: return "ENOTSUP";
    case EOVERFLOW: return "EOVERFLOW";
    case ENOENT: return "ENOENT";
    case EACCES: return "EACCES";
    case EFAULT: return "EFAULT";
    default: return "EUNKNOWN";
    }
}

std::vector<std::string> splitCommas(const char* s)
{
    std::vector<std::string> out;
    if (!s)
        return out;
    std::string cur;
    for (const char* p = s;; ++p) {
        if (*p == ',' || *p == '\0') {
            size_t b = cur.find_first_not_of(" \t");
            size_t e = cur.find_last_not_of(" \t");
            if (b != std::string::npos)
                out.push_back(cur.substr(b, e - b + 1));
            cur.clear();
            if (*p == '\0')
                break;
        } else {
            cur += *p;
        }
    }
    return out;
}

bool parseU64(const std::string& s, uint64_t& v)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long x = strtoull(s.c_str(), &end, 10);
    if (errno || *end)
        return false;
    v = x;
    return true;
}

// Appends one whole line with one write, so processes sharing the file do
// not interleave inside a line.
void appendLog(const std::string& path, const std::string& device, const std::string& text)
{
    if (path.empty())
        return;
    int saved = errno;
    std::string line = device + " " + text + "\n";
    int fd = sysOpenAt(AT_FDCWD, path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t w = syscall(SYS_write, fd, line.data(), line.size());
        (void)w;
        syscall(SYS_close, fd);
    }
    errno = saved;
}

// ---------------------------------------------------------------------------
// Delivery systems

struct SystemName {
    const char* name;
    uint32_t sys;
};

const SystemName kSystems[] = {
    {"DVBC_ANNEX_A", SYS_DVBC_ANNEX_A}, {"DVBC_ANNEX_B", SYS_DVBC_ANNEX_B},
    {"DVBC_ANNEX_C", SYS_DVBC_ANNEX_C}, {"ISDBC", SYS_ISDBC},
    {"DVBT", SYS_DVBT},                 {"DVBT2", SYS_DVBT2},
    {"ISDBT", SYS_ISDBT},               {"ATSC", SYS_ATSC},
    {"DTMB", SYS_DTMB},                 {"DVBS", SYS_DVBS},
    {"DVBS2", SYS_DVBS2},               {"TURBO", SYS_TURBO},
    {"ISDBS", SYS_ISDBS},
};

bool systemFromName(const std::string& n, uint32_t& sys)
{
    for (const auto& s : kSystems)
        if (n == s.name) {
            sys = s.sys;
            return true;
        }
    return false;
}

enum class Band { Terrestrial, Cable, Satellite };

Band bandOf(uint32_t sys)
{
    switch (sys) {
    case SYS_DVBC_ANNEX_A:
    case SYS_DVBC_ANNEX_B:
    case SYS_DVBC_ANNEX_C:
    case SYS_ISDBC:
        return Band::Cable;
    case SYS_DVBS:
    case SYS_DVBS2:
    case SYS_TURBO:
    case SYS_ISDBS:
        return Band::Satellite;
    default:
        return Band::Terrestrial;
    }
}

bool isSecondGeneration(uint32_t sys)
{
    return sys == SYS_DVBT2 || sys == SYS_DVBS2 || sys == SYS_TURBO;
}

// Satellite frontends count in kHz (intermediate frequency), the others in Hz.
const uint32_t kTerrMin = 42000000, kTerrMax = 870000000;
const uint32_t kSatMin = 950000, kSatMax = 2150000;
const uint32_t kSymMin = 1000000, kSymMax = 45000000;

const char* const kPropNames[] = {
    "UNDEFINED", "TUNE", "CLEAR", "FREQUENCY", "MODULATION", "BANDWIDTH_HZ", "INVERSION",
    "DISEQC_MASTER", "SYMBOL_RATE", "INNER_FEC", "VOLTAGE", "TONE", "PILOT", "ROLLOFF",
    "DISEQC_SLAVE_REPLY", "FE_CAPABILITY_COUNT", "FE_CAPABILITY", "DELIVERY_SYSTEM",
    "ISDBT_PARTIAL_RECEPTION", "ISDBT_SOUND_BROADCASTING", "ISDBT_SB_SUBCHANNEL_ID",
    "ISDBT_SB_SEGMENT_IDX", "ISDBT_SB_SEGMENT_COUNT", "ISDBT_LAYERA_FEC",
    "ISDBT_LAYERA_MODULATION", "ISDBT_LAYERA_SEGMENT_COUNT", "ISDBT_LAYERA_TIME_INTERLEAVING",
    "ISDBT_LAYERB_FEC", "ISDBT_LAYERB_MODULATION", "ISDBT_LAYERB_SEGMENT_COUNT",
    "ISDBT_LAYERB_TIME_INTERLEAVING", "ISDBT_LAYERC_FEC", "ISDBT_LAYERC_MODULATION",
    "ISDBT_LAYERC_SEGMENT_COUNT", "ISDBT_LAYERC_TIME_INTERLEAVING", "API_VERSION",
    "CODE_RATE_HP", "CODE_RATE_LP", "GUARD_INTERVAL", "TRANSMISSION_MODE", "HIERARCHY",
    "ISDBT_LAYER_ENABLED", "STREAM_ID", "DVBT2_PLP_ID_LEGACY", "ENUM_DELSYS",
    "ATSCMH_FIC_VER", "ATSCMH_PARADE_ID", "ATSCMH_NOG", "ATSCMH_TNOG", "ATSCMH_SGN",
    "ATSCMH_PRC", "ATSCMH_RS_FRAME_MODE", "ATSCMH_RS_FRAME_ENSEMBLE", "ATSCMH_RS_CODE_MODE_PRI",
    "ATSCMH_RS_CODE_MODE_SEC", "ATSCMH_SCCC_BLOCK_MODE", "ATSCMH_SCCC_CODE_MODE_A",
    "ATSCMH_SCCC_CODE_MODE_B", "ATSCMH_SCCC_CODE_MODE_C", "ATSCMH_SCCC_CODE_MODE_D",
    "INTERLEAVING", "LNA", "STAT_SIGNAL_STRENGTH", "STAT_CNR", "STAT_PRE_ERROR_BIT_COUNT",
    "STAT_PRE_TOTAL_BIT_COUNT", "STAT_POST_ERROR_BIT_COUNT", "STAT_POST_TOTAL_BIT_COUNT",
    "STAT_ERROR_BLOCK_COUNT", "STAT_TOTAL_BLOCK_COUNT", "SCRAMBLING_SEQUENCE_INDEX",
};
static_assert(sizeof(kPropNames) / sizeof(kPropNames[0]) == DTV_MAX_COMMAND + 1,
              "one name for every DTV_ command of the installed header");

std::string propName(uint32_t cmd)
{
    if (cmd <= DTV_MAX_COMMAND)
        return kPropNames[cmd];
    return std::to_string(cmd);
}

// ---------------------------------------------------------------------------
// Fake devices

enum class Kind { Frontend, Demux, Dvr };

enum class Stats { Decibel, Relative, None };

struct Frontend {
    std::vector<uint32_t> systems;
    uint32_t current = 0;
    std::set<uint32_t> lockFrequencies;
    bool lockAny = true;
    Stats stats = Stats::Decibel;
    unsigned statusFailures = 0;
    std::map<uint32_t, uint32_t> values;
    bool tuned = false;
    bool locked = false;
    uint64_t statReads = 0;
};

struct Dvr {
    int streamFd = -1;
    uint64_t streamSize = 0;
    uint64_t bitrate = 20000000;
    int64_t startNs = 0;
    uint64_t served = 0;
    uint64_t reads = 0;
    std::set<uint64_t> overflowAt;
};

struct Device {
    Kind kind;
    std::string name; // adapterN/frontendM
    std::string log;
    Frontend fe;
    Dvr dvr;
};

pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
// Let the process's own reads, ioctls and polls skip the lock: a count of
// fake fds, and a bit for each fake fd below kFdBits.
std::atomic<int> gFakeCount{0};
const int kFdBits = 1024;
std::atomic<uint64_t> gFdBits[kFdBits / 64];

void markFd(int fd, bool fake)
{
    if (fd < 0 || fd >= kFdBits)
        return;
    uint64_t bit = uint64_t(1) << (fd % 64);
    if (fake)
        gFdBits[fd / 64].fetch_or(bit, std::memory_order_release);
    else
        gFdBits[fd / 64].fetch_and(~bit, std::memory_order_release);
}
std::map<int, Device*>* gDevices = nullptr; // under gMutex, never freed

struct Lock {
    Lock() { pthread_mutex_lock(&gMutex); }
    ~Lock() { pthread_mutex_unlock(&gMutex); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

Device* findLocked(int fd)
{
    if (!gDevices)
        return nullptr;
    auto it = gDevices->find(fd);
    return it == gDevices->end() ? nullptr : it->second;
}

bool maybeFake(int fd)
{
    if (fd < 0 || gFakeCount.load(std::memory_order_acquire) == 0)
        return false;
    if (fd >= kFdBits)
        return true;
    return gFdBits[fd / 64].load(std::memory_order_acquire) & (uint64_t(1) << (fd % 64));
}

bool canonicalRoot(std::string& out)
{
    const char* root = getenv("LUM_FAKE_DVB_ROOT");
    if (!root || !*root)
        return false;
    char buf[PATH_MAX];
    out = realpath(root, buf) ? buf : root;
    return true;
}

// "frontend0" -> Frontend; digits required after the prefix.
bool kindOfName(const char* base, Kind& kind)
{
    static const struct {
        const char* prefix;
        Kind kind;
    } kinds[] = {{"frontend", Kind::Frontend}, {"demux", Kind::Demux}, {"dvr", Kind::Dvr}};
    for (const auto& k : kinds) {
        size_t n = strlen(k.prefix);
        if (strncmp(base, k.prefix, n) != 0 || !base[n])
            continue;
        for (const char* p = base + n; *p; ++p)
            if (*p < '0' || *p > '9')
                return false;
        kind = k.kind;
        return true;
    }
    return false;
}

bool isAdapterDir(const char* name)
{
    if (strncmp(name, "adapter", 7) != 0 || !name[7])
        return false;
    for (const char* p = name + 7; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

void configureFrontend(Frontend& fe)
{
    const char* s = getenv("LUM_FAKE_DVB_SYSTEMS");
    for (const auto& n : splitCommas(s && *s ? s : "DVBT,DVBT2")) {
        uint32_t sys;
        if (systemFromName(n, sys))
            fe.systems.push_back(sys);
    }
    if (fe.systems.empty())
        fe.systems.push_back(SYS_DVBT);
    fe.current = fe.systems.front();

    const char* lock = getenv("LUM_FAKE_DVB_LOCK");
    if (lock && *lock && strcmp(lock, "*") != 0) {
        fe.lockAny = false;
        for (const auto& f : splitCommas(lock)) {
            uint64_t v;
            if (f == "*")
                fe.lockAny = true;
            else if (parseU64(f, v))
                fe.lockFrequencies.insert(uint32_t(v));
        }
    }
    const char* stats = getenv("LUM_FAKE_DVB_STATS");
    if (stats && strcmp(stats, "relative") == 0)
        fe.stats = Stats::Relative;
    else if (stats && strcmp(stats, "none") == 0)
        fe.stats = Stats::None;
    uint64_t n;
    const char* fails = getenv("LUM_FAKE_DVB_STATUS_FAILURES");
    if (fails && parseU64(fails, n))
        fe.statusFailures = unsigned(n);
}

void configureDvr(Dvr& dvr, const std::string& name, const std::string& log)
{
    uint64_t v;
    const char* rate = getenv("LUM_FAKE_DVB_BITRATE");
    if (rate && parseU64(rate, v) && v > 0)
        dvr.bitrate = v;
    for (const auto& s : splitCommas(getenv("LUM_FAKE_DVB_OVERFLOW_AT")))
        if (parseU64(s, v))
            dvr.overflowAt.insert(v);
    dvr.startNs = nowNs();
    const char* stream = getenv("LUM_FAKE_DVB_STREAM");
    if (stream && *stream) {
        int fd = sysOpenAt(AT_FDCWD, stream, O_RDONLY | O_CLOEXEC, 0);
        struct stat st;
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_size > 0) {
            dvr.streamFd = fd;
            dvr.streamSize = uint64_t(st.st_size);
        } else {
            int e = fd < 0 ? errno : EINVAL;
            if (fd >= 0)
                syscall(SYS_close, fd);
            appendLog(log, name, std::string("STREAM ") + errnoName(e));
        }
    }
}

// Called after a successful real open: if the file is one of ours, remember it.
void registerIfFake(int fd, const char* path, int flags)
{
    // A test creating the files is not a program opening a device.
    if (fd < 0 || !path || (flags & (O_CREAT | O_TRUNC)))
        return;
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    Kind kind;
    if (!kindOfName(base, kind))
        return;
    int saved = errno;
    std::string root;
    if (!canonicalRoot(root)) {
        errno = saved;
        return;
    }
    char link[64], buf[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buf, sizeof buf - 1);
    std::string real;
    if (n > 0) {
        real.assign(buf, size_t(n));
    } else if (realpath(path, buf)) {
        real = buf;
    } else {
        errno = saved;
        return;
    }
    // Expect exactly ROOT/adapterN/<base>.
    if (real.size() <= root.size() + 1 || real.compare(0, root.size(), root) != 0 ||
        real[root.size()] != '/') {
        errno = saved;
        return;
    }
    std::string rel = real.substr(root.size() + 1);
    size_t slash = rel.find('/');
    if (slash == std::string::npos || rel.find('/', slash + 1) != std::string::npos ||
        !isAdapterDir(rel.substr(0, slash).c_str()) || !kindOfName(rel.c_str() + slash + 1, kind)) {
        errno = saved;
        return;
    }

    Device* dev = new (std::nothrow) Device();
    if (!dev) {
        errno = saved;
        return;
    }
    dev->kind = kind;
    dev->name = rel;
    const char* log = getenv("LUM_FAKE_DVB_LOG");
    dev->log = log ? log : "";
    if (kind == Kind::Frontend)
        configureFrontend(dev->fe);
    else if (kind == Kind::Dvr)
        configureDvr(dev->dvr, dev->name, dev->log);
    appendLog(dev->log, dev->name, "open");
    {
        Lock lock;
        if (!gDevices)
            gDevices = new (std::nothrow) std::map<int, Device*>();
        if (gDevices) {
            auto& slot = (*gDevices)[fd];
            if (slot) {
                // A stale entry: the fd was closed behind our back (dup2, close_range).
                if (slot->dvr.streamFd >= 0)
                    syscall(SYS_close, slot->dvr.streamFd);
                delete slot;
            } else {
                gFakeCount.fetch_add(1, std::memory_order_release);
            }
            slot = dev;
            dev = nullptr;
            markFd(fd, true);
        }
    }
    delete dev;
    errno = saved;
}

int fail(int e)
{
    errno = e;
    return -1;
}

// ---------------------------------------------------------------------------
// Frontend

void fillInfo(const Frontend& fe, struct dvb_frontend_info& info)
{
    memset(&info, 0, sizeof info);
    snprintf(info.name, sizeof info.name, "LUM fake frontend");
    uint32_t caps = FE_CAN_INVERSION_AUTO | FE_CAN_FEC_AUTO | FE_CAN_QAM_AUTO |
                    FE_CAN_TRANSMISSION_MODE_AUTO | FE_CAN_BANDWIDTH_AUTO |
                    FE_CAN_GUARD_INTERVAL_AUTO | FE_CAN_HIERARCHY_AUTO | FE_CAN_QAM_16 |
                    FE_CAN_QAM_32 | FE_CAN_QAM_64 | FE_CAN_QAM_128 | FE_CAN_QAM_256 |
                    FE_CAN_MULTISTREAM;
    for (uint32_t s : fe.systems)
        if (isSecondGeneration(s))
            caps |= FE_CAN_2G_MODULATION;
    info.caps = fe_caps(caps);
    switch (bandOf(fe.systems.front())) {
    case Band::Terrestrial:
        info.type = FE_OFDM;
        info.frequency_min = kTerrMin;
        info.frequency_max = kTerrMax;
        info.frequency_stepsize = 166667;
        break;
    case Band::Cable:
        info.type = FE_QAM;
        info.frequency_min = kTerrMin;
        info.frequency_max = kTerrMax;
        info.frequency_stepsize = 62500;
        info.symbol_rate_min = kSymMin;
        info.symbol_rate_max = kSymMax;
        break;
    case Band::Satellite:
        info.type = FE_QPSK;
        info.frequency_min = kSatMin;
        info.frequency_max = kSatMax;
        info.frequency_stepsize = 1000;
        info.symbol_rate_min = kSymMin;
        info.symbol_rate_max = kSymMax;
        break;
    }
}

bool isCounterStat(uint32_t cmd)
{
    return cmd >= DTV_STAT_PRE_ERROR_BIT_COUNT && cmd <= DTV_STAT_TOTAL_BLOCK_COUNT;
}

void fillStat(const Frontend& fe, uint32_t cmd, struct dtv_fe_stats& st)
{
    memset(&st, 0, sizeof st);
    if (fe.stats == Stats::None)
        return;
    st.len = 1;
    struct dtv_stats& s = st.stat[0];
    bool relative = fe.stats == Stats::Relative;
    bool locked = fe.tuned && fe.locked;
    uint64_t k = fe.statReads;
    switch (cmd) {
    case DTV_STAT_SIGNAL_STRENGTH:
        s.scale = relative ? FE_SCALE_RELATIVE : FE_SCALE_DECIBEL;
        if (relative)
            s.uvalue = locked ? 51118 : 1966;
        else
            s.svalue = locked ? -45500 : -90000;
        return;
    case DTV_STAT_CNR:
        if (!locked) {
            s.scale = FE_SCALE_NOT_AVAILABLE;
        } else if (relative) {
            s.scale = FE_SCALE_RELATIVE;
            s.uvalue = 39321;
        } else {
            s.scale = FE_SCALE_DECIBEL;
            s.svalue = 23500;
        }
        return;
    default:
        break;
    }
    if (!locked) {
        s.scale = FE_SCALE_NOT_AVAILABLE;
        return;
    }
    s.scale = FE_SCALE_COUNTER;
    switch (cmd) {
    case DTV_STAT_PRE_ERROR_BIT_COUNT: s.uvalue = 210 * k; break;
    case DTV_STAT_PRE_TOTAL_BIT_COUNT: s.uvalue = 1000000 * k; break;
    case DTV_STAT_POST_ERROR_BIT_COUNT: s.uvalue = 21 * k; break;
    case DTV_STAT_POST_TOTAL_BIT_COUNT: s.uvalue = 1000000 * k; break;
    case DTV_STAT_ERROR_BLOCK_COUNT: s.uvalue = 3 * k; break;
    case DTV_STAT_TOTAL_BLOCK_COUNT: s.uvalue = 10000 * k; break;
    }
}

int frontendGetProperty(Frontend& fe, struct dtv_properties* props)
{
    if (!props || props->num == 0 || props->num > DTV_IOCTL_MAX_MSGS || !props->props)
        return fail(EINVAL);
    // One read of the statistics advances every counter once, however many
    // of them it asks for, so ratios stay exact.
    bool counters = false;
    for (uint32_t i = 0; i < props->num; ++i)
        counters |= isCounterStat(props->props[i].cmd);
    if (counters && fe.tuned && fe.locked)
        ++fe.statReads;
    for (uint32_t i = 0; i < props->num; ++i) {
        struct dtv_property& p = props->props[i];
        uint32_t cmd = p.cmd;
        p.result = 0;
        switch (cmd) {
        case DTV_API_VERSION:
            p.u.data = 0x050B;
            break;
        case DTV_DELIVERY_SYSTEM:
            p.u.data = fe.current;
            break;
        case DTV_ENUM_DELSYS: {
            size_t n = std::min(fe.systems.size(), sizeof p.u.buffer.data);
            memset(p.u.buffer.data, 0, sizeof p.u.buffer.data);
            for (size_t j = 0; j < n; ++j)
                p.u.buffer.data[j] = uint8_t(fe.systems[j]);
            p.u.buffer.len = uint32_t(n);
            break;
        }
        case DTV_STAT_SIGNAL_STRENGTH:
        case DTV_STAT_CNR:
        case DTV_STAT_PRE_ERROR_BIT_COUNT:
        case DTV_STAT_PRE_TOTAL_BIT_COUNT:
        case DTV_STAT_POST_ERROR_BIT_COUNT:
        case DTV_STAT_POST_TOTAL_BIT_COUNT:
        case DTV_STAT_ERROR_BLOCK_COUNT:
        case DTV_STAT_TOTAL_BLOCK_COUNT: {
            struct dtv_fe_stats st;
            fillStat(fe, cmd, st);
            memcpy(&p.u.st, &st, sizeof st);
            break;
        }
        default: {
            auto it = fe.values.find(cmd);
            p.u.data = it == fe.values.end() ? 0 : it->second;
            break;
        }
        }
    }
    return 0;
}

bool inRange(uint32_t v, uint32_t lo, uint32_t hi) { return v >= lo && v <= hi; }

int frontendSetProperty(Device& dev, struct dtv_properties* props)
{
    if (!props || props->num == 0 || props->num > DTV_IOCTL_MAX_MSGS || !props->props) {
        appendLog(dev.log, dev.name, "FE_SET_PROPERTY EINVAL");
        return fail(EINVAL);
    }
    Frontend& fe = dev.fe;
    std::string line = "FE_SET_PROPERTY";
    for (uint32_t i = 0; i < props->num; ++i) {
        const struct dtv_property& p = props->props[i];
        line += " " + propName(p.cmd) + "=" + std::to_string(uint32_t(p.u.data));
    }
    int err = 0;
    for (uint32_t i = 0; i < props->num && !err; ++i) {
        struct dtv_property& p = props->props[i];
        uint32_t cmd = p.cmd, v = p.u.data;
        p.result = 0;
        switch (cmd) {
        case DTV_DELIVERY_SYSTEM:
            if (std::find(fe.systems.begin(), fe.systems.end(), v) == fe.systems.end())
                err = EINVAL;
            else
                fe.current = v;
            break;
        case DTV_CLEAR:
            // As the kernel: the delivery system survives a clear.
            fe.values.clear();
            break;
        case DTV_TUNE: {
            auto get = [&](uint32_t c) {
                auto it = fe.values.find(c);
                return it == fe.values.end() ? 0u : it->second;
            };
            uint32_t f = get(DTV_FREQUENCY), sr = get(DTV_SYMBOL_RATE);
            Band band = bandOf(fe.current);
            bool ok = band == Band::Satellite ? inRange(f, kSatMin, kSatMax)
                                              : inRange(f, kTerrMin, kTerrMax);
            if (band != Band::Terrestrial && !inRange(sr, kSymMin, kSymMax))
                ok = false;
            if (!ok) {
                err = EINVAL;
                break;
            }
            fe.tuned = true;
            fe.locked = fe.lockAny || fe.lockFrequencies.count(f) > 0;
            fe.statReads = 0;
            break;
        }
        default:
            fe.values[cmd] = v;
            break;
        }
    }
    if (err)
        line += std::string(" ") + errnoName(err);
    appendLog(dev.log, dev.name, line);
    return err ? fail(err) : 0;
}

int frontendIoctl(Device& dev, unsigned long request, void* arg)
{
    Frontend& fe = dev.fe;
    bool locked = fe.tuned && fe.locked;
    char buf[128];
    switch (request) {
    case FE_GET_INFO:
        if (!arg)
            return fail(EFAULT);
        fillInfo(fe, *static_cast<struct dvb_frontend_info*>(arg));
        return 0;
    case FE_GET_PROPERTY:
        return frontendGetProperty(fe, static_cast<struct dtv_properties*>(arg));
    case FE_SET_PROPERTY:
        return frontendSetProperty(dev, static_cast<struct dtv_properties*>(arg));
    case FE_READ_STATUS: {
        if (fe.statusFailures > 0) {
            --fe.statusFailures;
            appendLog(dev.log, dev.name, "FE_READ_STATUS EIO");
            return fail(EIO);
        }
        if (!arg)
            return fail(EFAULT);
        unsigned status = 0;
        if (locked)
            status = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;
        else if (fe.tuned)
            status = FE_HAS_SIGNAL;
        *static_cast<fe_status_t*>(arg) = fe_status_t(status);
        return 0;
    }
    case FE_READ_BER:
    case FE_READ_SIGNAL_STRENGTH:
    case FE_READ_SNR:
    case FE_READ_UNCORRECTED_BLOCKS:
        if (fe.stats == Stats::None)
            return fail(ENOTSUP);
        if (!arg)
            return fail(EFAULT);
        if (request == FE_READ_BER)
            *static_cast<uint32_t*>(arg) = locked ? 21 : 0;
        else if (request == FE_READ_SIGNAL_STRENGTH)
            *static_cast<uint16_t*>(arg) = locked ? 51118 : 1966;
        else if (request == FE_READ_SNR)
            *static_cast<uint16_t*>(arg) = locked ? 39321 : 0;
        else
            *static_cast<uint32_t*>(arg) = locked ? uint32_t(3 * fe.statReads) : 0;
        return 0;
    case FE_SET_VOLTAGE: {
        unsigned long v = reinterpret_cast<unsigned long>(arg);
        const char* s = v == SEC_VOLTAGE_13 ? "13" : v == SEC_VOLTAGE_18 ? "18" : "OFF";
        appendLog(dev.log, dev.name, std::string("FE_SET_VOLTAGE ") + s);
        return 0;
    }
    case FE_SET_TONE: {
        unsigned long v = reinterpret_cast<unsigned long>(arg);
        appendLog(dev.log, dev.name, std::string("FE_SET_TONE ") + (v == SEC_TONE_ON ? "ON" : "OFF"));
        return 0;
    }
    case FE_DISEQC_SEND_MASTER_CMD: {
        if (!arg)
            return fail(EFAULT);
        const auto* cmd = static_cast<const struct dvb_diseqc_master_cmd*>(arg);
        std::string line = "FE_DISEQC_SEND_MASTER_CMD";
        for (unsigned i = 0; i < cmd->msg_len && i < sizeof cmd->msg; ++i) {
            snprintf(buf, sizeof buf, " %02x", cmd->msg[i]);
            line += buf;
        }
        appendLog(dev.log, dev.name, line);
        return 0;
    }
    case FE_DISEQC_SEND_BURST: {
        unsigned long v = reinterpret_cast<unsigned long>(arg);
        appendLog(dev.log, dev.name,
                  std::string("FE_DISEQC_SEND_BURST ") + (v == SEC_MINI_A ? "A" : "B"));
        return 0;
    }
    case FE_ENABLE_HIGH_LNB_VOLTAGE:
        appendLog(dev.log, dev.name, std::string("FE_ENABLE_HIGH_LNB_VOLTAGE ") +
                                         (reinterpret_cast<unsigned long>(arg) ? "1" : "0"));
        return 0;
    case FE_SET_FRONTEND_TUNE_MODE:
        appendLog(dev.log, dev.name,
                  "FE_SET_FRONTEND_TUNE_MODE " +
                      std::to_string(unsigned(reinterpret_cast<unsigned long>(arg))));
        return 0;
    default:
        break;
    }
    const char* name = request == FE_GET_EVENT                     ? "FE_GET_EVENT"
                       : request == FE_GET_FRONTEND                ? "FE_GET_FRONTEND"
                       : request == FE_SET_FRONTEND                ? "FE_SET_FRONTEND"
                       : request == FE_DISEQC_RESET_OVERLOAD       ? "FE_DISEQC_RESET_OVERLOAD"
                       : request == FE_DISEQC_RECV_SLAVE_REPLY     ? "FE_DISEQC_RECV_SLAVE_REPLY"
                       : request == FE_DISHNETWORK_SEND_LEGACY_CMD ? "FE_DISHNETWORK_SEND_LEGACY_CMD"
                                                                   : nullptr;
    if (name)
        snprintf(buf, sizeof buf, "%s ENOTTY", name);
    else
        snprintf(buf, sizeof buf, "ioctl 0x%lx ENOTTY", request);
    appendLog(dev.log, dev.name, buf);
    return fail(ENOTTY);
}

// ---------------------------------------------------------------------------
// Demux and DVR

int demuxIoctl(Device& dev, unsigned long request, void* arg)
{
    char buf[160];
    bool dvr = dev.kind == Kind::Dvr;
    if (request == DMX_SET_BUFFER_SIZE) {
        snprintf(buf, sizeof buf, "DMX_SET_BUFFER_SIZE %lu", reinterpret_cast<unsigned long>(arg));
        appendLog(dev.log, dev.name, buf);
        return 0;
    }
    if (!dvr) {
        switch (request) {
        case DMX_SET_PES_FILTER: {
            if (!arg)
                return fail(EFAULT);
            const auto* f = static_cast<const struct dmx_pes_filter_params*>(arg);
            snprintf(buf, sizeof buf, "DMX_SET_PES_FILTER pid=%u input=%u output=%u pes_type=%u flags=%u",
                     unsigned(f->pid), unsigned(f->input), unsigned(f->output),
                     unsigned(f->pes_type), unsigned(f->flags));
            appendLog(dev.log, dev.name, buf);
            return 0;
        }
        case DMX_SET_FILTER: {
            if (!arg)
                return fail(EFAULT);
            const auto* f = static_cast<const struct dmx_sct_filter_params*>(arg);
            // Only the bytes the mask looks at, so the line stays readable.
            int last = 0;
            for (int i = 0; i < DMX_FILTER_SIZE; ++i)
                if (f->filter.mask[i])
                    last = i;
            std::string line = "DMX_SET_FILTER pid=" + std::to_string(f->pid) + " filter=";
            for (int i = 0; i <= last; ++i) {
                snprintf(buf, sizeof buf, "%02x", f->filter.filter[i]);
                line += buf;
            }
            line += " mask=";
            for (int i = 0; i <= last; ++i) {
                snprintf(buf, sizeof buf, "%02x", f->filter.mask[i]);
                line += buf;
            }
            line += " timeout=" + std::to_string(f->timeout) + " flags=" + std::to_string(f->flags);
            appendLog(dev.log, dev.name, line);
            return 0;
        }
        case DMX_START:
            appendLog(dev.log, dev.name, "DMX_START");
            return 0;
        case DMX_STOP:
            appendLog(dev.log, dev.name, "DMX_STOP");
            return 0;
        case DMX_ADD_PID:
        case DMX_REMOVE_PID:
            if (!arg)
                return fail(EFAULT);
            snprintf(buf, sizeof buf, "%s %u", request == DMX_ADD_PID ? "DMX_ADD_PID" : "DMX_REMOVE_PID",
                     unsigned(*static_cast<const uint16_t*>(arg)));
            appendLog(dev.log, dev.name, buf);
            return 0;
        default:
            break;
        }
    }
    const char* name = request == DMX_GET_PES_PIDS ? "DMX_GET_PES_PIDS"
                       : request == DMX_GET_STC    ? "DMX_GET_STC"
                       : request == DMX_REQBUFS    ? "DMX_REQBUFS"
                                                   : nullptr;
    if (name)
        snprintf(buf, sizeof buf, "%s ENOTTY", name);
    else
        snprintf(buf, sizeof buf, "ioctl 0x%lx ENOTTY", request);
    appendLog(dev.log, dev.name, buf);
    return fail(ENOTTY);
}

const uint64_t kPacket = 188;

// Whole packets due since the DVR was opened.
uint64_t dueBytes(const Dvr& d, int64_t now)
{
    if (d.streamFd < 0)
        return 0;
    unsigned __int128 bits = (unsigned __int128)(uint64_t(now - d.startNs)) * d.bitrate;
    uint64_t bytes = uint64_t(bits / 8000000000ull);
    return bytes / kPacket * kPacket;
}

// When the next packet after what was served falls due; -1 for never.
int64_t nextDueNs(const Dvr& d)
{
    if (d.streamFd < 0)
        return -1;
    uint64_t want = (d.served / kPacket + 1) * kPacket;
    unsigned __int128 ns = ((unsigned __int128)want * 8000000000ull + d.bitrate - 1) / d.bitrate;
    return d.startNs + int64_t(ns);
}

bool overflowNext(const Dvr& d) { return d.overflowAt.count(d.reads + 1) > 0; }

bool dvrReadable(const Dvr& d, int64_t now) { return overflowNext(d) || dueBytes(d, now) > d.served; }

// Serves one read as read() would (bytes, or -1 with errno), or, when a
// blocking read has nothing due yet, sets *wait to when to look again.
ssize_t dvrReadLocked(Device& dev, void* buf, size_t count, bool nonblock, int64_t* wait)
{
    Dvr& d = dev.dvr;
    *wait = 0;
    int64_t now = nowNs();
    if (overflowNext(d)) {
        ++d.reads;
        d.served = std::max(d.served, dueBytes(d, now));
        appendLog(dev.log, dev.name, "EOVERFLOW");
        errno = EOVERFLOW;
        return -1;
    }
    uint64_t due = dueBytes(d, now);
    if (due <= d.served) {
        if (nonblock) {
            // Not counted: overflow numbers must not depend on how often a
            // non-blocking reader comes too early.
            errno = EAGAIN;
            return -1;
        }
        *wait = nextDueNs(d);
        if (*wait < 0)
            *wait = now + 1000000000; // no stream: block, looking again now and then
        return -1;
    }
    ++d.reads;
    size_t n = size_t(std::min<uint64_t>(due - d.served, count));
    size_t done = 0;
    while (done < n) {
        uint64_t off = (d.served + done) % d.streamSize;
        size_t chunk = size_t(std::min<uint64_t>(n - done, d.streamSize - off));
        ssize_t r = pread(d.streamFd, static_cast<char*>(buf) + done, chunk, off_t(off));
        if (r <= 0)
            break;
        done += size_t(r);
    }
    if (done == 0 && n > 0) {
        errno = EIO;
        return -1;
    }
    d.served += done;
    return ssize_t(done);
}

// Returns true if fd is a fake device and *result holds the read's outcome.
bool fakeRead(int fd, void* buf, size_t count, ssize_t* result)
{
    if (!maybeFake(fd))
        return false;
    for (;;) {
        int64_t wait = 0;
        {
            Lock lock;
            Device* dev = findLocked(fd);
            if (!dev)
                return false;
            int fl = fcntl(fd, F_GETFL);
            bool nonblock = fl >= 0 && (fl & O_NONBLOCK);
            if (dev->kind == Kind::Frontend) {
                *result = -1; // the kernel's frontend has no read
                errno = EINVAL;
                return true;
            }
            if (dev->kind == Kind::Demux) {
                // No section ever arrives: as a filter whose timeout ran out.
                *result = -1;
                errno = nonblock ? EAGAIN : ETIMEDOUT;
                return true;
            }
            if (count == 0) {
                *result = 0;
                return true;
            }
            ssize_t r = dvrReadLocked(*dev, buf, count, nonblock, &wait);
            if (!wait) {
                *result = r;
                return true;
            }
        }
        sleepUntilNs(wait);
    }
}

// Returns true if the set holds a fake fd and *result holds poll's outcome.
bool fakePoll(struct pollfd* fds, nfds_t nfds, int timeout, int* result)
{
    if (!fds || nfds == 0)
        return false;
    bool candidate = false;
    for (nfds_t i = 0; i < nfds && !candidate; ++i)
        candidate = maybeFake(fds[i].fd);
    if (!candidate)
        return false;
    int64_t deadline = timeout < 0 ? -1 : nowNs() + int64_t(timeout) * 1000000;
    struct pollfd small[64];
    struct pollfd* realSet = nullptr;
    nfds_t* realIndex = nullptr;
    nfds_t realCount = 0;
    bool anyFake = false;
    bool ok = true;
    for (;;) {
        int ready = 0;
        int64_t next = -1;
        {
            Lock lock;
            int64_t now = nowNs();
            if (!realIndex) {
                // First pass: split the set once.
                bool found = false;
                for (nfds_t i = 0; i < nfds && !found; ++i)
                    found = findLocked(fds[i].fd) != nullptr;
                if (!found)
                    return false;
                anyFake = true;
                realIndex = static_cast<nfds_t*>(malloc(sizeof(nfds_t) * nfds));
                realSet = nfds <= 64 ? small : static_cast<struct pollfd*>(malloc(sizeof(struct pollfd) * nfds));
                if (!realIndex || !realSet) {
                    ok = false;
                    break;
                }
                for (nfds_t i = 0; i < nfds; ++i)
                    if (!findLocked(fds[i].fd)) {
                        realIndex[realCount] = i;
                        realSet[realCount] = fds[i];
                        ++realCount;
                    }
            }
            for (nfds_t i = 0; i < nfds; ++i) {
                Device* dev = findLocked(fds[i].fd);
                if (!dev)
                    continue;
                fds[i].revents = 0;
                if (dev->kind != Kind::Dvr)
                    continue;
                if (dvrReadable(dev->dvr, now)) {
                    fds[i].revents = short(fds[i].events & (POLLIN | POLLRDNORM));
                    if (fds[i].revents)
                        ++ready;
                } else {
                    int64_t t = nextDueNs(dev->dvr);
                    if (t >= 0 && (next < 0 || t < next))
                        next = t;
                }
            }
        }
        int64_t now = nowNs();
        int64_t until = deadline;
        if (next >= 0 && (until < 0 || next < until))
            until = next;
        int waitMs = -1;
        if (ready > 0)
            waitMs = 0;
        else if (until >= 0)
            waitMs = until <= now ? 0 : int((until - now + 999999) / 1000000);
        if (realCount > 0) {
            for (nfds_t j = 0; j < realCount; ++j)
                realSet[j].revents = 0;
            int r = realPoll(realSet, realCount, waitMs);
            if (r < 0) {
                *result = -1;
                break;
            }
            for (nfds_t j = 0; j < realCount; ++j)
                fds[realIndex[j]].revents = realSet[j].revents;
            ready += r;
        } else if (!ready && waitMs != 0) {
            sleepUntilNs(until >= 0 ? until : now + 1000000000);
        }
        if (ready > 0 || (deadline >= 0 && nowNs() >= deadline)) {
            *result = ready;
            break;
        }
    }
    int saved = errno;
    if (realSet != small)
        free(realSet);
    free(realIndex);
    errno = saved;
    if (!ok) {
        if (!anyFake)
            return false;
        *result = -1;
        errno = ENOMEM;
    }
    return true;
}

bool fakeIoctl(int fd, unsigned long request, void* arg, int* result)
{
    if (!maybeFake(fd))
        return false;
    Lock lock;
    Device* dev = findLocked(fd);
    if (!dev)
        return false;
    *result = dev->kind == Kind::Frontend ? frontendIoctl(*dev, request, arg)
                                          : demuxIoctl(*dev, request, arg);
    return true;
}

void forgetFd(int fd)
{
    if (!maybeFake(fd))
        return;
    Device* dev = nullptr;
    {
        Lock lock;
        if (!gDevices)
            return;
        auto it = gDevices->find(fd);
        if (it == gDevices->end())
            return;
        dev = it->second;
        gDevices->erase(it);
        markFd(fd, false);
        gFakeCount.fetch_sub(1, std::memory_order_release);
    }
    int saved = errno;
    appendLog(dev->log, dev->name, "close");
    if (dev->dvr.streamFd >= 0)
        syscall(SYS_close, dev->dvr.streamFd);
    delete dev;
    errno = saved;
}

bool wantsMode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

// ---------------------------------------------------------------------------
// libudev: a fake enumeration of the device files under the root.

enum class UKind { Udev, Enumerate, Entry, Device };

struct UObj {
    UKind kind;
};

struct FakeUdev : UObj {
    std::string root;
    std::atomic<int> refs{1};
};

struct FakeEntry : UObj {
    std::string name;
    FakeEntry* next = nullptr;
};

struct FakeEnumerate : UObj {
    FakeUdev* udev = nullptr;
    bool anyMatch = false;
    bool dvbMatch = false;
    std::vector<FakeEntry*> entries;
};

struct FakeDevice : UObj {
    std::string syspath, devnode, sysname, subsystem, type;
    FakeDevice* parent = nullptr;
    bool ownedByChild = false; // as libudev: a parent is freed with its child
};

std::set<const void*>* gUObjs = nullptr; // under gMutex

template <typename T> T* newU(UKind k)
{
    T* o = new (std::nothrow) T();
    if (!o)
        return nullptr;
    o->kind = k;
    Lock lock;
    if (!gUObjs)
        gUObjs = new (std::nothrow) std::set<const void*>();
    if (!gUObjs) {
        delete o;
        return nullptr;
    }
    gUObjs->insert(o);
    return o;
}

template <typename T> T* asU(const void* p, UKind k)
{
    if (!p)
        return nullptr;
    Lock lock;
    if (!gUObjs || !gUObjs->count(p))
        return nullptr;
    const UObj* o = static_cast<const UObj*>(p);
    return o->kind == k ? static_cast<T*>(const_cast<UObj*>(o)) : nullptr;
}

void dropU(const void* p)
{
    Lock lock;
    if (gUObjs)
        gUObjs->erase(p);
}

const char kSysPrefix[] = "/sys/devices/platform/lumfakedvb/dvb/";

struct Found {
    unsigned adapter, index;
    int type;
    std::string typeName;
};

void scanRoot(const std::string& root, std::vector<std::string>& syspaths)
{
    std::vector<Found> found;
    DIR* top = opendir(root.c_str());
    if (!top)
        return;
    while (struct dirent* a = readdir(top)) {
        if (!isAdapterDir(a->d_name))
            continue;
        unsigned adapter = unsigned(strtoul(a->d_name + 7, nullptr, 10));
        std::string dir = root + "/" + a->d_name;
        DIR* d = opendir(dir.c_str());
        if (!d)
            continue;
        while (struct dirent* e = readdir(d)) {
            Kind k;
            if (!kindOfName(e->d_name, k))
                continue;
            Found f;
            f.adapter = adapter;
            f.type = int(k);
            f.typeName = k == Kind::Frontend ? "frontend" : k == Kind::Demux ? "demux" : "dvr";
            f.index = unsigned(strtoul(e->d_name + f.typeName.size(), nullptr, 10));
            found.push_back(f);
        }
        closedir(d);
    }
    closedir(top);
    std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
        if (x.adapter != y.adapter)
            return x.adapter < y.adapter;
        if (x.type != y.type)
            return x.type < y.type;
        return x.index < y.index;
    });
    for (const auto& f : found)
        syspaths.push_back(std::string(kSysPrefix) + "dvb" + std::to_string(f.adapter) + "." +
                           f.typeName + std::to_string(f.index));
}

FakeDevice* deviceFromSyspath(const FakeUdev& u, const char* syspath)
{
    size_t n = strlen(kSysPrefix);
    if (!syspath || strncmp(syspath, kSysPrefix, n) != 0)
        return nullptr;
    const char* sysname = syspath + n;
    unsigned adapter = 0, index = 0;
    char type[16] = {0};
    int used = 0;
    if (sscanf(sysname, "dvb%u.%15[a-z]%u%n", &adapter, type, &index, &used) != 3 ||
        sysname[used] != '\0')
        return nullptr;
    std::string t = type;
    if (t != "frontend" && t != "demux" && t != "dvr")
        return nullptr;
    FakeDevice* dev = newU<FakeDevice>(UKind::Device);
    FakeDevice* parent = newU<FakeDevice>(UKind::Device);
    if (!dev || !parent) {
        if (dev) {
            dropU(dev);
            delete dev;
        }
        if (parent) {
            dropU(parent);
            delete parent;
        }
        return nullptr;
    }
    dev->syspath = syspath;
    dev->sysname = sysname;
    dev->subsystem = "dvb";
    dev->type = t;
    dev->devnode = u.root + "/adapter" + std::to_string(adapter) + "/" + t + std::to_string(index);
    parent->syspath = "/sys/devices/platform/lumfakedvb";
    parent->sysname = "lumfakedvb";
    parent->subsystem = "platform";
    parent->ownedByChild = true;
    dev->parent = parent;
    return dev;
}

} // namespace

// ---------------------------------------------------------------------------
// The interposers

extern "C" {

int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (wantsMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    REAL(open, OpenFn);
    int fd = real_open ? real_open(path, flags, mode) : sysOpenAt(AT_FDCWD, path, flags, mode);
    registerIfFake(fd, path, flags);
    return fd;
}

int open64(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (wantsMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    REAL(open64, OpenFn);
    int fd = real_open64 ? real_open64(path, flags, mode)
                         : sysOpenAt(AT_FDCWD, path, flags | O_LARGEFILE, mode);
    registerIfFake(fd, path, flags);
    return fd;
}

int __open_2(const char* path, int flags)
{
    REAL(__open_2, Open2Fn);
    int fd = real___open_2 ? real___open_2(path, flags) : sysOpenAt(AT_FDCWD, path, flags, 0);
    registerIfFake(fd, path, flags);
    return fd;
}

int __open64_2(const char* path, int flags)
{
    REAL(__open64_2, Open2Fn);
    int fd = real___open64_2 ? real___open64_2(path, flags)
                             : sysOpenAt(AT_FDCWD, path, flags | O_LARGEFILE, 0);
    registerIfFake(fd, path, flags);
    return fd;
}

int openat(int dirfd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (wantsMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    REAL(openat, OpenAtFn);
    int fd = real_openat ? real_openat(dirfd, path, flags, mode) : sysOpenAt(dirfd, path, flags, mode);
    registerIfFake(fd, path, flags);
    return fd;
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (wantsMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    REAL(openat64, OpenAtFn);
    int fd = real_openat64 ? real_openat64(dirfd, path, flags, mode)
                           : sysOpenAt(dirfd, path, flags | O_LARGEFILE, mode);
    registerIfFake(fd, path, flags);
    return fd;
}

int close(int fd)
{
    forgetFd(fd);
    return realClose(fd);
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    int result;
    if (fakeIoctl(fd, request, arg, &result))
        return result;
    return realIoctl(fd, request, arg);
}

int poll(struct pollfd* fds, nfds_t nfds, int timeout)
{
    int result;
    if (fakePoll(fds, nfds, timeout, &result))
        return result;
    return realPoll(fds, nfds, timeout);
}

int __poll_chk(struct pollfd* fds, nfds_t nfds, int timeout, size_t fdslen)
{
    if (fdslen / sizeof(*fds) < nfds)
        abort(); // what glibc's own check does, less the message
    int result;
    if (fakePoll(fds, nfds, timeout, &result))
        return result;
    REAL(__poll_chk, PollChkFn);
    return real___poll_chk ? real___poll_chk(fds, nfds, timeout, fdslen) : realPoll(fds, nfds, timeout);
}

ssize_t read(int fd, void* buf, size_t count)
{
    ssize_t result;
    if (fakeRead(fd, buf, count, &result))
        return result;
    return realRead(fd, buf, count);
}

ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen)
{
    if (count > buflen)
        abort();
    ssize_t result;
    if (fakeRead(fd, buf, count, &result))
        return result;
    REAL(__read_chk, ReadChkFn);
    return real___read_chk ? real___read_chk(fd, buf, count, buflen) : realRead(fd, buf, count);
}

// libudev. Objects of ours are told apart from the real library's by
// address; anything else goes to the real libudev, if the process has one.

struct udev;
struct udev_enumerate;
struct udev_list_entry;
struct udev_device;
struct udev_monitor;

#define REAL_UDEV(name, ret, params)                          \
    using name##_fn = ret(*) params;                          \
    static std::atomic<void*> slot_##name{nullptr};           \
    auto real_##name = reinterpret_cast<name##_fn>(resolveNext(slot_##name, #name))

struct udev* udev_new(void)
{
    std::string root;
    if (canonicalRoot(root)) {
        FakeUdev* u = newU<FakeUdev>(UKind::Udev);
        if (u)
            u->root = root;
        return reinterpret_cast<struct udev*>(u);
    }
    REAL_UDEV(udev_new, struct udev*, (void));
    return real_udev_new ? real_udev_new() : nullptr;
}

struct udev* udev_unref(struct udev* u)
{
    if (FakeUdev* f = asU<FakeUdev>(u, UKind::Udev)) {
        if (--f->refs == 0) {
            dropU(f);
            delete f;
        }
        return nullptr;
    }
    REAL_UDEV(udev_unref, struct udev*, (struct udev*));
    return real_udev_unref ? real_udev_unref(u) : nullptr;
}

struct udev_enumerate* udev_enumerate_new(struct udev* u)
{
    if (FakeUdev* f = asU<FakeUdev>(u, UKind::Udev)) {
        FakeEnumerate* e = newU<FakeEnumerate>(UKind::Enumerate);
        if (e) {
            e->udev = f;
            ++f->refs;
        }
        return reinterpret_cast<struct udev_enumerate*>(e);
    }
    REAL_UDEV(udev_enumerate_new, struct udev_enumerate*, (struct udev*));
    return real_udev_enumerate_new ? real_udev_enumerate_new(u) : nullptr;
}

int udev_enumerate_add_match_subsystem(struct udev_enumerate* e, const char* subsystem)
{
    if (FakeEnumerate* f = asU<FakeEnumerate>(e, UKind::Enumerate)) {
        // Matches are or-ed, as libudev does; only "dvb" has members here.
        f->anyMatch = true;
        if (subsystem && strcmp(subsystem, "dvb") == 0)
            f->dvbMatch = true;
        return 0;
    }
    REAL_UDEV(udev_enumerate_add_match_subsystem, int, (struct udev_enumerate*, const char*));
    return real_udev_enumerate_add_match_subsystem
               ? real_udev_enumerate_add_match_subsystem(e, subsystem)
               : -ENOSYS;
}

int udev_enumerate_scan_devices(struct udev_enumerate* e)
{
    if (FakeEnumerate* f = asU<FakeEnumerate>(e, UKind::Enumerate)) {
        if (!f->entries.empty() || (f->anyMatch && !f->dvbMatch))
            return 0;
        std::vector<std::string> paths;
        scanRoot(f->udev->root, paths);
        for (const auto& p : paths) {
            FakeEntry* entry = newU<FakeEntry>(UKind::Entry);
            if (!entry)
                return -ENOMEM;
            entry->name = p;
            if (!f->entries.empty())
                f->entries.back()->next = entry;
            f->entries.push_back(entry);
        }
        return 0;
    }
    REAL_UDEV(udev_enumerate_scan_devices, int, (struct udev_enumerate*));
    return real_udev_enumerate_scan_devices ? real_udev_enumerate_scan_devices(e) : -ENOSYS;
}

struct udev_list_entry* udev_enumerate_get_list_entry(struct udev_enumerate* e)
{
    if (FakeEnumerate* f = asU<FakeEnumerate>(e, UKind::Enumerate))
        return reinterpret_cast<struct udev_list_entry*>(f->entries.empty() ? nullptr : f->entries.front());
    REAL_UDEV(udev_enumerate_get_list_entry, struct udev_list_entry*, (struct udev_enumerate*));
    return real_udev_enumerate_get_list_entry ? real_udev_enumerate_get_list_entry(e) : nullptr;
}

struct udev_enumerate* udev_enumerate_unref(struct udev_enumerate* e)
{
    if (FakeEnumerate* f = asU<FakeEnumerate>(e, UKind::Enumerate)) {
        for (FakeEntry* entry : f->entries) {
            dropU(entry);
            delete entry;
        }
        udev_unref(reinterpret_cast<struct udev*>(f->udev));
        dropU(f);
        delete f;
        return nullptr;
    }
    REAL_UDEV(udev_enumerate_unref, struct udev_enumerate*, (struct udev_enumerate*));
    return real_udev_enumerate_unref ? real_udev_enumerate_unref(e) : nullptr;
}

struct udev_list_entry* udev_list_entry_get_next(struct udev_list_entry* l)
{
    if (FakeEntry* f = asU<FakeEntry>(l, UKind::Entry))
        return reinterpret_cast<struct udev_list_entry*>(f->next);
    REAL_UDEV(udev_list_entry_get_next, struct udev_list_entry*, (struct udev_list_entry*));
    return real_udev_list_entry_get_next ? real_udev_list_entry_get_next(l) : nullptr;
}

const char* udev_list_entry_get_name(struct udev_list_entry* l)
{
    if (FakeEntry* f = asU<FakeEntry>(l, UKind::Entry))
        return f->name.c_str();
    REAL_UDEV(udev_list_entry_get_name, const char*, (struct udev_list_entry*));
    return real_udev_list_entry_get_name ? real_udev_list_entry_get_name(l) : nullptr;
}

struct udev_device* udev_device_new_from_syspath(struct udev* u, const char* syspath)
{
    if (FakeUdev* f = asU<FakeUdev>(u, UKind::Udev))
        return reinterpret_cast<struct udev_device*>(deviceFromSyspath(*f, syspath));
    REAL_UDEV(udev_device_new_from_syspath, struct udev_device*, (struct udev*, const char*));
    return real_udev_device_new_from_syspath ? real_udev_device_new_from_syspath(u, syspath) : nullptr;
}

const char* udev_device_get_devnode(struct udev_device* d)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device))
        return f->devnode.empty() ? nullptr : f->devnode.c_str();
    REAL_UDEV(udev_device_get_devnode, const char*, (struct udev_device*));
    return real_udev_device_get_devnode ? real_udev_device_get_devnode(d) : nullptr;
}

const char* udev_device_get_property_value(struct udev_device* d, const char* key)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device)) {
        if (key && strcmp(key, "DVB_DEVICE_TYPE") == 0 && !f->type.empty())
            return f->type.c_str();
        return nullptr;
    }
    REAL_UDEV(udev_device_get_property_value, const char*, (struct udev_device*, const char*));
    return real_udev_device_get_property_value ? real_udev_device_get_property_value(d, key) : nullptr;
}

const char* udev_device_get_sysname(struct udev_device* d)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device))
        return f->sysname.c_str();
    REAL_UDEV(udev_device_get_sysname, const char*, (struct udev_device*));
    return real_udev_device_get_sysname ? real_udev_device_get_sysname(d) : nullptr;
}

struct udev_device* udev_device_get_parent(struct udev_device* d)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device))
        return reinterpret_cast<struct udev_device*>(f->parent);
    REAL_UDEV(udev_device_get_parent, struct udev_device*, (struct udev_device*));
    return real_udev_device_get_parent ? real_udev_device_get_parent(d) : nullptr;
}

const char* udev_device_get_subsystem(struct udev_device* d)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device))
        return f->subsystem.c_str();
    REAL_UDEV(udev_device_get_subsystem, const char*, (struct udev_device*));
    return real_udev_device_get_subsystem ? real_udev_device_get_subsystem(d) : nullptr;
}

const char* udev_device_get_sysattr_value(struct udev_device* d, const char* attr)
{
    if (asU<FakeDevice>(d, UKind::Device))
        return nullptr;
    REAL_UDEV(udev_device_get_sysattr_value, const char*, (struct udev_device*, const char*));
    return real_udev_device_get_sysattr_value ? real_udev_device_get_sysattr_value(d, attr) : nullptr;
}

const char* udev_device_get_action(struct udev_device* d)
{
    if (asU<FakeDevice>(d, UKind::Device))
        return nullptr;
    REAL_UDEV(udev_device_get_action, const char*, (struct udev_device*));
    return real_udev_device_get_action ? real_udev_device_get_action(d) : nullptr;
}

struct udev_device* udev_device_unref(struct udev_device* d)
{
    if (FakeDevice* f = asU<FakeDevice>(d, UKind::Device)) {
        if (f->ownedByChild)
            return nullptr;
        if (f->parent) {
            dropU(f->parent);
            delete f->parent;
        }
        dropU(f);
        delete f;
        return nullptr;
    }
    REAL_UDEV(udev_device_unref, struct udev_device*, (struct udev_device*));
    return real_udev_device_unref ? real_udev_device_unref(d) : nullptr;
}

// A fake udev has no netlink socket; handing it to the real library would crash.
struct udev_monitor* udev_monitor_new_from_netlink(struct udev* u, const char* name)
{
    if (asU<FakeUdev>(u, UKind::Udev)) {
        errno = ENOSYS;
        return nullptr;
    }
    REAL_UDEV(udev_monitor_new_from_netlink, struct udev_monitor*, (struct udev*, const char*));
    return real_udev_monitor_new_from_netlink ? real_udev_monitor_new_from_netlink(u, name) : nullptr;
}

} // extern "C"
