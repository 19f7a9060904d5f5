#pragma once
// What a receiver has heard of its programs, for the commands' messages: whether the PAT
// has come and named a service, and lists of what the multiplex does carry.
#include "platform/LUMTypes.h"

#include <string>

class CDVBTransportStreamReceiver;

class CHeardPrograms
{
public:
    // Whether the PAT has come; `named` says whether it names the service.
    static bool PatHasCome(CDVBTransportStreamReceiver& receiver, WORD service, bool& named);
    // "no service 999 in NAME; its services are 101, 102"
    static std::string NoService(CDVBTransportStreamReceiver& receiver, WORD service, const std::string& multiplex);
    // "0x100, 0x101, ...": the PIDs of every component the program maps name.
    static std::string ComponentList(CDVBTransportStreamReceiver& receiver);
};
