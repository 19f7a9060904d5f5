// User-space stand-in for Linux DVB device nodes (frontend, demux, dvr) and for the part of
// libudev that lists them. Preload it, or link it ahead of libc; see README.md.

// The fortified inline wrappers of open() and read() would collide with the definitions below.
#undef _FORTIFY_SOURCE

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "FakeDVBNames.h"

#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace fakedvb;

namespace {

int fail(int e) { return errno = e, -1; }

// FREQUENCY for DTV_FREQUENCY, a number for the properties no test meets.
std::string propertyName(uint32_t command)
{
#define NAME(p) case DTV_##p: return #p;
    switch (command) {
    NAME(TUNE) NAME(FREQUENCY) NAME(MODULATION) NAME(BANDWIDTH_HZ) NAME(INVERSION) NAME(SYMBOL_RATE) NAME(INNER_FEC)
    NAME(PILOT) NAME(ROLLOFF) NAME(DELIVERY_SYSTEM) NAME(CODE_RATE_HP) NAME(CODE_RATE_LP) NAME(GUARD_INTERVAL)
    NAME(TRANSMISSION_MODE) NAME(HIERARCHY) NAME(STREAM_ID)
    }
#undef NAME
    return std::to_string(command);
}

// The numbers of a comma-separated list, up to what is not one.
std::set<uint64_t> numbers(const char* s)
{
    std::set<uint64_t> out;
    for (char* end = nullptr; s && *s >= '0' && *s <= '9'; s = *end == ',' ? end + 1 : "")
        out.insert(strtoull(s, &end, 10));
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

int64_t nowNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// LUM_FAKE_DVB_LOCK_LOSS "START,SECONDS": from START seconds after the first device open
// that saw it set, for SECONDS, no frontend has lock and no dvr has data; what falls due then
// is lost. Read at each open, as every setting is.
struct LossWindow { int64_t from = -1, to = -1; };
std::atomic<int64_t> gLossOrigin{0};
LossWindow readLossWindow(int64_t now)
{
    LossWindow w;
    const char* s = getenv("LUM_FAKE_DVB_LOCK_LOSS");
    char* end = nullptr;
    const double start = s ? strtod(s, &end) : -1;
    if (!s || !end || *end != ',' || start < 0) return w;
    int64_t origin = 0;
    gLossOrigin.compare_exchange_strong(origin, now);
    w.from = gLossOrigin.load() + int64_t(start * 1e9);
    w.to = w.from + int64_t(strtod(end + 1, nullptr) * 1e9);
    return w;
}

void sleepUntilNs(int64_t t)
{
    struct timespec ts = {time_t(t / 1000000000), long(t % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) continue;
}

enum class Band { Terrestrial, Cable, Satellite };
const struct { const char* name; uint32_t sys; Band band; } kSystems[] = {
    {"DVBT", SYS_DVBT, Band::Terrestrial}, {"DVBT2", SYS_DVBT2, Band::Terrestrial},
    {"DVBC_ANNEX_A", SYS_DVBC_ANNEX_A, Band::Cable}, {"DVBS", SYS_DVBS, Band::Satellite},
    {"DVBS2", SYS_DVBS2, Band::Satellite}};

Band bandOf(uint32_t sys)
{
    for (const auto& s : kSystems)
        if (s.sys == sys) return s.band;
    return Band::Terrestrial;
}

// Satellite frontends count in kHz (intermediate frequency), the others in Hz.
const uint32_t kTerrMin = 42000000, kTerrMax = 870000000, kSatMin = 950000, kSatMax = 2150000;
const uint32_t kSymMin = 1000000, kSymMax = 45000000;
bool inRange(uint32_t v, uint32_t lo, uint32_t hi) { return v >= lo && v <= hi; }
const uint64_t kBitrate = 20000000, kPacket = 188;

// The state of one open descriptor of a fake device.
struct Device {
    Kind kind = Kind::Frontend;
    std::string name, log; // name: adapterN/frontendM
    std::vector<uint32_t> systems;
    uint32_t current = 0;
    std::set<uint64_t> lockAt, overflowAt;
    bool lockAny = true, tuned = false, locked = false, relative = false;
    std::map<uint32_t, uint32_t> values;
    int stream = -1;
    uint64_t statusFailures = 0, statReads = 0, size = 0, served = 0, reads = 0;
    int64_t start = 0;
    std::string servedLog;   // LUM_FAKE_DVB_SERVED: every byte the dvr hands over is appended there
    LossWindow loss;
    bool lost(int64_t now) const { return now >= loss.from && now < loss.to; }
};

pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> gFakeCount{0};   // lets the process's own calls skip the lock
std::map<int, Device*>* gDevices; // under gMutex, never freed: in use until exit
struct Lock { Lock() { pthread_mutex_lock(&gMutex); } ~Lock() { pthread_mutex_unlock(&gMutex); } };
bool mayBeFake(int fd) { return fd >= 0 && gFakeCount.load(std::memory_order_acquire) > 0; }
Device* findLocked(int fd) { return gDevices && gDevices->count(fd) ? (*gDevices)[fd] : nullptr; }

void configure(Device& d, Kind kind, const char* name)
{
    const char* log = getenv("LUM_FAKE_DVB_LOG");
    d.kind = kind, d.name = name, d.log = log ? log : "";
    const char* s = getenv("LUM_FAKE_DVB_SYSTEMS");
    std::string list = s && *s ? s : "DVBT,DVBT2";
    list.erase(std::remove(list.begin(), list.end(), ' '), list.end());
    for (size_t b = 0, e; b <= list.size(); b = e + 1) { // as listed: the first sets FE_GET_INFO
        e = std::min(list.find(',', b), list.size());
        for (const auto& sys : kSystems)
            if (list.compare(b, e - b, sys.name) == 0) d.systems.push_back(sys.sys);
    }
    if (d.systems.empty()) d.systems.push_back(SYS_DVBT);
    d.current = d.systems.front();
    const char* lock = getenv("LUM_FAKE_DVB_LOCK");
    d.lockAny = !lock || !*lock || strchr(lock, '*');
    d.lockAt = numbers(lock);
    const char* stats = getenv("LUM_FAKE_DVB_STATS");
    d.relative = stats && strcmp(stats, "relative") == 0;
    for (uint64_t n : numbers(getenv("LUM_FAKE_DVB_STATUS_FAILURES"))) d.statusFailures = n;
    d.overflowAt = numbers(getenv("LUM_FAKE_DVB_OVERFLOW_AT"));
    d.start = nowNs();
    d.loss = readLossWindow(d.start);
    const char* served = getenv("LUM_FAKE_DVB_SERVED");
    d.servedLog = served ? served : "";
    const char* stream = getenv("LUM_FAKE_DVB_STREAM");
    if (d.kind != Kind::Dvr || !stream || !*stream) return;
    int fd = int(syscall(SYS_openat, AT_FDCWD, stream, O_RDONLY | O_CLOEXEC, 0));
    long size = fd < 0 ? -1 : syscall(SYS_lseek, fd, 0, SEEK_END);
    if (size > 0) d.stream = fd, d.size = uint64_t(size);
    else if (fd >= 0) syscall(SYS_close, fd);   // an empty stream: never readable
}

// After a successful open: ROOT/adapterN/kindM is a device, unless the test is making the file.
int registerIfFake(int fd, const char* path, int flags)
{
    std::string r = fd < 0 || !path || (flags & (O_CREAT | O_TRUNC)) ? "" : rootPath();
    Kind kind;
    if (r.empty() || strncmp(path, r.c_str(), r.size()) != 0 || path[r.size()] != '/' ||
        !parseName(path + r.size() + 1, kind))
        return fd;
    const char* rel = path + r.size() + 1;
    int saved = errno;
    Device* d = new Device();
    configure(*d, kind, rel);
    logLine(d->log, d->name, "open");
    Lock lock;
    if (!gDevices) gDevices = new std::map<int, Device*>();
    if (!std::exchange((*gDevices)[fd], d)) gFakeCount.fetch_add(1, std::memory_order_release);
    errno = saved;
    return fd;
}

void fillInfo(const Device& fe, struct dvb_frontend_info& info)
{
    memset(&info, 0, sizeof info);
    snprintf(info.name, sizeof info.name, "LUM fake frontend");
    uint32_t caps = FE_CAN_INVERSION_AUTO | FE_CAN_FEC_AUTO | FE_CAN_QAM_AUTO | FE_CAN_TRANSMISSION_MODE_AUTO |
                    FE_CAN_BANDWIDTH_AUTO | FE_CAN_GUARD_INTERVAL_AUTO | FE_CAN_HIERARCHY_AUTO | FE_CAN_QAM_16 |
                    FE_CAN_QAM_32 | FE_CAN_QAM_64 | FE_CAN_QAM_128 | FE_CAN_QAM_256 | FE_CAN_MULTISTREAM;
    for (uint32_t s : fe.systems)
        if (s == SYS_DVBT2 || s == SYS_DVBS2) caps |= FE_CAN_2G_MODULATION;
    info.caps = fe_caps(caps);
    Band band = bandOf(fe.systems.front());
    info.type = band == Band::Terrestrial ? FE_OFDM : band == Band::Cable ? FE_QAM : FE_QPSK;
    info.frequency_min = band == Band::Satellite ? kSatMin : kTerrMin;
    info.frequency_max = band == Band::Satellite ? kSatMax : kTerrMax;
    info.frequency_stepsize = band == Band::Terrestrial ? 166667 : band == Band::Cable ? 62500 : 1000;
    info.symbol_rate_min = band == Band::Terrestrial ? 0 : kSymMin;
    info.symbol_rate_max = band == Band::Terrestrial ? 0 : kSymMax;
}

bool isStat(uint32_t cmd) { return cmd >= DTV_STAT_SIGNAL_STRENGTH && cmd <= DTV_STAT_TOTAL_BLOCK_COUNT; }

void fillStat(const Device& fe, uint32_t cmd, struct dtv_fe_stats& st)
{
    memset(&st, 0, sizeof st);
    st.len = 1;
    struct dtv_stats& s = st.stat[0];
    bool relative = fe.relative, locked = fe.tuned && fe.locked && !fe.lost(nowNs());
    // Each step of the pre, post and block counters: errors, then the total.
    const uint64_t step[] = {210, 1000000, 21, 1000000, 3, 10000};
    s.scale = relative ? FE_SCALE_RELATIVE : FE_SCALE_DECIBEL;
    if (cmd == DTV_STAT_SIGNAL_STRENGTH && relative) s.uvalue = locked ? 51118 : 1966;
    else if (cmd == DTV_STAT_SIGNAL_STRENGTH) s.svalue = locked ? -45500 : -90000;
    else if (!locked) s.scale = FE_SCALE_NOT_AVAILABLE;
    else if (cmd == DTV_STAT_CNR && relative) s.uvalue = 39321;
    else if (cmd == DTV_STAT_CNR) s.svalue = 23500;
    else s.scale = FE_SCALE_COUNTER, s.uvalue = step[cmd - DTV_STAT_PRE_ERROR_BIT_COUNT] * fe.statReads;
}

bool badProperties(const dtv_properties* p) { return !p || !p->num || p->num > DTV_IOCTL_MAX_MSGS || !p->props; }

int getProperty(Device& fe, struct dtv_properties* props)
{
    if (badProperties(props)) return fail(EINVAL);
    // One read advances every counter once, however many it asks for, so ratios stay exact.
    for (uint32_t i = 0; i < props->num; ++i)
        if (props->props[i].cmd >= DTV_STAT_PRE_ERROR_BIT_COUNT && isStat(props->props[i].cmd)) {
            fe.statReads += fe.tuned && fe.locked;
            break;
        }
    for (uint32_t i = 0; i < props->num; ++i) {
        struct dtv_property& p = props->props[i];
        p.result = 0;
        if (p.cmd == DTV_API_VERSION) p.u.data = 0x050B;
        else if (p.cmd == DTV_DELIVERY_SYSTEM) p.u.data = fe.current;
        else if (p.cmd == DTV_ENUM_DELSYS) {
            memset(p.u.buffer.data, 0, sizeof p.u.buffer.data);
            p.u.buffer.len = uint32_t(std::min(fe.systems.size(), sizeof p.u.buffer.data));
            for (size_t j = 0; j < p.u.buffer.len; ++j) p.u.buffer.data[j] = uint8_t(fe.systems[j]);
        } else if (isStat(p.cmd)) {
            struct dtv_fe_stats st;
            fillStat(fe, p.cmd, st);
            memcpy(&p.u.st, &st, sizeof st);
        } else p.u.data = fe.values.count(p.cmd) ? fe.values[p.cmd] : 0;
    }
    return 0;
}

int setProperty(Device& fe, struct dtv_properties* props)
{
    std::string line = "FE_SET_PROPERTY";
    int err = badProperties(props) ? EINVAL : 0;
    for (uint32_t i = 0; !err && i < props->num; ++i)
        line += " " + propertyName(props->props[i].cmd) + "=" + std::to_string(props->props[i].u.data);
    for (uint32_t i = 0; !err && i < props->num; ++i) {
        struct dtv_property& p = props->props[i];
        uint32_t v = p.u.data;
        p.result = 0;
        if (p.cmd == DTV_DELIVERY_SYSTEM) {
            bool listed = std::find(fe.systems.begin(), fe.systems.end(), v) != fe.systems.end();
            err = listed ? 0 : EINVAL;
            fe.current = listed ? v : fe.current;
        } else if (p.cmd == DTV_TUNE) {
            uint32_t f = fe.values[DTV_FREQUENCY];
            bool satellite = bandOf(fe.current) == Band::Satellite;
            err = (satellite ? inRange(f, kSatMin, kSatMax) : inRange(f, kTerrMin, kTerrMax)) ? 0 : EINVAL;
            fe.tuned |= !err;
            fe.locked = err ? fe.locked : fe.lockAny || fe.lockAt.count(f) > 0;
            fe.statReads = err ? fe.statReads : 0;
        } else {
            fe.values[p.cmd] = v;
        }
    }
    logLine(fe.log, fe.name, line + (err ? std::string(" ") + strerrorname_np(err) : ""));
    return err ? fail(err) : 0;
}

// -2 for a call the device does not have.
int frontendIoctl(Device& fe, unsigned long request, void* arg)
{
    unsigned long v = reinterpret_cast<unsigned long>(arg);
    const auto* diseqc = static_cast<const struct dvb_diseqc_master_cmd*>(arg);
    std::string line;
    switch (request) {
    case FE_GET_INFO:
        fillInfo(fe, *static_cast<struct dvb_frontend_info*>(arg));
        return 0;
    case FE_GET_PROPERTY: return getProperty(fe, static_cast<struct dtv_properties*>(arg));
    case FE_SET_PROPERTY: return setProperty(fe, static_cast<struct dtv_properties*>(arg));
    case FE_READ_STATUS:
        if (fe.statusFailures > 0) {
            --fe.statusFailures;
            logLine(fe.log, fe.name, "FE_READ_STATUS EIO");
            return fail(EIO);
        }
        *static_cast<fe_status_t*>(arg) =
            fe_status_t(!fe.tuned ? 0 : fe.locked && !fe.lost(nowNs()) ? 0x1f : FE_HAS_SIGNAL);
        return 0;
    case FE_SET_VOLTAGE:
        line = std::string("FE_SET_VOLTAGE ") + (v == SEC_VOLTAGE_13 ? "13" : v == SEC_VOLTAGE_18 ? "18" : "OFF");
        break;
    case FE_SET_TONE: line = std::string("FE_SET_TONE ") + (v == SEC_TONE_ON ? "ON" : "OFF"); break;
    case FE_DISEQC_SEND_BURST: line = std::string("FE_DISEQC_SEND_BURST ") + (v == SEC_MINI_A ? "A" : "B"); break;
    case FE_DISEQC_SEND_MASTER_CMD:
        line = "FE_DISEQC_SEND_MASTER_CMD";
        for (unsigned i = 0; i < diseqc->msg_len && i < sizeof diseqc->msg; ++i) {
            char hex[12];
            snprintf(hex, sizeof hex, " %02x", diseqc->msg[i]);
            line += hex;
        }
        break;
    default: return -2;
    }
    logLine(fe.log, fe.name, line);
    return 0;
}

int demuxIoctl(Device& d, unsigned long request, void* arg)
{
    char buf[128];
    const auto* f = static_cast<const struct dmx_pes_filter_params*>(arg);
    if (request == DMX_SET_BUFFER_SIZE)
        snprintf(buf, sizeof buf, "DMX_SET_BUFFER_SIZE %lu", reinterpret_cast<unsigned long>(arg));
    else if (d.kind == Kind::Dvr || (request != DMX_STOP && request != DMX_SET_PES_FILTER)) return -2;
    else if (request == DMX_STOP) snprintf(buf, sizeof buf, "DMX_STOP");
    else
        snprintf(buf, sizeof buf, "DMX_SET_PES_FILTER pid=%u input=%u output=%u pes_type=%u flags=%u",
                 unsigned(f->pid), unsigned(f->input), unsigned(f->output), unsigned(f->pes_type), f->flags);
    logLine(d.log, d.name, buf);
    return 0;
}

// Whole packets due since the dvr was opened.
uint64_t dueBytes(const Device& d, int64_t now)
{
    unsigned __int128 bits = (unsigned __int128)uint64_t(now - d.start) * kBitrate;
    return d.stream < 0 ? 0 : uint64_t(bits / 8000000000ull) / kPacket * kPacket;
}

// When the packet after those served falls due; -1 for never.
int64_t nextDueNs(const Device& d)
{
    unsigned __int128 want = (d.served / kPacket + 1) * kPacket;
    return d.stream < 0 ? -1 : d.start + int64_t((want * 8000000000ull + kBitrate - 1) / kBitrate);
}

// One read as read() does it, or, when nothing is due yet, *wait = when to look again: a read,
// even a non-blocking one, waits for the next packet, so that the count of reads, which
// overflows go by, does not depend on a reader's timing.
ssize_t dvrReadLocked(Device& d, char* buf, size_t count, int64_t* wait)
{
    int64_t now = nowNs();
    if (d.loss.from >= 0 && now >= d.loss.from)   // what fell due without lock is gone
        d.served = std::max(d.served, dueBytes(d, std::max(d.start, std::min(now, d.loss.to))));
    if (d.lost(now)) return fail(EAGAIN);   // as a driver without lock: nothing, at once
    uint64_t due = dueBytes(d, now), done = 0, n = std::min<uint64_t>(due - std::min(due, d.served), count);
    if (d.overflowAt.count(d.reads + 1)) {
        ++d.reads;
        d.served = std::max(d.served, due);
        logLine(d.log, d.name, "EOVERFLOW");
        return fail(EOVERFLOW);
    }
    if (n == 0) return *wait = d.stream < 0 ? now + 1000000000 : nextDueNs(d), -1;
    ++d.reads;
    for (long r = 1; done < n && r > 0; done += r > 0 ? uint64_t(r) : 0) {
        uint64_t off = (d.served + done) % d.size;
        r = syscall(SYS_pread64, d.stream, buf + done, std::min(n - done, d.size - off), off_t(off));
    }
    if (done == 0) return fail(EIO);
    if (!d.servedLog.empty()) {
        long fd = syscall(SYS_openat, AT_FDCWD, d.servedLog.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) syscall(SYS_write, fd, buf, done), syscall(SYS_close, fd);
    }
    d.served += done;
    return ssize_t(done);
}

ssize_t doRead(int fd, void* buf, size_t count)
{
    for (int64_t wait = 0; mayBeFake(fd); sleepUntilNs(wait)) {
        Lock lock;
        Device* d = findLocked(fd);
        if (!d) break;
        if (d->kind != Kind::Dvr) return fail(EINVAL); // no test reads sections from a demux
        if (count == 0) return 0;
        wait = 0;
        ssize_t r = dvrReadLocked(*d, static_cast<char*>(buf), count, &wait);
        if (!wait) return r;
    }
    return syscall(SYS_read, fd, buf, count);
}

// A set holding a fake descriptor is all fake: a dvr with a stream is always readable (its
// read waits for the packet due next), the rest never.
int doPoll(struct pollfd* fds, nfds_t nfds, int timeout)
{
    int fake = 0, ready = 0;
    if (fds && gFakeCount.load(std::memory_order_acquire) > 0) {
        Lock lock;
        for (nfds_t i = 0; i < nfds; ++i) {
            Device* d = findLocked(fds[i].fd);
            fake += d != nullptr;
            bool readable = d && d->kind == Kind::Dvr && d->stream >= 0 && !d->lost(nowNs());
            fds[i].revents = readable ? short(fds[i].events & (POLLIN | POLLRDNORM)) : 0;
            ready += fds[i].revents != 0;
        }
    }
    if (!fake) {
        struct timespec ts = {timeout / 1000, (timeout % 1000) * 1000000L};
        return int(syscall(SYS_ppoll, fds, nfds, timeout < 0 ? nullptr : &ts, nullptr, 8));
    }
    while (!ready && timeout < 0) sleepUntilNs(nowNs() + 1000000000);   // never readable: for ever, as the kernel
    if (!ready) sleepUntilNs(nowNs() + int64_t(timeout) * 1000000);
    return ready;
}

int doIoctl(int fd, unsigned long request, void* arg)
{
    if (mayBeFake(fd)) {
        Lock lock;
        if (Device* d = findLocked(fd)) {
            int r = d->kind == Kind::Frontend ? frontendIoctl(*d, request, arg) : demuxIoctl(*d, request, arg);
            if (r != -2) return r;
            char buf[64];
            snprintf(buf, sizeof buf, "ioctl 0x%lx ENOTTY", request);
            logLine(d->log, d->name, buf);
            return fail(ENOTTY);
        }
    }
    return int(syscall(SYS_ioctl, fd, request, arg));
}

int doClose(int fd)
{
    Device* d = nullptr;
    if (mayBeFake(fd)) {
        Lock lock;
        if ((d = findLocked(fd)) != nullptr) gDevices->erase(fd), gFakeCount.fetch_sub(1, std::memory_order_release);
    }
    if (d) logLine(d->log, d->name, "close");
    if (d && d->stream >= 0) syscall(SYS_close, d->stream);
    delete d;
    return int(syscall(SYS_close, fd));
}

int doOpen(const char* p, int flags, mode_t mode)
{
    return registerIfFake(int(syscall(SYS_openat, AT_FDCWD, p, flags, mode)), p, flags);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(ap, int)) : 0;
    va_end(ap);
    return doOpen(path, flags, mode);
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
int __open64_2(const char* path, int flags) { return doOpen(path, flags, 0); }   // libdvbv5's
int close(int fd) { return doClose(fd); }
ssize_t read(int fd, void* buf, size_t count) { return doRead(fd, buf, count); }
int poll(struct pollfd* fds, nfds_t nfds, int timeout) { return doPoll(fds, nfds, timeout); }

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return doIoctl(fd, request, arg);
}

} // extern "C"
