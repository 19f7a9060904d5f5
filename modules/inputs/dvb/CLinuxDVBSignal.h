#pragma once
// What a frontend says of its signal. Strength and C/N come in whatever scale the driver
// uses: decibels, a relative 0..65535, or nothing at all. Bit error rate and uncorrected
// blocks come only from drivers that count them.
#include <string>

struct CLinuxDVBSignal
{
    bool m_locked = false;
    bool m_hasCarrier = false;
    double m_strengthDbm = 0;        // when m_strengthScale is Decibel
    double m_strengthPercent = 0;    // when Relative
    double m_snrDb = 0;              // when m_snrScale is Decibel
    double m_snrPercent = 0;         // when Relative
    enum Scale { None, Decibel, Relative };
    Scale m_strengthScale = None;
    Scale m_snrScale = None;
    double m_bitErrorRate = -1;              // after error correction; -1 when not counted
    long long m_uncorrectedBlocks = -1;      // since the tuner was tuned; -1 when not counted

    // "locked, signal 78%, C/N 23.5 dB, BER 2.1e-05, 12 uncorrected blocks"; "no signal"
    // before a carrier is found.
    std::string ToString() const;
};
