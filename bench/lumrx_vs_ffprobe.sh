#!/usr/bin/env bash
# lumrx services --json against ffprobe on the same multi-service file: wall time and peak
# memory of each, median of 5 runs with /usr/bin/time -v, and their ratios.
# Usage: bench/lumrx_vs_ffprobe.sh [FILE.ts] (default: the bundled sample)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
lumrx="${LUMRX:-$here/build/release/bin/lumrx}"
file="${1:-$here/samples/sample.ts}"
runs=9
for tool in /usr/bin/time ffprobe "$lumrx"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (time and ffmpeg are Debian packages)" >&2; exit 1; }
done

# Prints "seconds kilobytes" of one run of the command: wall time to the microsecond (time's
# own is to the hundredth), peak memory from time -v.
measure() {
    local log start end
    log=$(mktemp)
    start=$(date +%s%N)
    /usr/bin/time -v "$@" >/dev/null 2>"$log"
    end=$(date +%s%N)
    awk -F': ' -v ns=$((end - start)) '/Maximum resident set size/ { k = $2 } END { printf "%.4f %d\n", ns / 1e9, k }' "$log"
    rm -f "$log"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

run_tool() {
    local name="$1"; shift
    local times=() peaks=()
    for _ in $(seq $runs); do
        read -r s k < <(measure "$@")
        times+=("$s"); peaks+=("$k")
    done
    local t p
    t=$(printf '%s\n' "${times[@]}" | median)
    p=$(printf '%s\n' "${peaks[@]}" | median)
    printf '%-8s median wall %8.4f s   median peak %8d kB\n' "$name" "$t" "$p" >&2
    echo "$t $p"
}

echo "file: $file ($(stat -c %s "$file") bytes), $runs runs each" >&2
read -r lt lp < <(run_tool lumrx "$lumrx" services "$file" --json)
read -r ft fp < <(run_tool ffprobe ffprobe -v error -show_programs -show_streams -of json "$file")
awk -v lt="$lt" -v ft="$ft" -v lp="$lp" -v fp="$fp" 'BEGIN {
    printf "wall time: lumrx/ffprobe = %.3f (target at most 0.333)\n", lt / ft
    printf "peak memory: lumrx/ffprobe = %.3f (target at most 0.125)\n", lp / fp }'
