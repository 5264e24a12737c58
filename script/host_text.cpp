#include "script/host_text.h"

#include <array>
#include <mutex>

namespace {

std::mutex SlotsLock;
std::array<std::string, HostTextSlots> Slots;
size_t NextSlot = 0;

} // namespace

const char* HoldTextForHost(const std::string& text)
{
    std::lock_guard<std::mutex> guard(SlotsLock);
    std::string& slot = Slots[NextSlot];
    NextSlot = (NextSlot + 1) % HostTextSlots;
    slot = text;
    return slot.c_str();
}
