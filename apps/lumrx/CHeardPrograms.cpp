#include "CHeardPrograms.h"

#include "model/CDVBProgram.h"
#include "platform/CSingleLock.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The services in number order: "1001, 1002".
std::string ServiceList(CDVBTransportStreamReceiver& receiver)
{
    std::vector<WORD> numbers;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        for (const CDVBProgram* program : *receiver.GetProgramsList())
            numbers.push_back(program->m_programNumber);
    }
    std::sort(numbers.begin(), numbers.end());
    std::string list;
    for (WORD number : numbers)
        list += (list.empty() ? "" : ", ") + std::to_string(number);
    return list.empty() ? "none" : list;
}

}  // namespace

bool CHeardPrograms::PatHasCome(CDVBTransportStreamReceiver& receiver, WORD service, bool& named)
{
    CSingleLock guard(*receiver.GetProgramsSection());
    bool come = false;
    named = false;
    for (const CDVBProgram* program : *receiver.GetProgramsList()) {
        come = come || program->m_receivedPAT;
        named = named || (program->m_receivedPAT && program->m_programNumber == service);
    }
    return come;
}

std::string CHeardPrograms::NoService(CDVBTransportStreamReceiver& receiver, WORD service, const std::string& multiplex)
{
    return "no service " + std::to_string(service) + " in " + multiplex + "; its services are " + ServiceList(receiver);
}

std::string CHeardPrograms::ComponentList(CDVBTransportStreamReceiver& receiver)
{
    std::vector<WORD> pids;
    {
        CSingleLock guard(*receiver.GetProgramsSection());
        for (const CDVBProgram* program : *receiver.GetProgramsList())
            for (const CDVBProgramElement* element : program->m_elements)
                pids.push_back(element->m_elementaryPid);
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    std::string list;
    char text[16];
    for (WORD pid : pids) {
        std::snprintf(text, sizeof text, "0x%X", pid);
        list += (list.empty() ? "" : ", ") + std::string(text);
    }
    return list.empty() ? "none" : list;
}
