#pragma once
// The committed test streams and the peers' readings beside them (README.md). Every NAME.ts has
// NAME.dvbpsi.json (libdvbpsi's reading), but for si_rich, which only the benchmarks play;
// three_programs and latin_tables have NAME.ffprobe.json.
// LUM_PEER_STREAMS_DIR and LUM_SAMPLE_DIR come from the build (lum_peer_streams).

#define LUM_PEER_STREAM(file) LUM_PEER_STREAMS_DIR "/" file

// Programs 101-103 with video (102 with audio eng and fra), SDT, NIT, EIT p/f and schedule,
// TDT and TOT; 8 s at a constant 240 kbit/s, SI in place of null packets. Service 103's following
// section is empty.
#define LUM_PEER_THREE_PROGRAMS_TS LUM_PEER_STREAM("three_programs.ts")
#define LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND 240000
// SI alone: a PAT naming PMT PIDs that carry nothing, SDT and EIT p/f names in ISO 8859-9 (0x05),
// ISO 8859-15 (0x0B) and the default table; their hand-written UTF-8 in LUM_PEER_LATIN_TABLES_EXPECTED.
#define LUM_PEER_LATIN_TABLES_TS LUM_PEER_STREAM("latin_tables.ts")
#define LUM_PEER_LATIN_TABLES_EXPECTED LUM_PEER_STREAM("latin_tables.expected.json")
// SI alone, no PAT: an SDT and an EIT p/f section cut short by the next section on their PID
// (service 999, "CUT NAME 101" and event 9999 must never show), and halfway the NIT (version 3 to
// 4, "LUM Peer Network v2") and service 101's present/following (version 0 to 1) change.
#define LUM_PEER_CUT_SECTION_TS LUM_PEER_STREAM("cut_section.ts")
// SI alone, one set of each table, as a tuner first sees it: NIT (four transport streams), SDT and EIT p/f and a
// day's schedule of eight services (48 events each), TDT and TOT.
#define LUM_PEER_SI_RICH_TS LUM_PEER_STREAM("si_rich.ts")

// The sample bundled with the project (samples/README.md).
#define LUM_SAMPLE_TS LUM_SAMPLE_DIR "/sample.ts"
#define LUM_SAMPLE_EXPECTED_JSON LUM_SAMPLE_DIR "/sample.expected.json"
