#!/usr/bin/env python3
"""Independent transport stream analyser, following docs/analysis.md.

Usage: ts_analysis.py FILE [--ffprobe]
Prints the figures as JSON; with --ffprobe, also compares the PES figures with
FFmpeg's reading and exits 1 on any difference.
"""
import json
import subprocess
import sys

PCR_WRAP = (1 << 33) * 300
MS = 27000                         # ticks per millisecond
NO_PES_HEADER = {0xBC, 0xBE, 0xBF, 0xF0, 0xF1, 0xF2, 0xF8, 0xFF}
SECTION_TYPES = {0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x86}
INDICATORS = ["TS_sync_loss", "Sync_byte_error", "PAT_error", "Continuity_count_error",
              "PMT_error", "PID_error", "Transport_error", "CRC_error",
              "PCR_repetition_error", "PCR_discontinuity_indicator_error",
              "PCR_accuracy_error", "PTS_error", "CAT_error"]


def _crc_table():
    table = []
    for n in range(256):
        c = n << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) if c & 0x80000000 else c << 1
        table.append(c & 0xFFFFFFFF)
    return table


CRC_TABLE = _crc_table()


def crc32_mpeg(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ CRC_TABLE[(crc >> 24) ^ b]
    return crc


def read_ts_time(b):
    return (((b[0] >> 1) & 7) << 30) | (b[1] << 22) | ((b[2] >> 1) << 15) | (b[3] << 7) | (b[4] >> 1)


class Pid:
    def __init__(self, pid):
        self.pid = pid
        self.c = dict(packets=0, af=0, pcr=0, pts=0, dts=0, discontinuities=0, duplicated=0,
                      unit_start=0, pes=0, invalid_pes_prefix=0, scrambled=0)
        self.first = dict(pcr=None, pts=None, dts=None)
        self.last = dict(pcr=None, pts=None, dts=None)
        self.cc = None             # last counter
        self.repeat = False        # the packet before was a duplicate
        self.pcr_pkt = None
        self.ticks = 0             # summed PCR ticks and packets, the PID's rate
        self.npkts = 0
        self.section = None        # section bytes being collected
        self.pts_time = None       # stream time of the last timed PTS

    def note(self, what, value):
        self.c[what] += 1
        if self.first[what] is None:
            self.first[what] = value
        self.last[what] = value


class Watch:
    """A gap watch: 'last' is the stream time what is watched last came."""
    def __init__(self, name, limit, last):
        self.name, self.limit, self.last, self.counted = name, limit, last, False


class Analyser:
    def __init__(self):
        self.n = 0
        self.invalid = self.tei = 0
        self.bad_run = self.good_run = 0
        self.sync_lost = False
        self.pids = {}
        self.tables = {}
        self.ind = {k: [0, None] for k in INDICATORS}
        self.tsid = None
        self.pat = {}              # section_number -> {program: pmt pid}, current version
        self.pat_version = None
        self.pmt_es = {}           # (pmt pid, program) -> {es pid: stream_type}
        self.ref = None            # reference PID
        self.ref_time = self.ref_pkt = None
        self.cat_seen = False
        self.pat_watch = None
        self.pmt_watch = {}
        self.es_watch = {}

    def flag(self, name, i):
        self.ind[name][0] += 1
        if self.ind[name][1] is None:
            self.ind[name][1] = i

    # --- the stream's time ---
    def rate_ticks(self, packets):
        r = self.pids[self.ref]
        return packets * r.ticks // r.npkts if r.npkts else 0

    def time_of(self, i):
        if self.ref_time is None:
            return None
        return self.ref_time + self.rate_ticks(i - self.ref_pkt)

    def arrive(self, w, i, t):
        if w is None or t is None:
            return
        if t - w.last > w.limit and not w.counted:
            self.flag(w.name, i)
        w.last, w.counted = t, False

    def check(self, w, i, t):
        if not w.counted and t - w.last > w.limit:
            w.counted = True
            self.flag(w.name, i)

    # --- program structure ---
    def pmt_pids(self):
        return {p for sec in self.pat.values() for p in sec.values()}

    def es_types(self):
        return {e: st for es in self.pmt_es.values() for e, st in es.items()}

    def sync_watches(self, watches, wanted, name, limit, t):
        for p in list(watches):
            if p not in wanted:
                del watches[p]
        for p in wanted:
            if p not in watches:
                # named before the stream has time: watched from its start
                watches[p] = Watch(name, limit, 0 if t is None else t)

    # --- packets ---
    def packet(self, pkt):
        i = self.n
        self.n += 1
        if pkt[0] != 0x47:
            self.invalid += 1
            self.flag("Sync_byte_error", i)
            self.good_run = 0
            self.bad_run += 1
            if self.bad_run >= 2 and not self.sync_lost:
                self.sync_lost = True
                self.flag("TS_sync_loss", i)
            return
        self.bad_run = 0
        self.good_run += 1
        if self.sync_lost and self.good_run >= 5:
            self.sync_lost = False
        pid = ((pkt[1] & 0x1F) << 8) | pkt[2]
        p = self.pids.get(pid) or self.pids.setdefault(pid, Pid(pid))
        p.c["packets"] += 1
        afc = (pkt[3] >> 4) & 3
        cc = pkt[3] & 0x0F
        if pkt[1] & 0x80:
            self.tei += 1
            self.flag("Transport_error", i)
            p.cc, p.repeat, p.section = cc, False, None
            return
        # adaptation field
        disc, pcr, pos = False, None, 4
        if afc in (2, 3):
            alen = pkt[4]
            pos = 5 + alen
            if 1 <= alen <= 183:
                disc = bool(pkt[5] & 0x80)
                if pkt[5] & 0x10 and alen >= 7:
                    b = pkt[6:12]
                    base = (b[0] << 25) | (b[1] << 17) | (b[2] << 9) | (b[3] << 1) | (b[4] >> 7)
                    pcr = base * 300 + (((b[4] & 1) << 8) | b[5])
        # continuity
        jump = False               # a counter other than the last plus one, announced or not
        if pid != 0x1FFF and afc in (1, 3):
            if p.cc is not None and not disc and cc == p.cc and not p.repeat:
                p.c["duplicated"] += 1
                p.repeat = True
                return
            jump = p.cc is not None and cc != (p.cc + 1) & 15
            if jump and not disc:
                p.c["discontinuities"] += 1
                self.flag("Continuity_count_error", i)
            p.cc, p.repeat = cc, False
        if afc in (2, 3):
            p.c["af"] += 1
        pusi = bool(pkt[1] & 0x40)
        scrambled = (pkt[3] >> 6) != 0
        if pusi:
            p.c["unit_start"] += 1
        if scrambled:
            p.c["scrambled"] += 1
        if pcr is not None:
            self.pcr(p, i, pcr, disc)
        t = self.time_of(i)
        # what is watched
        pmts = self.pmt_pids()
        if scrambled:
            if pid == 0:
                self.flag("PAT_error", i)
            if pid in pmts:
                self.flag("PMT_error", i)
            if not self.cat_seen:
                self.flag("CAT_error", i)
        # elementary streams are timed by the last reference PCR alone
        self.arrive(self.es_watch.get(pid), i, self.ref_time)
        payload = pkt[pos:] if afc in (1, 3) and pos < 188 else b""
        if pid <= 0x1F or pid in pmts:
            if jump:
                p.section = None
            self.collect(p, i, t, payload, pusi)
        elif pid != 0x1FFF and pusi and payload and self.es_types().get(pid) not in SECTION_TYPES:
            self.pes(p, i, t, payload)
        if pcr is not None and pid == self.ref:
            self.check(self.pat_watch, i, t)
            for w in list(self.pmt_watch.values()) + list(self.es_watch.values()):
                self.check(w, i, t)

    def pcr(self, p, i, pcr, disc):
        prev, prev_pkt = p.last["pcr"], p.pcr_pkt
        p.note("pcr", pcr)
        p.pcr_pkt = i
        if self.ref is None:
            self.ref, self.ref_time, self.ref_pkt = p.pid, 0, i
            self.pat_watch = Watch("PAT_error", 500 * MS, 0)
            return
        if prev is None:
            return
        delta, packets = (pcr - prev) % PCR_WRAP, i - prev_pkt
        if not disc:
            self.pcr_checks(p, i, delta, packets)
        if p.pid == self.ref:
            self.ref_time += delta if not disc and delta <= 1000 * MS else self.rate_ticks(packets)
            self.ref_pkt = i

    def pcr_checks(self, p, i, delta, packets):
        if delta > 40 * MS:
            self.flag("PCR_repetition_error", i)
        if delta > 100 * MS:
            self.flag("PCR_discontinuity_indicator_error", i)
        # |delta - packets*ticks/npkts| > 13.5, kept exact in integers
        if p.npkts and 2 * abs(delta * p.npkts - packets * p.ticks) > 27 * p.npkts:
            self.flag("PCR_accuracy_error", i)
        if delta <= 100 * MS:
            p.ticks += delta
            p.npkts += packets

    def pes(self, p, i, t, pl):
        if pl[:3] != b"\x00\x00\x01":
            if p.pid in self.es_types():
                p.c["invalid_pes_prefix"] += 1
            return
        p.c["pes"] += 1
        if len(pl) < 9 or pl[3] in NO_PES_HEADER or pl[6] >> 6 != 2:
            return
        flags = pl[7] >> 6
        if flags in (2, 3) and len(pl) >= 14:
            p.note("pts", read_ts_time(pl[9:14]))
            if t is not None:
                if p.pts_time is not None and t - p.pts_time > 700 * MS:
                    self.flag("PTS_error", i)
                p.pts_time = t
        if flags == 3 and len(pl) >= 19:
            p.note("dts", read_ts_time(pl[14:19]))

    # --- sections ---
    def collect(self, p, i, t, pl, pusi):
        if not pl or (not pusi and p.section is None):
            return
        if pusi:
            ptr = pl[0]
            if p.section is not None:
                p.section += pl[1:1 + ptr]     # the end of the section before
                self.sections(p, i, t)
            # an unfinished section is dropped where a new one starts
            p.section = bytearray(pl[1 + ptr:]) if 1 + ptr < len(pl) else None
        else:
            p.section += pl
        self.sections(p, i, t)

    def sections(self, p, i, t):
        buf = p.section
        while buf is not None and len(buf) >= 3:
            if buf[0] == 0xFF:
                buf = None
                break
            total = 3 + (((buf[1] & 0x0F) << 8) | buf[2])
            if total > 4096:
                buf = None
                break
            if len(buf) < total:
                break
            self.section(p.pid, i, t, bytes(buf[:total]))
            buf = buf[total:]
        p.section = buf

    def section(self, pid, i, t, s):
        tid, long_form = s[0], bool(s[1] & 0x80)
        if long_form or tid == 0x73:
            if len(s) < (12 if long_form else 7) or crc32_mpeg(s) != 0:
                self.flag("CRC_error", i)
                return
        if long_form:
            ext, version, num, last = (s[3] << 8) | s[4], (s[5] >> 1) & 31, s[6], s[7]
        else:
            ext, version, num, last = 0, None, 0, 0
        key = (pid, tid, ext)
        e = self.tables.get(key)
        if e is None:
            e = self.tables[key] = dict(sections=0, tables=0, versions=0, first=None, last=None,
                                        pkt=[], ms=[], at=None)
        e["sections"] += 1
        if num == last:
            e["tables"] += 1
        if version is not None:
            if e["sections"] == 1 or version != e["last"]:
                e["versions"] += 1
            if e["first"] is None:
                e["first"] = version
            e["last"] = version
        if num == 0:
            if e["at"] is not None:
                pi, pt = e["at"]
                e["pkt"].append(i - pi)
                if pt is not None and t is not None:
                    e["ms"].append(t - pt)
            e["at"] = (i, t)
        if pid == 0:
            if tid != 0x00:
                self.flag("PAT_error", i)
            else:
                self.arrive(self.pat_watch, i, t)
                self.read_pat(s, t)
        elif pid == 1:
            if tid != 0x01:
                self.flag("CAT_error", i)
            else:
                self.cat_seen = True
        if tid == 0x02 and pid in self.pmt_pids():
            self.arrive(self.pmt_watch.get(pid), i, t)
            self.read_pmt(pid, s, t)

    def read_pat(self, s, t):
        if not s[1] & 0x80:
            return
        self.tsid = (s[3] << 8) | s[4]
        version = (s[5] >> 1) & 31
        if version != self.pat_version:
            self.pat, self.pat_version = {}, version
        progs = {}
        for k in range(8, len(s) - 4 - 3, 4):
            prog, pmt = (s[k] << 8) | s[k + 1], ((s[k + 2] & 0x1F) << 8) | s[k + 3]
            if prog != 0:
                progs[prog] = pmt
        self.pat[s[6]] = progs
        named = {(pmt, prog) for sec in self.pat.values() for prog, pmt in sec.items()}
        for key in list(self.pmt_es):
            if key not in named:
                del self.pmt_es[key]
        pmts = self.pmt_pids()
        self.sync_watches(self.pmt_watch, pmts, "PMT_error", 500 * MS, t)
        self.sync_watches(self.es_watch, self.es_types(), "PID_error", 5000 * MS,
                          self.ref_time)

    def read_pmt(self, pid, s, t):
        if not s[1] & 0x80 or len(s) < 16:
            return
        k = 12 + (((s[10] & 0x0F) << 8) | s[11])
        es = {}
        while k + 5 <= len(s) - 4:
            es[((s[k + 1] & 0x1F) << 8) | s[k + 2]] = s[k]
            k += 5 + (((s[k + 3] & 0x0F) << 8) | s[k + 4])
        program = (s[3] << 8) | s[4]
        if not any(sec.get(program) == pid for sec in self.pat.values()):
            return              # a program map the PAT does not name there
        self.pmt_es[(pid, program)] = es
        self.sync_watches(self.es_watch, self.es_types(), "PID_error", 5000 * MS,
                          self.ref_time)

    # --- the report ---
    def report(self):
        bitrate = None
        if self.ref is not None and self.pids[self.ref].ticks:
            r = self.pids[self.ref]
            bitrate = r.npkts * 188 * 8 * 27000000 / r.ticks
        pids = []
        for pid in sorted(self.pids):
            p = self.pids[pid]
            d = {"pid": pid, **p.c}
            for w in ("pcr", "pts", "dts"):
                d["first_" + w], d["last_" + w] = p.first[w], p.last[w]
            d["bitrate"] = bitrate * p.c["packets"] / self.n if bitrate else None
            pids.append(d)

        def stats(v, scale):
            if not v:
                return None
            lo, hi = min(v), max(v)
            if scale != 1:
                lo, hi = lo / scale, hi / scale
            return {"mean": sum(v) / len(v) / scale, "min": lo, "max": hi}
        tables = []
        for (pid, tid, ext) in sorted(self.tables):
            e = self.tables[(pid, tid, ext)]
            tables.append({"pid": pid, "table_id": tid, "table_id_ext": ext,
                           "sections": e["sections"], "tables": e["tables"],
                           "versions": e["versions"], "first_version": e["first"],
                           "last_version": e["last"], "repetition_pkt": stats(e["pkt"], 1),
                           "repetition_ms": stats(e["ms"], MS)})
        return {"ts": {"id": self.tsid, "packets": self.n, "bytes": self.n * 188,
                       "invalid_syncs": self.invalid, "transport_errors": self.tei,
                       "bitrate": bitrate,
                       "duration": self.n * 188 * 8 / bitrate if bitrate else None},
                "pids": pids, "tables": tables,
                "tr101290": {k: {"count": c, "first_packet": f} for k, (c, f) in self.ind.items()}}


def analyse(path):
    a = Analyser()
    with open(path, "rb") as f:
        data = f.read()
    for k in range(0, len(data) - 187, 188):
        a.packet(data[k:k + 188])
    return a.report()


def ffprobe_check(path, rep):
    """Compares pes, pts count, first and last pts of each PID FFmpeg demuxes."""
    cmd = ["ffprobe", "-v", "error", "-fflags", "+nofillin+noparse", "-show_streams",
           "-show_packets", "-show_entries", "packet=stream_index,pts,dts,flags:stream=index,id",
           "-of", "json", path]
    out = json.loads(subprocess.run(cmd, capture_output=True, check=True, text=True).stdout)
    pid_of = {s["index"]: int(s["id"], 16) for s in out.get("streams", []) if "id" in s}
    seen = {}
    for pk in out.get("packets", []):
        pts = pk.get("pts")
        e = seen.setdefault(pid_of[pk["stream_index"]], [0, []])
        e[0] += 1
        if pts is not None:
            e[1].append(pts % (1 << 33))    # FFmpeg unwraps; the stream does not
    mine = {p["pid"]: p for p in rep["pids"]}
    bad = 0
    for pid, (n, pts) in sorted(seen.items()):
        if pid <= 0x1F:
            continue                        # FFmpeg's EPG stream: sections, not PES
        p = mine.get(pid, {})
        theirs = {"pes": n, "pts": len(pts), "first_pts": pts[0] if pts else None,
                  "last_pts": pts[-1] if pts else None}
        for k, v in theirs.items():
            if p.get(k) != v:
                bad += 1
                print("%s pid 0x%04x %s: ours %s, ffprobe %s" % (path, pid, k, p.get(k), v),
                      file=sys.stderr)
    return bad == 0


def main():
    args = [a for a in sys.argv[1:] if a != "--ffprobe"]
    if len(args) != 1:
        sys.exit("usage: ts_analysis.py FILE [--ffprobe]")
    rep = analyse(args[0])
    json.dump(rep, sys.stdout, indent=1)
    print()
    if "--ffprobe" in sys.argv and not ffprobe_check(args[0], rep):
        sys.exit(1)


if __name__ == "__main__":
    main()
