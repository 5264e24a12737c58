// A text that one thread replaces while another reads it. Readers always get a whole
// copy, never a text in the middle of being replaced.
#pragma once

#include <mutex>
#include <string>

class GuardedText {
public:
    void Set(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(Mutex);
        Value = text;
    }
    std::string Get() const
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return Value;
    }
    bool Empty() const
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return Value.empty();
    }
    void Clear() { Set(std::string()); }

private:
    mutable std::mutex Mutex;
    std::string Value;
};
