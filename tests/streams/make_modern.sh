#!/bin/bash
# Makes modern.ts, a second and a half of an HD-style service as FFmpeg writes it for DVB:
# H.264 video, E-AC-3 (fra) and AAC (ita) audio and DVB subtitles (eng), SDT service type
# 0x19; and modern.ffprobe.json, what ffprobe says of it. Run once; both files are committed.
# FFmpeg encodes DVB subtitles only from bitmaps, so a tiny PGS file written here byte by
# byte (one white 16x4 box from 0.2 s to 1.0 s) is the subtitle input.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hex() { printf "$(echo "$1" | sed 's/../\\x&/g')"; }
# A PGS segment: "PG", PTS (90 kHz), DTS 0, type, size, payload.
segment() { hex "$(printf '5047%08x00000000%02x%04x' "$2" "$1" $((${#3} / 2)))$3"; }
line=0090010000   # 16 pixels of colour 1, end of line
{
    segment 0x16 18000 00a0005a1000008000000100000000000a0046   # composition: 160x90, object at 10,70
    segment 0x17 18000 0100000a004600100004                     # window 16x4
    segment 0x14 18000 000001eb8080ff                           # palette: colour 1 white
    segment 0x15 18000 000000c000001800100004$line$line$line$line
    segment 0x80 18000 ""
    segment 0x16 90000 00a0005a10000100000000                   # empty composition: clear
    segment 0x17 90000 0100000a004600100004
    segment 0x80 90000 ""
} > "$work/subtitles.sup"

ffmpeg -v warning -y -f lavfi -i testsrc2=size=160x90:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -i "$work/subtitles.sup" -map 0:v -map 1:a -map 1:a -map 2:s -t 1.5 \
    -c:v libx264 -preset veryfast -threads 1 -b:v 80k -g 25 -pix_fmt yuv420p \
    -c:a:0 eac3 -b:a:0 64k -ac:a:0 1 -c:a:1 aac -b:a:1 32k -ac:a:1 1 -c:s dvb_subtitle \
    -metadata:s:a:0 language=fra -metadata:s:a:1 language=ita -metadata:s:s:0 language=eng \
    -metadata service_name="LUM HD" -metadata service_provider="Peer Lab" \
    -mpegts_service_type advanced_codec_digital_hdtv -mpegts_flags system_b -fflags +bitexact \
    modern.ts
ffprobe -v error -show_streams -show_programs -of json modern.ts > modern.ffprobe.json
