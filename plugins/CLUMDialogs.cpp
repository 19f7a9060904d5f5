#include "plugins/CLUMDialogs.h"

#include <atomic>

namespace {

std::atomic<CLUMDialogs*> g_dialogs{nullptr};

}  // namespace

void CLUMDialogs::Install(CLUMDialogs* dialogs)
{
    g_dialogs = dialogs;
}

CLUMDialogs* CLUMDialogs::Installed()
{
    return g_dialogs;
}
