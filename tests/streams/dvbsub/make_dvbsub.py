#!/usr/bin/env python3
"""Makes dvbsub.ts: 1280x720 MPEG-2 video, sound in German and French, DVB subtitles in
German and French (for the hard of hearing), each on a PID of its own, and the teletext of
../teletext/teletext.ts. FFmpeg's dvbsub encoder encodes the subtitles from bitmap
subtitles this script draws as PGS (.sup), the one bitmap format FFmpeg reads that a script
can write; at 1280x720 it writes a display definition segment. Cue times go to dvbsub.json beside it.

usage: make_dvbsub.py OUTDIR
"""
import json
import os
import struct
import subprocess
import sys

WIDTH, HEIGHT = 1280, 720
TELETEXT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "teletext", "teletext.ts")
SECONDS = 6

# palette entries: (Y, Cr, Cb, alpha); 0 is transparent
PALETTE = [(16, 128, 128, 0), (235, 128, 128, 255), (81, 240, 90, 255), (41, 110, 240, 255), (16, 128, 128, 255)]

# (start s, end s, x, y, width, height, colour); each cue is replaced by the next when they
# meet and cleared when they do not
CUES = {
    "deu": [(0.6, 2.0, 340, 600, 600, 80, 1), (2.4, 3.6, 100, 520, 400, 120, 2), (3.6, 5.0, 700, 60, 480, 60, 3)],
    "fra": [(1.0, 2.8, 440, 620, 400, 60, 2), (3.2, 4.6, 200, 80, 880, 100, 1)],
}


def rle_row(pixels):
    """One row in PGS run-length code, ended by its end-of-line mark."""
    out = bytearray()
    i = 0
    while i < len(pixels):
        colour = pixels[i]
        run = 1
        while i + run < len(pixels) and pixels[i + run] == colour and run < 16383:
            run += 1
        if colour != 0 and run < 3:
            out += bytes([colour]) * run
        elif colour == 0:
            out += bytes([0, run]) if run < 64 else bytes([0, 0x40 | run >> 8, run & 0xFF])
        else:
            out += bytes([0, 0x80 | run, colour]) if run < 64 else bytes([0, 0xC0 | run >> 8, run & 0xFF, colour])
        i += run
    return bytes(out + b"\0\0")


def bitmap(width, height, colour):
    """A box with a black border and stripes in it, like a line of text: edges to compare."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if x < 4 or y < 4 or x >= width - 4 or y >= height - 4:
                row.append(4)
            elif (x // 12) % 3 == 0 and 12 <= y < height - 12:
                row.append(0)   # a see-through gap between the "letters"
            else:
                row.append(colour)
        rows.append(rle_row(row))
    return b"".join(rows)


def segment(pts, kind, payload):
    return b"PG" + struct.pack(">IIBH", pts, pts, kind, len(payload)) + payload


def display_set(pts, number, cue):
    pcs = struct.pack(">HHBHBBB", WIDTH, HEIGHT, 0x10, number, 0x80 if cue else 0x00, 0, 0)
    if cue is None:
        return (segment(pts, 0x16, pcs + b"\0") + segment(pts, 0x17, b"\0") + segment(pts, 0x80, b""))
    _, _, x, y, w, h, colour = cue
    pcs += struct.pack(">BHBBHH", 1, 0, 0, 0, x, y)
    wds = struct.pack(">BBHHHH", 1, 0, x, y, w, h)
    pds = struct.pack(">BB", 0, 0) + b"".join(struct.pack(">BBBBB", i, *e) for i, e in enumerate(PALETTE))
    data = bitmap(w, h, colour)
    ods = struct.pack(">HBB", 0, 0, 0xC0) + struct.pack(">I", len(data) + 4)[1:] + struct.pack(">HH", w, h) + data
    return (segment(pts, 0x16, pcs) + segment(pts, 0x17, wds) + segment(pts, 0x14, pds) + segment(pts, 0x15, ods) +
            segment(pts, 0x80, b""))


def write_sup(path, cues):
    out = bytearray()
    number = 0
    for i, cue in enumerate(cues):
        out += display_set(int(cue[0] * 90000), number, cue)
        number += 1
        if i + 1 == len(cues) or cues[i + 1][0] > cue[1]:
            out += display_set(int(cue[1] * 90000), number, None)
            number += 1
    with open(path, "wb") as f:
        f.write(out)


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(outdir, exist_ok=True)
    sups = []
    for language, cues in CUES.items():
        path = os.path.join(outdir, language + ".sup")
        write_sup(path, cues)
        sups.append(path)
    ts = os.path.join(outdir, "dvbsub.ts")
    cmd = ["ffmpeg", "-v", "error", "-y", "-copyts", "-f", "lavfi", "-i", f"smptehdbars=size={WIDTH}x{HEIGHT}:rate=25:duration={SECONDS}",
           "-f", "lavfi", "-i", f"sine=frequency=440:sample_rate=48000:duration={SECONDS}",
           "-f", "lavfi", "-i", f"sine=frequency=880:sample_rate=48000:duration={SECONDS}"]
    for sup in sups:   # each cue lasts until the display set after it
        cmd += ["-fix_sub_duration", "-i", sup]
    # and the committed teletext, copied, its first page brought to the pictures' start
    cmd += ["-itsoffset", "-9.4", "-i", TELETEXT]
    cmd += ["-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:s", "-map", "4:s", "-map", "5:0",
            "-c:v", "mpeg2video", "-q:v", "12", "-g", "25", "-c:a", "mp2", "-b:a", "64k",
            "-c:s:0", "dvbsub", "-c:s:1", "dvbsub", "-c:s:2", "copy",
            "-metadata:s:a:0", "language=deu", "-metadata:s:a:1", "language=fra",
            "-metadata:s:s:0", "language=deu", "-metadata:s:s:1", "language=fra", "-disposition:s:1", "hearing_impaired",
            # the pictures early enough before their time for their sound to be heard with them
            "-muxdelay", "1.4", "-mpegts_service_id", "1", "-f", "mpegts", ts]
    subprocess.run(cmd, check=True)
    for sup in sups:
        os.remove(sup)
    with open(os.path.join(outdir, "dvbsub.json"), "w") as f:
        json.dump({"width": WIDTH, "height": HEIGHT, "cues": CUES}, f, indent=1)


if __name__ == "__main__":
    main()
