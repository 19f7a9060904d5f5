#pragma once
// Told which program changed and how, on the receive thread, while the receiver's
// programs lock is held: keep it short and take no PID receiver list lock in it.
#include "platform/LUMTypes.h"

class CDVBTransportStreamUpdateHandler
{
public:
    // Update type codes.
    static constexpr int UpdatePAT = 1;
    static constexpr int UpdatePMT = 2;
    static constexpr int UpdateSDT = 3;
    static constexpr int UpdateEIT = 4;

    virtual ~CDVBTransportStreamUpdateHandler() = default;
    virtual void OnServiceInformationUpdate(WORD programNumber, int updateType);
};
