#!/usr/bin/env python3
"""Writes into OUTDIR a clean constant-bitrate stream made by FFmpeg, variants of it with one
fault each, and faults.json: the indicators each file must give.

Usage: make_faults.py OUTDIR [--check]   (needs python3 and ffmpeg)
--check: then runs ts_analysis.py on each file and fails on any difference from faults.json.
"""
import json
import os
import subprocess
import sys

MUXRATE = 600000
TICKS_PER_PACKET = 188 * 8 * 27000000 // MUXRATE      # exact at this rate: 67680
NULL = bytes([0x47, 0x1F, 0xFF, 0x10]) + b"\xff" * 184

FFMPEG = ["ffmpeg", "-nostdin", "-y", "-v", "error", "-threads", "1", "-filter_threads", "1",
          "-f", "lavfi", "-i", "testsrc=size=160x90:rate=25:duration=4",
          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=4",
          "-map", "0:v", "-map", "1:a",
          "-c:v", "mpeg2video", "-g", "12", "-b:v", "200k", "-c:a", "mp2", "-b:a", "64k",
          "-threads", "1", "-fflags", "+bitexact", "-flags", "+bitexact",
          "-flags:v", "+bitexact", "-flags:a", "+bitexact",
          "-f", "mpegts", "-muxrate", str(MUXRATE), "-pcr_period", "20",
          "-pat_period", "0.1", "-sdt_period", "0.5"]


def pid_of(p):
    return ((p[1] & 0x1F) << 8) | p[2]


def pusi(p):
    return bool(p[1] & 0x40)


def afc(p):
    return (p[3] >> 4) & 3


def pcr_of(p):
    if afc(p) in (2, 3) and p[4] >= 7 and p[5] & 0x10:
        b = p[6:12]
        return ((b[0] << 25) | (b[1] << 17) | (b[2] << 9) | (b[3] << 1) | (b[4] >> 7)) * 300 \
            + (((b[4] & 1) << 8) | b[5])
    return None


def section_at(p):
    """The section a unit-start packet without adaptation field begins, and where."""
    start = 5 + p[4]
    return start, p[start:start + 3 + (((p[start + 1] & 0x0F) << 8) | p[start + 2])]


def structure(pkts):
    """PMT PID, PCR PID and video PID, from the first PAT and PMT."""
    _, pat = section_at(next(p for p in pkts if pid_of(p) == 0 and pusi(p)))
    pmt_pid = ((pat[10] & 0x1F) << 8) | pat[11]
    _, pmt = section_at(next(p for p in pkts if pid_of(p) == pmt_pid and pusi(p)))
    pcr_pid = ((pmt[8] & 0x1F) << 8) | pmt[9]
    k = 12 + (((pmt[10] & 0x0F) << 8) | pmt[11])
    video = None
    while k + 5 <= len(pmt) - 4:
        if pmt[k] == 0x02:
            video = ((pmt[k + 1] & 0x1F) << 8) | pmt[k + 2]
        k += 5 + (((pmt[k + 3] & 0x0F) << 8) | pmt[k + 4])
    return pmt_pid, pcr_pid, video


def check(out, faults):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from ts_analysis import analyse
    bad = 0
    for name, want in faults.items():
        rep = analyse(os.path.join(out, name))
        fault = want.get("fault", {})
        for ind, got in rep["tr101290"].items():
            first = fault.get("first_packet", {}).get(ind, got["first_packet"])
            if got["count"] != want.get(ind, 0) or got["first_packet"] != first:
                bad += 1
                print("%s %s: %s, want %s at %s" % (name, ind, got, want.get(ind, 0), first))
        pid = next((p for p in rep["pids"] if p["pid"] == fault.get("pid")), {})
        for k, v in fault.get("pid_counts", {}).items():
            if pid.get(k) != v:
                bad += 1
                print("%s pid %s %s: %s, want %s" % (name, fault["pid"], k, pid.get(k), v))
    print("faults: %s" % ("all as declared" if not bad else "%d differences" % bad))
    return bad == 0


