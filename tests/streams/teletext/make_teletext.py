#!/usr/bin/env python3
"""Write teletext.ts, teletext_damaged.ts and teletext.json into OUTDIR.

No Debian tool encodes EBU teletext, so this builds a small DVB stream by hand:
PAT, PMT, a PCR-only PID and one teletext PID with an ordinary page (100, two
subpages) and subtitle pages 888, 889, 890 and 777. teletext.json records what
was sent, so tests can compare a decoder against it. Output is deterministic.
"""
import json
import os
import random
import sys

FPS = 25
FRAMES = 200                  # 8 s
FRAME_90K = 90000 // FPS      # 3600
FIRST_PCR_90K = 900000        # 10 s, so nothing starts at zero
PTS_DELAY = 3600              # 40 ms after the PCR sent with the same frame
PKTS_PER_FRAME = 5            # constant bitrate: PCR, PAT/PMT, teletext, null fill
PID_PMT, PID_PCR, PID_TXT = 0x1000, 0x0100, 0x0200

REVERSED = bytes(int('{:08b}'.format(i)[::-1], 2) for i in range(256))  # wire bit order
HAM84 = [0x15, 0x02, 0x49, 0x5E, 0x64, 0x73, 0x38, 0x2F,
         0xD0, 0xC7, 0x8C, 0x9B, 0xA1, 0xB6, 0xFD, 0xEA]
# G0 positions replaced by the national option subsets
NAT_POS = [0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E]
NAT = {  # C12 C13 C14 bits, characters at NAT_POS ('\0' = not used here)
    'deu': ((0, 0, 1), '#$§ÄÖÜ^_°äöüß'),
    'fra': ((1, 0, 0), 'éïàëêùî#èâôûç'),
    'tur': ((1, 1, 0), '\0ğİŞÖÇÜĞışöçü'),  # needs G0 group 2 from X/28/0
}
TURKISH_G0 = 0x16   # group 0010, option 110: the 7 bits in X/28/0 triplet 1


def ham2418(d):
    bits = [0] * 25
    data_pos = [p for p in range(1, 24) if p & (p - 1)]
    for i, p in enumerate(data_pos):
        bits[p] = (d >> i) & 1
    for k in range(5):
        p = 1 << k
        bits[p] = 1 ^ (sum(bits[q] for q in range(1, 24) if q & p and q != p) & 1)
    bits[24] = 1 ^ (sum(bits[1:24]) & 1)
    v = sum(b << (i - 1) for i, b in enumerate(bits) if i)
    return bytes([v & 255, (v >> 8) & 255, v >> 16])


def odd(c):
    return c | (0x80 if bin(c).count('1') % 2 == 0 else 0)


def encode(text, lang):
    """Unicode (plus control chars below 0x20) to G0 bytes of the given subset."""
    subset = NAT[lang][1]
    out = []
    for ch in text:
        if ch in subset and ch != '\0':
            out.append(NAT_POS[subset.index(ch)])
        elif ord(ch) < 0x20 or (ord(ch) < 0x7F and ord(ch) not in NAT_POS):
            out.append(ord(ch))
        else:
            raise ValueError('%r not in %s subset' % (ch, lang))
    return out


def shown(text):
    """What a decoder shows for a row: spacing attributes are blanks."""
    return ''.join(' ' if ord(c) < 0x20 else c for c in text)


def address(mag, row):
    return bytes([HAM84[mag & 7 | (row & 1) << 3], HAM84[row >> 1]])


def row_packet(mag, row, text, lang):
    data = encode(text, lang)
    data += [0x20] * (40 - len(data))
    assert len(data) == 40, text
    return address(mag, row) + bytes(odd(c) for c in data)


