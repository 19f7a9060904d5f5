#!/usr/bin/env python3
"""Writes the seed corpora of the SI fuzz targets: one well-formed section of each table."""
import os
import sys


def crc32_mpeg2(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if crc & 0x80000000 else (crc << 1) & 0xFFFFFFFF
    return crc


def long_section(table_id, extension, body):
    length = len(body) + 9
    head = bytes([table_id, 0xB0 | (length >> 8), length & 0xFF, extension >> 8, extension & 0xFF, 0xC3, 0, 0])
    section = head + body
    return section + crc32_mpeg2(section).to_bytes(4, 'big')


def short_section(table_id, body):
    return bytes([table_id, 0x70 | (len(body) >> 8), len(body) & 0xFF]) + body


def descriptor(tag, payload):
    return bytes([tag, len(payload)]) + payload


def counted(text):
    return bytes([len(text)]) + text


service = descriptor(0x48, b'\x01' + counted(b'\x05Prov\xe9') + counted(b'Name'))
event = descriptor(0x4D, b'eng' + counted(b'News') + counted(b'\x15Today'))
terrestrial = descriptor(0x5A, bytes([0x02, 0xFA, 0xF0, 0x80, 0x1F, 0x81, 0x03, 0xFF, 0xFF, 0xFF, 0xFF]))
sections = {
    'pat': long_section(0x00, 1, bytes([0, 0, 0xE0, 0x10, 0, 1, 0xE1, 0x00])),
    'pmt': long_section(0x02, 1, bytes([0xE1, 0x00, 0xF0, 0x00, 0x1B, 0xE1, 0x00, 0xF0, 0x00,
                                        0x03, 0xE1, 0x01, 0xF0, 0x06]) + descriptor(0x0A, b'fra\x00')),
    'sdt': long_section(0x42, 1, bytes([0x23, 0x3A, 0xFF, 0x10, 0x41, 0xFD, 0x80, len(service)]) + service),
    'nit': long_section(0x40, 0x3005, bytes([0xF0, 5]) + descriptor(0x40, b'Net') +
                        bytes([0xF0, 6 + len(terrestrial), 0x10, 0x04, 0x23, 0x3A, 0xF0, len(terrestrial)]) + terrestrial),
    'eit': long_section(0x4E, 0x1041, bytes([0x10, 0x04, 0x23, 0x3A, 0, 0x4E, 0, 1, 0xCF, 0xD1, 0x12, 0x45, 0,
                                             0x01, 0x30, 0, 0x80, len(event)]) + event),
    'tdt': short_section(0x70, bytes([0xCF, 0xD1, 0x12, 0x45, 0x07])),
    'tot': short_section(0x73, bytes([0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0, 0]) + b'\0\0\0\0'),
}
# Damaged where a table keeps what it can: a descriptor past its loop, extended event items past
# their length, a content descriptor of odd length.
damaged = bytes([0x4D, 40]) + b'en'
extended = descriptor(0x4E, b'\x01eng' + bytes([10]) + counted(b'Dir') + counted(b'Ann') + bytes([9]) + b'Q' +
                      counted(b'Plot'))
content = descriptor(0x54, bytes([0x10, 0x00, 0x20]))
sections['eit_damaged'] = long_section(0x4E, 0x1041, bytes([0x10, 0x04, 0x23, 0x3A, 0, 0x4E, 0, 1, 0xCF, 0xD1, 0x12,
                                                            0x45, 0, 0x01, 0x30, 0, 0x80,
                                                            len(extended + content + damaged)]) +
                                       extended + content + damaged)
sections['nit_damaged'] = long_section(0x40, 0x3005, bytes([0xF0, 5 + len(damaged)]) + descriptor(0x40, b'Net') +
                                       damaged + bytes([0xF0, 6, 0x10, 0x04, 0x23, 0x3A, 0xF0, 0]))
sections['tot_damaged'] = short_section(0x73, bytes([0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0, len(damaged)]) + damaged +
                                        b'\0\0\0\0')

root = os.path.join(os.path.dirname(os.path.abspath(sys.argv[0])), 'corpus')
for name, section in sections.items():
    with open(os.path.join(root, 'CDVBSISectionFuzz', name), 'wb') as f:
        f.write(section)
    # the SI receiver target: a flag byte (unit start, payload only), then the payload
    payload = bytes([0]) + section
    packets = b''
    for i in range(0, len(payload), 184):
        flags = 0x50 if i == 0 else 0x10
        packets += bytes([flags]) + payload[i:i + 184].ljust(184, b'\xff')
    with open(os.path.join(root, 'CDVBSIReceiverFuzz', name), 'wb') as f:
        f.write(packets)
