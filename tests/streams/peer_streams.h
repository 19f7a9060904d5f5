#pragma once
// The committed test streams, each with the peers' readings beside it; README.md says what each
// holds. LUM_PEER_STREAMS_DIR and LUM_SAMPLE_DIR come from the build (lum_peer_streams).

#define LUM_PEER_STREAM(file) LUM_PEER_STREAMS_DIR "/" file

// Programs 101-103 with their PMTs, SDT, NIT, EIT p/f and schedule, TDT and TOT; 8 s at a constant
// rate, SI in place of null packets. Service 103's following section is empty.
#define LUM_PEER_THREE_PROGRAMS_TS LUM_PEER_STREAM("three_programs.ts")
#define LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND 240000
#define LUM_PEER_CHANNEL_NUMBERS_TS LUM_PEER_STREAM("channel_numbers.ts")
// SI alone, names in ISO 8859-9, ISO 8859-15 and the default table, their UTF-8 written by hand.
#define LUM_PEER_LATIN_TABLES_TS LUM_PEER_STREAM("latin_tables.ts")
#define LUM_PEER_LATIN_TABLES_EXPECTED LUM_PEER_STREAM("latin_tables.expected.json")
// SI alone, no PAT: an SDT and an EIT p/f section cut short (service 999, "CUT NAME 101" and event
// 9999 must never show); halfway, new versions of the NIT and of service 101's present/following.
#define LUM_PEER_CUT_SECTION_TS LUM_PEER_STREAM("cut_section.ts")
// SI alone, one set of a multiplex's tables as a tuner first sees them, for the benchmarks.
#define LUM_PEER_SI_RICH_TS LUM_PEER_STREAM("si_rich.ts")

// The sample bundled with the project (samples/README.md).
#define LUM_SAMPLE_TS LUM_SAMPLE_DIR "/sample.ts"
#define LUM_SAMPLE_EXPECTED_JSON LUM_SAMPLE_DIR "/sample.expected.json"
