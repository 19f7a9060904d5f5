#!/usr/bin/env bash
# Makes the peer test streams: FFmpeg writes the programs (PAT, PMT, SDT, video, audio), then
# SIStreamWriter adds NIT, EIT, TDT and TOT made with libdvbpsi (and for some streams its own SDT,
# or drops PAT/PMT), then DvbpsiDump and ffprobe describe the result and PeerJsonSubset checks
# that libdvbpsi reads back what was written.
#
# Usage: make_streams.sh --writer PATH --dump PATH --subset PATH --out DIR
#                        [--ffmpeg PATH] [--ffprobe PATH] [--configs DIR] STREAM...
#   STREAM: three_programs | si_rich | version_change | paced_programs | latin_tables | no_pmt |
#           no_pat_pmt | cut_section | all
# For each STREAM, DIR receives:
#   STREAM.ffmpeg.ts      FFmpeg's output alone (no NIT/EIT/TDT/TOT)
#   STREAM.ts             the same with the SI added
#   STREAM.writer.json    what SIStreamWriter wrote (DvbpsiDump's schema, plus "writer" statistics)
#   STREAM.dvbpsi.json    DvbpsiDump --strict of STREAM.ts
#   STREAM.ffprobe.json   ffprobe -show_programs -show_streams -of json of STREAM.ts
#   STREAM.expected.json  a copy of configs/STREAM.expected.json, for the streams that have one
# Files are written under temporary names and renamed at the end, so a failure leaves none.

set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ffmpeg=ffmpeg
ffprobe=ffprobe
writer=""
dump=""
subset=""
configs="$here/configs"
out=""
streams=()

while [[ $# -gt 0 ]]; do
    case "$1" in
        --ffmpeg) ffmpeg="$2"; shift 2 ;;
        --ffprobe) ffprobe="$2"; shift 2 ;;
        --writer) writer="$2"; shift 2 ;;
        --dump) dump="$2"; shift 2 ;;
        --subset) subset="$2"; shift 2 ;;
        --configs) configs="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        -*) echo "make_streams.sh: unknown option $1" >&2; exit 2 ;;
        *) streams+=("$1"); shift ;;
    esac
done

