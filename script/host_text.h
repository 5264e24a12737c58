// Texts handed to the host as a "string" value must stay unchanged until the host has copied
// them, while the worker thread may rename, replace or delete the model text they came from.
// The types therefore hand out a copy kept in a small ring of slots of the calling thread.
// The host copies a member's text before it calls into a type again, so a slot is only
// reused after HostTextSlots further texts have been handed out on the same thread.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t HostTextSlots = 16;

// Keeps a copy of `text` in the calling thread's next slot and answers its address.
const char* HoldTextForHost(const std::string& text);