def main():
    args = [a for a in sys.argv[1:] if a != "--check"]
    if len(args) != 1:
        sys.exit("usage: make_faults.py OUTDIR [--check]")
    out = args[0]
    os.makedirs(out, exist_ok=True)
    subprocess.run(FFMPEG + [os.path.join(out, "clean.ts")], check=True)
    data = open(os.path.join(out, "clean.ts"), "rb").read()
    base = [data[k:k + 188] for k in range(0, len(data), 188)]
    pmt_pid, pcr_pid, video = structure(base)
    mid = len(base) // 2
    pcrs = [i for i, p in enumerate(base) if pid_of(p) == pcr_pid and pcr_of(p) is not None]
    # the stream time of a packet is then (its number - the first PCR's) * TICKS_PER_PACKET
    assert all(pcr_of(base[i]) - pcr_of(base[pcrs[0]]) == (i - pcrs[0]) * TICKS_PER_PACKET
               for i in pcrs), "FFmpeg's PCRs are not at a constant rate"

    def plain_video(start):
        """A video packet from start on: payload only, so no PCR and no unit start."""
        return next(i for i in range(start, len(base))
                    if pid_of(base[i]) == video and not pusi(base[i]) and afc(base[i]) == 1)

    def next_on(pid, i):
        return next(j for j in range(i + 1, len(base)) if pid_of(base[j]) == pid)

    variants, faults = {}, {"clean.ts": {}}

    k = plain_video(mid)
    variants["drop.ts"] = {k: NULL}
    faults["drop.ts"] = {"Continuity_count_error": 1, "fault": {
        "what": "video packet replaced by a null packet", "pid": video, "packet": k,
        "first_packet": {"Continuity_count_error": next_on(video, k)},
        "pid_counts": {"discontinuities": 1}}}

    # a video packet with a null packet after it, before the next video packet
    k = mid
    while True:
        k = next(i for i in range(k + 1, len(base)) if pid_of(base[i]) == video and afc(
            base[i]) in (1, 3) and not pusi(base[i]) and pcr_of(base[i]) is None)
        j = next((j for j in range(k + 1, next_on(video, k)) if pid_of(base[j]) == 0x1FFF), None)
        if j is not None:
            break
    variants["duplicate.ts"] = {j: base[k]}
    faults["duplicate.ts"] = {"fault": {
        "what": "null packet replaced by a copy of video packet %d" % k, "pid": video,
        "packet": j, "first_packet": {}, "pid_counts": {"duplicated": 1}}}

    k = plain_video(mid)
    variants["tei.ts"] = {k: bytes([base[k][0], base[k][1] | 0x80]) + base[k][2:]}
    faults["tei.ts"] = {"Transport_error": 1, "fault": {
        "what": "transport_error_indicator set", "pid": video, "packet": k,
        "first_packet": {"Transport_error": k}, "pid_counts": {}}}

    k = next(i for i in range(mid, len(base)) if pid_of(base[i]) == pmt_pid and pusi(base[i]))
    start, sec = section_at(base[k])
    assert afc(base[k]) == 1 and start + len(sec) <= 188 and len(sec) > 14
    at = start + 9                                     # the PCR_PID's low byte: in the body
    p = bytearray(base[k])
    p[at] ^= 0x01
    variants["pmt_crc.ts"] = {k: bytes(p)}
    faults["pmt_crc.ts"] = {"CRC_error": 1, "fault": {
        "what": "byte %d of a PMT section flipped" % (at - start), "pid": pmt_pid, "packet": k,
        "first_packet": {"CRC_error": k}, "pid_counts": {}}}

    n = next(n for n, i in enumerate(pcrs) if i >= mid)
    cleared, after = pcrs[n:n + 3], pcrs[n + 3]
    gap = pcr_of(base[after]) - pcr_of(base[pcrs[n - 1]])
    assert 40 * 27000 < gap <= 100 * 27000, gap
    variants["pcr_gap.ts"] = {}
    for i in cleared:
        p = bytearray(base[i])
        p[5] &= ~0x10
        p[6:12] = b"\xff" * 6                          # the PCR's bytes become stuffing
        variants["pcr_gap.ts"][i] = bytes(p)
    faults["pcr_gap.ts"] = {"PCR_repetition_error": 1, "fault": {
        "what": "PCR_flag cleared on packets %s, a gap of %.2f ms" % (cleared, gap / 27000),
        "pid": pcr_pid, "packet": cleared[0],
        "first_packet": {"PCR_repetition_error": after}, "pid_counts": {}}}

    # every PAT packet of one second, and the later PAT counters moved back to close the gap
    second = MUXRATE // (188 * 8) + 1
    pats = [i for i, p in enumerate(base) if pid_of(p) == 0]
    gone = [i for i in pats if mid <= i < mid + second]
    last = max(i for i in pats if i < mid)
    variants["pat_gap.ts"] = {i: NULL for i in gone}
    for i in pats:
        if i >= mid + second:
            p = base[i]
            cc = (p[3] - len(gone)) & 0x0F
            variants["pat_gap.ts"][i] = p[:3] + bytes([(p[3] & 0xF0) | cc]) + p[4:]
    # the limit passes at the first reference PCR more than 0.5 s after the last PAT
    limit = next(i for i in pcrs if (i - last) * TICKS_PER_PACKET > 500 * 27000)
    faults["pat_gap.ts"] = {"PAT_error": 1, "fault": {
        "what": "PAT packets %d to %d replaced by null packets" % (gone[0], gone[-1]), "pid": 0,
        "packet": gone[0], "first_packet": {"PAT_error": limit}, "pid_counts": {}}}

    for name, changes in variants.items():
        pkts = list(base)
        for i, p in changes.items():
            pkts[i] = p
        with open(os.path.join(out, name), "wb") as f:
            f.write(b"".join(pkts))
    with open(os.path.join(out, "faults.json"), "w") as f:
        json.dump(faults, f, indent=1)
        f.write("\n")
    if "--check" in sys.argv and not check(out, faults):
        sys.exit(1)


if __name__ == "__main__":
    main()
