#!/usr/bin/env bash
# Makes samples/sample.ts, the sample stream bundled with LUMCore (described in samples/README.md).
# FFmpeg writes four programs (three TV services with MPEG-2 video and MP2 audio, one radio
# service) at a constant 2.4 Mbit/s. DvbpsiFixture from tools/peer_streams then replaces FFmpeg's SDT
# with its own and adds the NIT, EIT present/following and schedule, TDT and TOT of
# samples/sample.json, made with libdvbpsi, about one SI set per second, in place of null packets
# only (so the packet count and every PCR stay as FFmpeg wrote them). libdvbpsi then reads the
# result back into sample.dvbpsi.json, and must do so without an error.
#
# Usage: samples/make_sample.sh [--out DIR] [--check]
#   --out DIR   where sample.ts and sample.dvbpsi.json go (default: samples/)
#   --check     make the sample in a temporary folder and compare it with the one in --out;
#               exit status 1 if they differ
# Needs ffmpeg, g++, pkg-config, libdvbpsi-dev and nlohmann-json3-dev.

set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
out="$here"
check=0

fail() {
    echo "make_sample.sh: $*" >&2
    exit 1
}

while [[ $# -gt 0 ]]; do
    case "$1" in
        --out) out="$2"; shift 2 ;;
        --check) check=1; shift ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "make_sample.sh: unknown argument $1 (try --help)" >&2; exit 2 ;;
    esac
done
mkdir -p "$out"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O2 "$root"/tools/peer_streams/{DvbpsiFixture,DvbpsiMake,DvbpsiRead}.cpp \
    $(pkg-config --cflags --libs libdvbpsi) -o "$tmp/DvbpsiFixture" || fail "cannot build tools/peer_streams/DvbpsiFixture"

# The recipe. Every number here is part of the sample's bytes: the mux rate, the durations, the
# encoder settings and the PIDs FFmpeg derives from the program order. bitexact and one thread
# keep FFmpeg's output the same from run to run (with the same FFmpeg version).
duration=12
muxrate=2400000
# One SI set per second of stream, so the TDT moves on about one second per second. A small video
# buffer (-bufsize) keeps FFmpeg's start-up burst short: null packets, which the SI replaces, then
# begin about 0.4 s into the stream.
repetitions=$duration

ffmpeg -hide_banner -nostdin -loglevel error -y \
    -f lavfi -i "testsrc=size=352x288:rate=25:duration=$duration" \
    -f lavfi -i "testsrc2=size=352x288:rate=25:duration=$duration" \
    -f lavfi -i "smptebars=size=352x288:rate=25:duration=$duration" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$duration" \
    -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=$duration" \
    -f lavfi -i "sine=frequency=880:sample_rate=48000:duration=$duration" \
    -f lavfi -i "sine=frequency=523.25:sample_rate=48000:duration=$duration" \
    -map 0:v -map 3:a -map 1:v -map 4:a -map 2:v -map 5:a -map 6:a \
    -c:v mpeg2video -b:v 450k -maxrate 450k -bufsize 300k -g 12 -bf 2 \
    -c:a mp2 -b:a 128k -ac 2 \
    -metadata:s:a:0 language=tur -metadata:s:a:1 language=fra \
    -metadata:s:a:2 language=eng -metadata:s:a:3 language=eng \
    -program program_num=1001:st=0:st=1 \
    -program program_num=1002:st=2:st=3 \
    -program program_num=1003:st=4:st=5 \
    -program program_num=1004:st=6 \
    -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -threads 1 \
    -f mpegts -muxrate "$muxrate" \
    -mpegts_transport_stream_id 1025 -mpegts_original_network_id 8755 \
    "$tmp/sample.ffmpeg.ts" || fail "ffmpeg failed"

"$tmp/DvbpsiFixture" make "$here/sample.json" "$tmp/sample.ffmpeg.ts" "$repetitions" "$tmp/sample.ts" \
    || fail "the SI does not fit in FFmpeg's null packets"
"$tmp/DvbpsiFixture" read "$tmp/sample.ts" > "$tmp/sample.dvbpsi.json" || fail "libdvbpsi reports errors in the sample"
ffprobe -v error -show_programs -of json "$tmp/sample.ts" > "$tmp/sample.ffprobe.json" || fail "ffprobe failed"

size=$(stat -c %s "$tmp/sample.ts")
(( size < 5 * 1024 * 1024 )) || fail "sample.ts is $size bytes, more than the 5 MB allowed in the repository"
packets=$(( size / 188 ))

if (( check )); then
    status=0
    for f in sample.ts sample.dvbpsi.json sample.ffprobe.json; do
        if ! cmp -s "$tmp/$f" "$out/$f"; then
            echo "make_sample.sh: $out/$f differs from a fresh build (a different FFmpeg or libdvbpsi version also changes the bytes)" >&2
            status=1
        fi
    done
    (( status == 0 )) && echo "make_sample.sh: $out/sample.ts and its readings are up to date"
    exit $status
fi

mv -f "$tmp/sample.dvbpsi.json" "$out/sample.dvbpsi.json"
mv -f "$tmp/sample.ffprobe.json" "$out/sample.ffprobe.json"
mv -f "$tmp/sample.ts" "$out/sample.ts"
echo "make_sample.sh: $out/sample.ts: $size bytes, $packets packets, $(( packets * 188 * 8 * 1000 / muxrate )) ms at $muxrate bit/s"
