#include "client/receive_assembler.h"

ReceiveAssembler::ReceiveAssembler(std::string& buffer, size_t cap) : Buffer(buffer), Limit(cap)
{
    Buffer.clear();
}

ReceiveAssembler::Result ReceiveAssembler::Append(const char* data, size_t length, bool final)
{
    if (Complete) {
        Buffer.clear();
        Complete = false;
    }
    if (!Overflowed) {
        if (length > Limit - Buffer.size()) {
            Overflowed = true;
            // Give the memory back at once: an oversized message may be much longer still.
            std::string().swap(Buffer);
        } else if (length > 0) {
            Buffer.append(data, length);
        }
    }
    if (!final) {
        return Result::Incomplete;
    }
    if (Overflowed) {
        Overflowed = false;
        return Result::Dropped;
    }
    Complete = true;
    return Result::Complete;
}
