#!/bin/sh
# Tunes dvbv5-zap (dvb-tools) through the fake devices for one DVB-T, DVB-T2,
# DVB-C and DVB-S2 entry of the installed scan tables, and prints the log.
# Usage: check-with-dvbv5-zap.sh path/to/libLUMFakeDVB.so [stream.ts]
# With a stream, it also records two seconds with an overflow on the 3rd read.
set -eu
lib=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root/adapter0"
touch "$work/root/adapter0/frontend0" "$work/root/adapter0/demux0" "$work/root/adapter0/dvr0"
export LUM_FAKE_DVB_ROOT="$work/root" LUM_FAKE_DVB_LOG="$work/log"

zap() {
    echo "# $*" >>"$work/log"
    # dvbv5-zap waits for a lock for ever: the timeout only guards a broken fake.
    if ! env LD_PRELOAD="$lib" timeout 20 dvbv5-zap "$@" >"$work/out" 2>&1; then
        cat "$work/out" >&2
        echo "dvbv5-zap $* failed" >&2
        exit 1
    fi
}

zap -c /usr/share/dvb/dvb-t/uk-CrystalPalace -x 490000000
zap -c /usr/share/dvb/dvb-t/uk-CrystalPalace -x 746000000
LUM_FAKE_DVB_SYSTEMS=DVBC_ANNEX_A zap -c /usr/share/dvb/dvb-c/at-CNI -x 330000000
LUM_FAKE_DVB_SYSTEMS=DVBS,DVBS2 zap -l UNIVERSAL -S 1 -c /usr/share/dvb/dvb-s/Astra-19.2E -x 11362000

if [ $# -ge 2 ]; then
    LUM_FAKE_DVB_STREAM=$(realpath "$2") LUM_FAKE_DVB_OVERFLOW_AT=3 \
        zap -c /usr/share/dvb/dvb-t/uk-CrystalPalace -P -r -o "$work/out.ts" -t 2 "C23 BBC A"
    grep -E "buffer overrun|received" "$work/out"
    echo "recorded $(stat -c %s "$work/out.ts") bytes"
fi

cat "$work/log"
