#pragma once

#include "systemcalls.h"

// The save's system calls, some swapped for stand-ins by a test; the
// system's own again when this goes.
struct SwappedSystemCalls {
    const SystemCalls original = systemCalls();
    ~SwappedSystemCalls() { systemCalls() = original; }
    SystemCalls* operator->() const { return &systemCalls(); }
};