def header_packet(page, subcode=0, lang='deu', erase=False, subtitle=False,
                  text=''):
    mag, pg = page >> 8, page & 0xFF
    c12, c13, c14 = NAT[lang][0]
    sub, c7, c8 = subtitle, subtitle, subtitle   # subtitles: no header, update
    nib = [pg & 15, pg >> 4, subcode & 15, (subcode >> 4) & 7 | erase << 3,
           (subcode >> 8) & 15, (subcode >> 12) & 3 | sub << 3,
           c7 | c8 << 1, c12 << 1 | c13 << 2 | c14 << 3]
    chars = encode(text, lang)
    chars += [0x20] * (32 - len(chars))
    assert len(chars) == 32, text
    return address(mag, 0) + bytes(HAM84[n] for n in nib) + bytes(odd(c) for c in chars)


def x27_packet(mag, links):
    # X/27/0: the red, green, yellow and blue links (FLOF), any subpage; the index and
    # sixth links none (0xFF); link control shows row 24; no CRC is checked at level 1
    nib = [0]
    for page in list(links) + [0x8FF, 0x8FF]:
        m = (page >> 8 & 7) ^ mag
        nib += [page & 15, page >> 4 & 15, 0xF, 0x7 | (m & 1) << 3, 0xF, 0x3 | (m >> 1) << 2]
    nib += [0x8]
    return address(mag, 27) + bytes(HAM84[n] for n in nib) + b'\x15\x15'


def x28_packet(mag, g0):
    # X/28/0 format 1: level 1 page, 7-bit coding, default G0/G2 set
    triplets = [g0 << 7] + [0] * 12
    return address(mag, 28) + bytes([HAM84[0]]) + b''.join(ham2418(t) for t in triplets)


# ---- content -------------------------------------------------------------
PAGE100 = {
    0x0001: {1: '\x0d\x03Nachrichten aus Köln', 3: '\x07Grüße aus München und Düsseldorf',
             4: 'Äpfel, Öl und Übermut: heiß!', 5: 'Maßstab: schön, süß, böse, lästig',
             7: '\x01Rot\x02Grün\x03Gelb\x04Blau\x05Magenta\x06Cyan\x07Weiß',
             9: 'Untertitel deutsch: Seite 888', 10: 'Untertitel französisch: Seite 889',
             23: '\x04Unterseite 1/2'},
    0x0002: {1: '\x0d\x06Wetter für Österreich', 3: 'Morgen früh: Glätte, Schnee über 800 m',
             4: 'Überall Frost, äußerst kühl', 6: '\x02grün\x01rot\x05Öl',
             23: '\x04Unterseite 2/2'},
}
# (page, language, frame, lines); no lines: erase the page. A cue lasts
# until the next entry of its page.
CUES = [
    (0x888, 'deu', 25, ['Schöne Grüße aus Köln!']),
    (0x888, 'deu', 60, ['Über Nacht fällt Schnee,', 'die Straßen sind glatt.']),
    (0x888, 'deu', 95, ['Mädchen spielen draußen.']),
    (0x888, 'deu', 120, []),
    (0x888, 'deu', 140, ['Ärger über Ölpreise: Öffentlich!']),
    (0x888, 'deu', 175, []),
    (0x889, 'fra', 40, ['Déjà l\'été à Genève.']),
    (0x889, 'fra', 110, ['Voilà, c\'est une fenêtre ouverte,', 'très bien, garçon !']),
    (0x889, 'fra', 160, []),
    (0x890, 'tur', 80, ['Güneşli ve sıcak bir gün.', 'Iğdır\'da hava çok güzel.']),
    (0x890, 'tur', 130, []),
    (0x777, 'deu', 150, ['Nicht angekündigt: Seite 777 für Sie']),   # not in the PMT
    (0x777, 'deu', 185, []),
]
ANNOUNCED = [('deu', 1, 0x100), ('deu', 2, 0x888), ('fra', 2, 0x889)]


