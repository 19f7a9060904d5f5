#include "CInterruption.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

}  // namespace

void CInterruption::Catch()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

bool CInterruption::IsRequested()
{
    return g_interrupted != 0;
}
