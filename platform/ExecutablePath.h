#pragma once
// Where the running program lives: plug-ins and definitions files sit beside it.
#include "platform/CString.h"

// The full path of the executable; empty if it cannot be read.
CString GetExecutablePath();

// Its folder, with the trailing '/'.
CString GetExecutableFolder();
