#pragma once
// Shows the host's busy pointer for its life, so it is cleared again whatever the
// operation inside does (the T-series uploads and settings writes).

#include "platform/Host.h"

namespace torvane {

class TBusyPointer {
public:
    TBusyPointer() { platform::Host().SetBusyCursor(true); }
    ~TBusyPointer() { platform::Host().SetBusyCursor(false); }
    TBusyPointer(const TBusyPointer&) = delete;
    TBusyPointer& operator=(const TBusyPointer&) = delete;
};

} // namespace torvane
