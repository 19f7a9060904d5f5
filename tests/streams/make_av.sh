#!/bin/bash
# Makes the streams the playback tests play, into the folder given (made at test time:
# the HD one is too big to commit, and FFmpeg is what the tests compare with anyway).
#   mp2.ts, aac.ts, eac3_51.ts  3 s of sound alone: a rising tone left, a falling one right
#                               (E-AC-3: six channels, each its own tone), service 1
#   sync.ts      6 s, 25 frames/s: black pictures with one white one at 0.5, 1.5 ... 5.5 s,
#                and a 40 ms beep on MPEG audio at the same times
#   interlaced.ts  12 pictures of 720x576, 64:45 samples (16:9), interlaced MPEG-2 (top first)
#   hd1080i.ts   4 s (HD_SECONDS) of 1920x1080 interlaced H.264 with E-AC-3 5.1
#   wrap.ts      5 s of MPEG-2 and MPEG audio whose time stamps wrap at 2^33 after 2 s
#   jump.ts      two 2.5 s pieces, the second 1000 s later in time (a discontinuity)
#   format.ts    2 s of 48 kHz stereo MPEG audio, then 2 s of 44.1 kHz mono on the same PID
#   stops.ts     4 s of sound whose pictures stop after 2 s
#   damaged.ts   4 s of MPEG-2 and MPEG audio, every 20th video packet's payload overwritten
#   languages.ts 3 s of pictures with two sound tracks: German at 440 Hz, then French at 880 Hz
set -euo pipefail
out=${1:?the folder to write to}
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -v error -y -nostdin "$@"; }
ts=(-fflags +bitexact -f mpegts)

rise='0.4*sin(2*PI*(300+100*t)*t)'
fall='0.4*sin(2*PI*(1500-150*t)*t)'
ff -f lavfi -i "aevalsrc=${rise}|${fall}:s=48000:c=stereo:d=3" -c:a mp2 -b:a 256k "${ts[@]}" mp2.ts
ff -f lavfi -i "aevalsrc=${rise}|${fall}:s=48000:c=stereo:d=3" -c:a aac -b:a 192k "${ts[@]}" aac.ts
six='0.3*sin(2*PI*330*t)|0.3*sin(2*PI*550*t)|0.3*sin(2*PI*770*t)|0.2*sin(2*PI*110*t)|0.3*sin(2*PI*990*t)|0.3*sin(2*PI*1210*t)'
ff -f lavfi -i "aevalsrc=${six}:s=48000:c=5.1(side):d=3" -c:a eac3 -b:a 384k "${ts[@]}" eac3_51.ts

ff -f lavfi -i "color=black:s=320x180:r=25:d=6,drawbox=c=white:t=fill:enable='eq(mod(n,25),12)'" \
   -f lavfi -i "aevalsrc='if(between(mod(t,1),0.5,0.54),0.5*sin(2*PI*1000*t),0)':s=48000:d=6" \
   -c:v mpeg2video -q:v 4 -g 25 -bf 0 -c:a mp2 -b:a 192k "${ts[@]}" sync.ts

ff -f lavfi -i "testsrc2=s=720x576:r=50,tinterlace=interleave_top,fieldorder=tff" -frames:v 12 \
   -c:v mpeg2video -q:v 2 -flags +ilme+ildct -top 1 -aspect 16:9 -g 12 "${ts[@]}" interlaced.ts

ff -f lavfi -i "testsrc2=s=1920x1080:r=50,tinterlace=interleave_top,fieldorder=tff" \
   -f lavfi -i "aevalsrc=${six}:s=48000:c=5.1(side)" -t "${HD_SECONDS:-4}" \
   -c:v libx264 -preset ultrafast -threads 2 -b:v 4M -g 25 -flags +ilme+ildct -x264-params tff=1 -pix_fmt yuv420p \
   -c:a eac3 -b:a 384k "${ts[@]}" hd1080i.ts

piece() {   # seconds, time offset, file
    ff -f lavfi -i "testsrc2=s=320x180:r=25" -f lavfi -i "sine=f=440:sample_rate=48000" -t "$1" \
       -c:v mpeg2video -q:v 5 -g 25 -c:a mp2 -b:a 128k -output_ts_offset "$2" "${ts[@]}" "$3"
}
piece 5 95441.7 wrap.ts   # 2^33 / 90000 = 95443.7 s
piece 2.5 10 jump-a.ts
piece 2.5 1010 jump-b.ts
cat jump-a.ts jump-b.ts > jump.ts
rm jump-a.ts jump-b.ts

sound() {   # seconds, rate, channels, time offset, file
    ff -f lavfi -i "testsrc2=s=320x180:r=25" -f lavfi -i "sine=f=440:sample_rate=$2" -t "$1" -ac "$3" \
       -c:v mpeg2video -q:v 5 -g 25 -c:a mp2 -b:a 128k -output_ts_offset "$4" "${ts[@]}" "$5"
}
sound 2 48000 2 10 format-a.ts
sound 2 44100 1 12 format-b.ts
cat format-a.ts format-b.ts > format.ts
rm format-a.ts format-b.ts
ff -f lavfi -i "testsrc2=s=320x180:r=25:d=2" -f lavfi -i "sine=f=440:sample_rate=48000:d=4" \
   -c:v mpeg2video -q:v 5 -g 25 -c:a mp2 -b:a 128k "${ts[@]}" stops.ts
sound 4 48000 2 10 damaged.ts
ff -f lavfi -i "testsrc2=s=320x180:r=25:d=3" -f lavfi -i "sine=f=440:sample_rate=48000:d=3" \
   -f lavfi -i "sine=f=880:sample_rate=48000:d=3" -map 0 -map 1 -map 2 -c:v mpeg2video -q:v 5 -c:a mp2 -b:a 128k \
   -metadata:s:a:0 language=deu -metadata:s:a:1 language=fra "${ts[@]}" languages.ts
# 0xFF over the payload of every 20th packet of the video PID (FFmpeg's first, 0x100)
python3 - damaged.ts <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
seen = 0
for at in range(0, len(data) - 187, 188):
    if (data[at + 1] & 0x1F) << 8 | data[at + 2] == 0x100:
        seen += 1
        if seen % 20 == 0:
            data[at + 4:at + 188] = b'\xff' * 184
open(sys.argv[1], 'wb').write(data)
PY
