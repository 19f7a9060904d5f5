#!/usr/bin/env bash
# Makes samples/sample.ts, the sample stream bundled with LUMCore (described in samples/README.md).
# FFmpeg writes four programs (three TV services with MPEG-2 video and MP2 audio, one radio
# service) at a constant 2.4 Mbit/s. SIStreamWriter from tests/peer then replaces FFmpeg's SDT with
# its own and adds the NIT, EIT present/following and schedule, TDT and TOT of samples/sample.json,
# about one SI carousel per second, in place of FFmpeg's null packets only (so the packet count and
# every PCR stay as FFmpeg wrote them). DvbpsiDump and PeerJsonSubset, when built, check that libdvbpsi
# reads the result without error and reads back what was written.
#
# Usage: samples/make_sample.sh [--build DIR] [--writer PATH] [--dump PATH] [--subset PATH]
#                               [--ffmpeg PATH] [--out DIR] [--check]
#   --build DIR    build tree with the peer tools in DIR/tests/peer (default: build/release)
#   --writer PATH  SIStreamWriter (default: DIR/tests/peer/SIStreamWriter); likewise --dump for
#                  DvbpsiDump and --subset for PeerJsonSubset
#   --out DIR      where sample.ts and sample.writer.json go (default: samples/)
#   --check        make the sample in a temporary folder and compare it with the one in --out;
#                  exit status 1 if they differ
# The tools: cmake --preset release && cmake --build --preset release --target SIStreamWriter
# (add DvbpsiDump PeerJsonSubset to the targets for the checks).

set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build/release"
ffmpeg=ffmpeg
writer=""
dump=""
subset=""
out="$here"
check=0

fail() {
    echo "make_sample.sh: $*" >&2
    exit 1
}

while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --writer) writer="$2"; shift 2 ;;
        --dump) dump="$2"; shift 2 ;;
        --subset) subset="$2"; shift 2 ;;
        --ffmpeg) ffmpeg="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        --check) check=1; shift ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        *) echo "make_sample.sh: unknown argument $1 (try --help)" >&2; exit 2 ;;
    esac
done

writer="${writer:-$build/tests/peer/SIStreamWriter}"
dump="${dump:-$build/tests/peer/DvbpsiDump}"
subset="${subset:-$build/tests/peer/PeerJsonSubset}"
[[ -x "$writer" ]] || fail "SIStreamWriter not found at $writer; build it first:
    cmake --preset release && cmake --build --preset release --target SIStreamWriter
or give its path with --writer (or the build tree with --build)"
command -v "$ffmpeg" >/dev/null || fail "ffmpeg not found (apt-get install ffmpeg, or --ffmpeg PATH)"
mkdir -p "$out"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The recipe. Every number here is part of the sample's bytes: the mux rate, the durations, the
# encoder settings and the PIDs FFmpeg derives from the program order. bitexact and one thread
# keep FFmpeg's output the same from run to run (with the same FFmpeg version).
duration=12
muxrate=2400000
# One carousel per second of stream, so the TDT moves on about one second per second. A small video
# buffer (-bufsize) keeps FFmpeg's start-up burst short: null packets, which the SI replaces, then
# begin about 0.4 s into the stream.
repetitions=$duration

"$ffmpeg" -hide_banner -nostdin -loglevel error -y \
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

"$writer" --config "$here/sample.json" --in "$tmp/sample.ffmpeg.ts" --out "$tmp/sample.ts" \
    --report "$tmp/sample.writer.json" --repetitions "$repetitions" --nulls-only || fail "SIStreamWriter failed"

if [[ -x "$dump" ]]; then
    "$dump" --strict --out "$tmp/sample.dvbpsi.json" "$tmp/sample.ts" || fail "libdvbpsi reports errors in the sample"
    if [[ -x "$subset" ]]; then
        "$subset" "$tmp/sample.writer.json" "$tmp/sample.dvbpsi.json" nit '?sdt' eits tdt tot counters '?pat' '?pmts' \
            || fail "libdvbpsi does not read back what was written"
    else
        echo "make_sample.sh: PeerJsonSubset not built, read-back check skipped" >&2
    fi
else
    echo "make_sample.sh: DvbpsiDump not built, libdvbpsi checks skipped" >&2
fi

size=$(stat -c %s "$tmp/sample.ts")
(( size < 5 * 1024 * 1024 )) || fail "sample.ts is $size bytes, more than the 5 MB allowed in the repository"
packets=$(( size / 188 ))

if (( check )); then
    status=0
    for f in sample.ts sample.writer.json; do
        if ! cmp -s "$tmp/$f" "$out/$f"; then
            echo "make_sample.sh: $out/$f differs from a fresh build (a different FFmpeg or libdvbpsi version also changes the bytes)" >&2
            status=1
        fi
    done
    (( status == 0 )) && echo "make_sample.sh: $out/sample.ts and sample.writer.json are up to date"
    exit $status
fi

mv -f "$tmp/sample.writer.json" "$out/sample.writer.json"
mv -f "$tmp/sample.ts" "$out/sample.ts"
echo "make_sample.sh: $out/sample.ts: $size bytes, $packets packets, $(( packets * 188 * 8 * 1000 / muxrate )) ms at $muxrate bit/s"
