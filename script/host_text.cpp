#include "script/host_text.h"

#include <array>

const char* HoldTextForHost(const std::string& text)
{
    thread_local std::array<std::string, HostTextSlots> slots;
    thread_local size_t next = 0;
    std::string& slot = slots[next];
    next = (next + 1) % HostTextSlots;
    slot = text;
    return slot.c_str();
}
