#!/usr/bin/env bash
# Makes the committed test streams again, with FFmpeg and libdvbpsi, and the peers' readings of
# them (see README.md). The tests only read the results; nothing here runs at build or test time.
#
# Usage: tests/streams/make_streams.sh [--check]
#   --check  make everything in a temporary folder and compare it with the committed files
# Needs ffmpeg, ffprobe, g++, pkg-config and libdvbpsi-dev (1.3.3), nlohmann-json3-dev, python3.

set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
check=0
[[ "${1:-}" == "--check" ]] && check=1
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

tool="$here/../../tools/peer_streams"
g++ -std=c++17 -O2 -Wall -Wextra -Werror "$tool"/{DvbpsiFixture,DvbpsiMake,DvbpsiRead}.cpp \
    $(pkg-config --cflags --libs libdvbpsi) -o "$tmp/DvbpsiFixture"
fixture="$tmp/DvbpsiFixture"

# Three programs, 8 s at a constant 240 kbit/s: long enough to be played in real time and to
# measure the bitrate and the program clock, small enough to commit. Tiny pictures at 5 frames/s
# and one PCR every 80 ms leave null packets for the SI. bitexact and one thread: the same FFmpeg
# gives the same bytes. Program 102's name is written by FFmpeg as 0x15 (UTF-8) + UTF-8.
three_programs() {   # SECONDS OUT.ts
    d=$1
    ffmpeg -hide_banner -nostdin -loglevel error -y \
        -f lavfi -i testsrc=size=64x48:rate=5:duration=$d \
        -f lavfi -i testsrc2=size=64x48:rate=5:duration=$d \
        -f lavfi -i smptebars=size=64x48:rate=5:duration=$d \
        -f lavfi -i sine=frequency=660:sample_rate=48000:duration=$d \
        -f lavfi -i sine=frequency=880:sample_rate=48000:duration=$d \
        -map 0:v -map 1:v -map 3:a -map 4:a -map 2:v \
        -c:v mpeg2video -b:v 16k -g 10 -bf 0 -c:a mp2 -b:a 32k -ac 1 \
        -metadata:s:a:0 language=eng -metadata:s:a:1 language=fra \
        -program program_num=101:title=One:st=0 \
        -program program_num=102:title=Two:st=1:st=2:st=3 \
        -program program_num=103:title=Three:st=4 \
        -metadata:p:0 service_name="LUM One" -metadata:p:0 service_provider="Peer Lab" \
        -metadata:p:1 service_name="Télé Deux" -metadata:p:1 service_provider="Peer Lab" \
        -metadata:p:2 service_name="Radio Trois" -metadata:p:2 service_provider="Other Prov" \
        -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -threads 1 \
        -f mpegts -muxrate 240000 -pcr_period 80 -pat_period 0.5 -sdt_period 1 \
        -mpegts_transport_stream_id 4660 -mpegts_original_network_id 8755 "$2"
}
three_programs 8 "$tmp/three_programs.ffmpeg.ts"

"$fixture" make "$here/three_programs.json" "$tmp/three_programs.ffmpeg.ts" 8 "$tmp/three_programs.ts"
"$fixture" make "$here/latin_tables.json" - 2 "$tmp/latin_tables.ts"

# The same three programs for 3 s, with channel numbers in the NIT (EACEM logical channel
# descriptors behind their private data specifier): 103 is 1, 101 is 2, 102 is 7 and hidden.
three_programs 3 "$tmp/channel_numbers.ffmpeg.ts"
"$fixture" make "$here/channel_numbers.json" "$tmp/channel_numbers.ffmpeg.ts" 3 "$tmp/channel_numbers.ts"
rm "$tmp/channel_numbers.ffmpeg.ts"
"$fixture" make "$here/cut_section.json" - 8 "$tmp/cut_section.ts"
python3 "$here/make_si_rich.py" > "$tmp/si_rich.json"
"$fixture" make "$tmp/si_rich.json" - 1 "$tmp/si_rich.ts"
rm "$tmp/si_rich.json"
rm "$tmp/three_programs.ffmpeg.ts"

for name in three_programs latin_tables cut_section channel_numbers; do
    # libdvbpsi 1.3.3 takes a cut section's successor as its continuation: CRC errors there only
    status=0
    "$fixture" read "$tmp/$name.ts" > "$tmp/$name.dvbpsi.json" 2>"$tmp/$name.errors" || status=$?
    if (( status != 0 )) && [[ $name != cut_section ]]; then
        cat "$tmp/$name.errors" >&2
        exit 1
    fi
    rm "$tmp/$name.errors"
done
for name in three_programs latin_tables; do
    (cd "$tmp" && ffprobe -v error -of json -show_entries \
        "format=bit_rate:program=program_id,pmt_pid,pcr_pid,nb_streams:program_tags:program_stream=id,codec_type,codec_name:program_stream_tags=language" \
        "$name.ts") > "$tmp/$name.ffprobe.json"
done
rm "$tmp/DvbpsiFixture"

if (( check )); then
    status=0
    for f in "$tmp"/*; do
        cmp -s "$f" "$here/$(basename "$f")" || { echo "differs: $(basename "$f")" >&2; status=1; }
    done
    exit $status
fi
mv -f "$tmp"/* "$here/"
ls -l "$here"/{three_programs,latin_tables,cut_section,channel_numbers,si_rich}.ts