def header_text(frame):
    return 'LUMTEXT  Mo 07.12.26  12:00:%02d' % (frame // FPS)


def boxed(line):
    # start box twice, end box twice, centred: as broadcasters send subtitles
    return ('\x0b\x0b%s\x0a\x0a' % line).center(40).rstrip()


def subtitle_units(page, lang, lines, frame):
    """Header with erase, charset packet if needed, rows, then a filler header
    of the same magazine: a page counts as complete only once another page
    of its magazine starts, and we want that within this PES."""
    mag = page >> 8
    pk = [header_packet(page, 0, lang, erase=True, subtitle=True, text=header_text(frame))]
    if lang == 'tur':
        pk.append(x28_packet(mag, TURKISH_G0))
    first = 24 - 2 * len(lines)
    for i, line in enumerate(lines):
        pk.append(row_packet(mag, first + 2 * i, boxed(line), lang))
    pk.append(header_packet((mag << 8) | 0xFF, 0x3F7F, 'deu', text=header_text(frame)))
    return pk


LINKS = (0x888, 0x889, 0x890, 0x777)   # page 100's red, green, yellow and blue


def carousel():
    """Page 100 forever, one packet a frame, subpages alternating."""
    while True:
        for sub, rows in PAGE100.items():
            yield 'header', sub
            yield 27, x27_packet(1, LINKS)
            for r, text in sorted(rows.items()):
                yield r, row_packet(1, r, text, 'deu')
            yield 'filler', None   # a new subcode alone does not end the page


# ---- transport stream ---------------------------------------------------
def crc32(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = (crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def section(table_id, ext, body):
    length = 5 + len(body) + 4
    s = bytes([table_id, 0xB0 | length >> 8, length & 255, ext >> 8, ext & 255,
               0xC1, 0, 0]) + body
    return s + crc32(s).to_bytes(4, 'big')


def pat():
    return section(0x00, 1, bytes([0, 1, 0xE0 | PID_PMT >> 8, PID_PMT & 255]))


def pmt():
    desc = b''.join(lang.encode() + bytes([ttype << 3 | (page >> 8) & 7, page & 255])
                    for lang, ttype, page in ANNOUNCED)
    desc = bytes([0x56, len(desc)]) + desc
    es = bytes([0x06, 0xE0 | PID_TXT >> 8, PID_TXT & 255, 0xF0, len(desc)]) + desc
    body = bytes([0xE0 | PID_PCR >> 8, PID_PCR & 255, 0xF0, 0]) + es
    return section(0x02, 1, body)


class Mux:
    def __init__(self):
        self.cc = {}
        self.out = bytearray()

    def packet(self, pid, payload, start=False, adapt=None):
        head = bytes([0x47, (0x40 if start else 0) | pid >> 8, pid & 255])
        if adapt is not None:   # adaptation field only; counter stays
            cc = self.cc.get(pid, 0)
            body = bytes([183]) + adapt + b'\xff' * (183 - len(adapt))
            self.out += head + bytes([0x20 | cc]) + body
            return
        cc = self.cc.get(pid, -1) + 1 & 15
        self.cc[pid] = cc
        assert len(payload) == 184
        self.out += head + bytes([0x10 | cc]) + payload

    def psi(self, pid, sec):
        self.packet(pid, (b'\0' + sec).ljust(184, b'\xff'), start=True)

    def pcr(self, b):
        self.packet(PID_PCR, None, adapt=bytes([0x10, b >> 25 & 255, b >> 17 & 255,
                    b >> 9 & 255, b >> 1 & 255, (b & 1) << 7 | 0x7E, 0]))

    def null(self):
        assert len(self.out) % 188 == 0
        self.out += bytes([0x47, 0x1F, 0xFF, 0x10]) + b'\xff' * 184


def pts_bytes(pts):
    return bytes([0x21 | (pts >> 29) & 0x0E, pts >> 22 & 255, 0x01 | (pts >> 14) & 0xFE,
                  pts >> 7 & 255, 0x01 | (pts << 1) & 0xFE])


def pes(units, pts):
    """Teletext PES: 0x24 header bytes, 46-byte data units, padded with
    stuffing units so the PES fills whole TS packets (3 or 7 units)."""
    n = 3 if len(units) <= 3 else 7
    assert len(units) <= n
    data = bytearray([0x10])
    for i, (uid, pk) in enumerate(units + [(0xFF, None)] * (n - len(units))):
        if pk is None:
            data += bytes([0xFF, 0x2C]) + b'\xff' * 44
            continue
        field, line = (1, 7 + i) if i < 4 else (0, 7 + i - 4)
        data += bytes([uid, 0x2C, 0xC0 | field << 5 | line, 0xE4]) + pk.translate(REVERSED)
    head = bytes([0x84, 0x80, 0x24]) + pts_bytes(pts) + b'\xff' * 31
    body = head + data
    return b'\x00\x00\x01\xbd' + len(body).to_bytes(2, 'big') + body


def build(damaged=False):
    mux, rng, car = Mux(), random.Random(7), carousel()
    truth = {'pid': PID_TXT, 'first_pcr_90k': FIRST_PCR_90K, 'pts_delay_90k': PTS_DELAY,
             'frame_90k': FRAME_90K, 'frames': FRAMES,
             'announced': [{'language': l, 'type': t, 'page': '%X' % p} for l, t, p in ANNOUNCED],
             'page100': {'links': ['%X' % p for p in LINKS], 'subpages': {'%04X' % s: {str(r): shown(t) for r, t in rows.items()}
                                      for s, rows in PAGE100.items()},
                         'transmissions': []},
             'cues': [], 'damaged': {'pts_jump_frame': 120, 'pts_jump_90k': 3 * 90000,
                                     'garbled_ts_packets': []}}
    open_cue = {}
    for f in range(FRAMES):
        pcr = FIRST_PCR_90K + f * FRAME_90K
        pts = pcr + PTS_DELAY
        if damaged and f >= truth['damaged']['pts_jump_frame']:
            pts += truth['damaged']['pts_jump_90k']     # PCR carries on
        units = []
        for page, lang, cf, lines in CUES:
            if cf != f:
                continue
            units += [(3, p) for p in subtitle_units(page, lang, lines, f)]
            if page in open_cue:
                open_cue.pop(page)['end_pts'] = pts
            if lines:
                open_cue[page] = {'page': '%X' % page, 'language': lang, 'lines': lines,
                                  'rows': [24 - 2 * (len(lines) - i) for i in range(len(lines))],
                                  'frame': f, 'pts': pts, 'end_pts': None}
                truth['cues'].append(open_cue[page])
        kind, val = next(car)
        if kind == 'header':
            units.append((2, header_packet(0x100, val, 'deu', text=header_text(f))))
            truth['page100']['transmissions'].append(
                {'subcode': '%04X' % val, 'pts': pts, 'header': header_text(f)})
        elif kind == 'filler':
            units.append((2, header_packet(0x1FF, 0x3F7F, 'deu', text=header_text(f))))
            truth['page100']['transmissions'][-1]['complete_pts'] = pts
        else:
            units.append((2, val))
        mux.pcr(pcr)
        if f % 5 == 0:
            mux.psi(0, pat())
            mux.psi(PID_PMT, pmt())
        data = pes(units, pts)
        for i in range(0, len(data), 184):
            chunk = bytearray(data[i:i + 184])
            if damaged and rng.random() < 0.08:
                truth['damaged']['garbled_ts_packets'].append(len(mux.out) // 188)
                for _ in range(6):
                    chunk[rng.randrange(184)] = rng.randrange(256)
            mux.packet(PID_TXT, bytes(chunk), start=i == 0)
        while len(mux.out) % (188 * PKTS_PER_FRAME):
            mux.null()
    assert not open_cue
    return bytes(mux.out), truth


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(outdir, exist_ok=True)
    ts, truth = build()
    bad_ts, bad_truth = build(damaged=True)
    truth['damaged'] = bad_truth['damaged']
    for name, data in (('teletext.ts', ts), ('teletext_damaged.ts', bad_ts)):
        with open(os.path.join(outdir, name), 'wb') as f:
            f.write(data)
    with open(os.path.join(outdir, 'teletext.json'), 'w', encoding='utf-8') as f:
        json.dump(truth, f, ensure_ascii=False, indent=1)
        f.write('\n')


if __name__ == '__main__':
    main()
