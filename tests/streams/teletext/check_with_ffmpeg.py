#!/usr/bin/env python3
"""Decode the generated streams with FFmpeg's libzvbi teletext decoder and
compare with teletext.json. Usage: check_with_ffmpeg.py DIR (needs ffmpeg)."""
import json
import os
import re
import subprocess
import sys

TOLERANCE_MS = 40


def ffmpeg_srt(ts, page, out, chop_top=1):
    # -fix_sub_duration ends a cue at the next one (the clears included) but
    # holds back the last; page 100 only needs start times, so not there
    fix = ['-fix_sub_duration'] if chop_top else []
    subprocess.run(['ffmpeg', '-v', 'error'] + fix + ['-txt_page', page,
                    '-txt_format', 'text', '-txt_chop_top', str(chop_top), '-i', ts,
                    '-map', '0:s:0', '-c:s', 'srt', '-y', out], check=True)
    return parse_srt(out)


def parse_srt(path):
    def ms(t):
        h, m, s, f = map(int, re.split('[:,]', t))
        return ((h * 60 + m) * 60 + s) * 1000 + f
    cues = []
    with open(path, encoding='utf-8') as f:
        blocks = f.read().replace('\r', '').strip().split('\n\n')
    for b in filter(None, blocks):
        lines = b.split('\n')
        start, end = lines[1].split(' --> ')
        cues.append((ms(start), ms(end), [l.strip() for l in lines[2:]]))
    return cues


def start_time_ms(ts):
    out = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'format=start_time',
                          '-of', 'csv=p=0', ts], capture_output=True, text=True, check=True)
    return round(float(out.stdout) * 1000)


def main():
    d = sys.argv[1] if len(sys.argv) > 1 else '.'
    ts = os.path.join(d, 'teletext.ts')
    truth = json.load(open(os.path.join(d, 'teletext.json'), encoding='utf-8'))
    t0 = start_time_ms(ts)
    to_ms = lambda pts: pts // 90 - t0
    bad = 0

    def expect(ok, what):
        nonlocal bad
        if not ok:
            bad += 1
        print(('ok   ' if ok else 'FAIL ') + what)

    pages = sorted({c['page'] for c in truth['cues']})
    for page in pages:
        got = ffmpeg_srt(ts, page, os.path.join(d, 'teletext.ffmpeg%s.srt' % page))
        want = [c for c in truth['cues'] if c['page'] == page]
        expect(len(got) == len(want), 'page %s: %d cues from ffmpeg, %d sent'
               % (page, len(got), len(want)))
        for (start, end, lines), c in zip(got, want):
            expect(lines == c['lines'], 'page %s text %r' % (page, lines))
            expect(abs(start - to_ms(c['pts'])) <= TOLERANCE_MS and
                   abs(end - to_ms(c['end_pts'])) <= TOLERANCE_MS,
                   'page %s times %d-%d ms, sent %d-%d ms'
                   % (page, start, end, to_ms(c['pts']), to_ms(c['end_pts'])))

    got = ffmpeg_srt(ts, '100', os.path.join(d, 'teletext.ffmpeg100.srt'), chop_top=0)
    sent = [t for t in truth['page100']['transmissions'] if 'complete_pts' in t]
    expect(len(got) == len(sent), 'page 100: %d pages from ffmpeg, %d sent'
           % (len(got), len(sent)))
    for (start, _, lines), t in zip(got, sent):
        rows = truth['page100']['subpages'][t['subcode']]
        want = ['100.%s %s' % (t['subcode'][2:], t['header'])]
        want += [rows[r].strip() for r in sorted(rows, key=int)]
        expect(lines == want and abs(start - to_ms(t['complete_pts'])) <= TOLERANCE_MS,
               'page 100/%s at %d ms' % (t['subcode'], start))

    r = subprocess.run(['ffmpeg', '-v', 'quiet', '-y', '-txt_page', '*', '-txt_format', 'text',
                        '-i', os.path.join(d, 'teletext_damaged.ts'), '-map', '0:s:0',
                        '-c:s', 'srt', '-f', 'srt', os.devnull])
    expect(r.returncode >= 0, 'damaged stream: ffmpeg exit code %d' % r.returncode)
    print('%d mismatches' % bad)
    sys.exit(1 if bad else 0)


if __name__ == '__main__':
    main()