if [[ -z "$writer" || -z "$dump" || -z "$subset" || -z "$out" || ${#streams[@]} -eq 0 ]]; then
    echo "make_streams.sh: --writer, --dump, --subset, --out and at least one STREAM are required" >&2
    exit 2
fi
if [[ " ${streams[*]} " == *" all "* ]]; then
    streams=(three_programs si_rich version_change paced_programs latin_tables no_pmt no_pat_pmt cut_section)
fi
mkdir -p "$out"

# Same input, same bytes: no encoder or muxer version strings, one encoder thread.
common_out=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -threads 1
            -c:v mpeg2video -g 12 -bf 2 -c:a mp2 -b:a 64k -f mpegts)

# Three programs, each video + audio; program 102 has English and French audio and a name with
# non-ASCII characters (FFmpeg writes it as UTF-8 after a 0x15 character-table byte).
# $2: duration in seconds (4 unless given).
ffmpeg_three_programs() {
    local d="${2:-4}"
    "$ffmpeg" -hide_banner -nostdin -loglevel error -y \
        -f lavfi -i testsrc=size=320x240:rate=25:duration=$d \
        -f lavfi -i testsrc2=size=320x240:rate=25:duration=$d \
        -f lavfi -i smptebars=size=320x240:rate=25:duration=$d \
        -f lavfi -i sine=frequency=440:sample_rate=48000:duration=$d \
        -f lavfi -i sine=frequency=660:sample_rate=48000:duration=$d \
        -f lavfi -i sine=frequency=880:sample_rate=48000:duration=$d \
        -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=$d \
        -map 0:v -map 3:a -map 1:v -map 4:a -map 5:a -map 2:v -map 6:a \
        -b:v 300k \
        -metadata:s:a:0 language=eng -metadata:s:a:1 language=eng \
        -metadata:s:a:2 language=fra -metadata:s:a:3 language=deu \
        -program program_num=101:title=One:st=0:st=1 \
        -program program_num=102:title=Two:st=2:st=3:st=4 \
        -program program_num=103:title=Three:st=5:st=6 \
        -metadata:p:0 service_name="LUM One" -metadata:p:0 service_provider="Peer Lab" \
        -metadata:p:1 service_name="Télé Deux" -metadata:p:1 service_provider="Peer Lab" \
        -metadata:p:2 service_name="Radio Trois" -metadata:p:2 service_provider="Other Prov" \
        "${common_out[@]}" -muxrate 2000000 \
        -mpegts_transport_stream_id 4660 -mpegts_original_network_id 8755 \
        "$1"
}

# Two programs at a high mux rate: many null packets for the SI to replace.
ffmpeg_si_rich() {
    "$ffmpeg" -hide_banner -nostdin -loglevel error -y \
        -f lavfi -i testsrc=size=320x240:rate=25:duration=4 \
        -f lavfi -i testsrc2=size=320x240:rate=25:duration=4 \
        -f lavfi -i sine=frequency=440:sample_rate=48000:duration=4 \
        -f lavfi -i sine=frequency=550:sample_rate=48000:duration=4 \
        -map 0:v -map 2:a -map 1:v -map 3:a \
        -b:v 250k \
        -metadata:s:a:0 language=eng -metadata:s:a:1 language=fra \
        -program program_num=201:title=A:st=0:st=1 \
        -program program_num=202:title=B:st=2:st=3 \
        -metadata:p:0 service_name="Rich One" -metadata:p:0 service_provider="Peer Lab" \
        -metadata:p:1 service_name="Rich Two" -metadata:p:1 service_provider="Peer Lab" \
        "${common_out[@]}" -muxrate 2500000 \
        -mpegts_transport_stream_id 4662 -mpegts_original_network_id 8755 \
        "$1"
}

make_one() {
    local name="$1" tmp="$out/.$1.tmp"
    local base config duration=4
    local -a writer_args
    case "$name" in
        three_programs)
            base=ffmpeg_three_programs; config="$configs/three_programs.json"
            writer_args=(--repetitions 8) ;;
        version_change)
            base=ffmpeg_three_programs; config="$configs/three_programs.json"
            writer_args=(--repetitions 6 --version-change --no-pack) ;;
        paced_programs)
            # long enough for a receiver paced in real time to measure bitrate and clock
            base=ffmpeg_three_programs; config="$configs/three_programs.json"; duration=9
            writer_args=(--repetitions 18) ;;
        si_rich)
            base=ffmpeg_si_rich; config="$configs/si_rich.json"
            writer_args=(--si-share 0.35) ;;
        latin_tables)
            # the writer's SDT replaces FFmpeg's: names with character-table selectors
            base=ffmpeg_three_programs; config="$configs/latin_tables.json"
            writer_args=(--repetitions 8) ;;
        no_pmt)
            # the config drops every PMT packet; the PAT stays and names PMT PIDs that stay silent
            base=ffmpeg_three_programs; config="$configs/no_pmt.json"
            writer_args=(--repetitions 8) ;;
        no_pat_pmt)
            base=ffmpeg_three_programs; config="$configs/no_pmt.json"
            writer_args=(--repetitions 8 --drop-pat) ;;
        cut_section)
            base=ffmpeg_three_programs; config="$configs/cut_section.json"
            writer_args=(--repetitions 8) ;;
        *) echo "make_streams.sh: unknown stream $name" >&2; exit 2 ;;
    esac

    "$base" "$tmp.ffmpeg.ts" "$duration"
    "$writer" --config "$config" --in "$tmp.ffmpeg.ts" --out "$tmp.ts" --report "$tmp.writer.json" "${writer_args[@]}"
    "$dump" --strict --out "$tmp.dvbpsi.json" "$tmp.ts"
    "$ffprobe" -v error -show_programs -show_streams -of json "$tmp.ts" > "$tmp.ffprobe.json"
    # What libdvbpsi reads back must be what was written, section counts included; the SDT when
    # the writer wrote it, the absence of PAT or PMT when it dropped them.
    "$subset" "$tmp.writer.json" "$tmp.dvbpsi.json" nit '?sdt' eits tdt tot counters '?pat' '?pmts'

    local -a suffixes=(ffmpeg.ts writer.json dvbpsi.json ffprobe.json)
    if [[ -f "$configs/$name.expected.json" ]]; then
        cp -f "$configs/$name.expected.json" "$tmp.expected.json"
        suffixes+=(expected.json)
    fi
    for suffix in "${suffixes[@]}" ts; do
        mv -f "$tmp.$suffix" "$out/$name.$suffix"
    done
}

for s in "${streams[@]}"; do
    make_one "$s"
done
