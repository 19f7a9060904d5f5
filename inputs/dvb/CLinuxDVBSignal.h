#pragma once
// What a frontend says of its signal. Strength and SNR come in whatever scale the driver
// uses: decibels, a relative 0..65535, or nothing at all.
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

    // "locked, signal 78%, SNR 23.5 dB"; "no signal" before a carrier is found.
    std::string ToString() const;
};
