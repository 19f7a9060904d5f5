#!/usr/bin/env bash
# lumview against mpv playing the same 1080i H.264 + E-AC-3 5.1 file for 20 s, with its sound
# to the null sink of a user-level PulseAudio and its picture in a 1280x720 window on Xvfb:
# the CPU time and peak memory of each (median of 3 runs, alternating), and their ratios.
# lumview deinterlaces; mpv by default does not, so mpv --deinterlace=yes is measured too.
# Then lumview's zap times on the bundled sample: N pressed at five moments, the first
# picture and sound of the service chosen, from its --stats.
# Usage: bench/lumview_vs_mpv.sh   (needs Xvfb, xdotool, mpv, ffmpeg with libx264)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
lumview="${LUMVIEW:-$here/build/release/bin/lumview}"
runs=3
seconds=20
for tool in /usr/bin/time Xvfb xdotool mpv ffmpeg pactl "$lumview"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (Debian: time xvfb xdotool mpv ffmpeg pulseaudio-utils)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
cleanup() { [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/lumcore-runtime-$(id -u)}"
"$here/scripts/start-sound-server"
# lumview's settings go to a home of the bench's own, not the user's
export HOME="$work/home" XDG_CONFIG_HOME="$work/home"
mkdir -p "$HOME"

echo "making the streams..." >&2
HD_SECONDS=$((seconds + 4)) "$here/tests/streams/make_av.sh" "$work" >/dev/null
file="$work/hd1080i.ts"

exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"

# "user+system seconds, peak kB" of the command, its window (titled NAME) made 1280x720 once it shows
measure() {
    local name="$1"; shift
    local log="$work/time.log"
    /usr/bin/time -f "%U %S %M" -o "$log" "$@" >/dev/null 2>&1 &
    local runner=$!
    local window
    window=$(timeout 10 xdotool search --sync --onlyvisible --name "$name" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && xdotool windowsize "$window" 1280 720 2>/dev/null || true
    wait "$runner" || true
    awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$log"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A cpu peak
for name in lumview mpv mpv_deinterlaced; do cpu[$name]=""; peak[$name]=""; done
for run in $(seq $runs); do
    read -r c k < <(measure lumview "$lumview" --full-screen --seconds "$seconds" --stats "$work/hd.json" "$file")
    cpu[lumview]+="$c "; peak[lumview]+="$k "
    read -r c k < <(measure mpv mpv --no-config --really-quiet --vo=x11 --ao=pulse --geometry=1280x720 --length="$seconds" --title=mpv "$file")
    cpu[mpv]+="$c "; peak[mpv]+="$k "
    read -r c k < <(measure mpv mpv --no-config --really-quiet --vo=x11 --ao=pulse --geometry=1280x720 --length="$seconds" --title=mpv --deinterlace=yes "$file")
    cpu[mpv_deinterlaced]+="$c "; peak[mpv_deinterlaced]+="$k "
    echo "run $run of $runs done" >&2
done
declare -A c k
for name in lumview mpv mpv_deinterlaced; do
    c[$name]=$(tr ' ' '\n' <<< "${cpu[$name]}" | grep . | median)
    k[$name]=$(tr ' ' '\n' <<< "${peak[$name]}" | grep . | median)
    printf '%-17s median CPU %6.2f s   median peak %7d kB   (runs: %s)\n' "$name" "${c[$name]}" "${k[$name]}" "${cpu[$name]}"
done
awk -v l="${c[lumview]}" -v m="${c[mpv]}" -v d="${c[mpv_deinterlaced]}" -v lk="${k[lumview]}" -v mk="${k[mpv]}" 'BEGIN {
    printf "CPU: lumview/mpv = %.3f (at most 1.0, goal below 0.8); lumview/mpv --deinterlace=yes = %.3f\n", l / m, l / d
    printf "peak memory: lumview/mpv = %.3f (at most 1.0)\n", lk / mk }'
tr -d ' \n' < "$work/hd.json" | sed 's/$/\n/' | sed 's/^/lumview --stats of the last run: /'

# zaps: N at five moments of the sample's pictures; what the chosen service's stats say
echo "zaps on the bundled sample:"
for delay in 2.0 2.25 2.5 2.75 3.0; do
    rm -rf "$HOME/LUMCore"   # from the first service each time, not the one zapped to last
    "$lumview" --seconds 6 --stats "$work/zap.json" "$here/samples/sample.ts" >/dev/null 2>&1 &
    runner=$!
    window=$(xdotool search --sync --onlyvisible --name lumview | head -1)
    sleep "$delay"
    xdotool windowfocus --sync "$window" key n 2>/dev/null
    wait "$runner" || true
    tr -d ' \n' < "$work/zap.json" | awk -v d="$delay" '{
        match($0, /"first_decoded_ms":[-0-9.]+/); dec = substr($0, RSTART + 19, RLENGTH - 19)
        match($0, /"first_picture_ms":[-0-9.]+/); pic = substr($0, RSTART + 19, RLENGTH - 19)
        match($0, /"first_sound_ms":[-0-9.]+/); snd = substr($0, RSTART + 17, RLENGTH - 17)
        printf "  N at %.2f s: first picture decoded %4.0f ms, shown %4.0f ms (%3.0f ms after its decoding), sound %4.0f ms (%+4.0f ms from the picture)\n",
               d, dec, pic, pic - dec, snd, snd - pic }'
done
