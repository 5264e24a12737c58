#include "platform/haven/console_output.h"

#include <atomic>
#include <cstdio>

namespace haven {

namespace {

std::mutex& StdoutMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string OneLine(const std::string& text)
{
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace

std::atomic<bool> PromptShown{false};

void SetPromptShown(bool shown)
{
    PromptShown = shown;
}

void WriteStdoutLine(const std::string& text)
{
    std::lock_guard<std::mutex> guard(StdoutMutex());
    if (PromptShown) {
        std::fputs("\r\033[K", stdout);
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ConsoleOutput::Line(const std::string& text)
{
    std::string line = OneLine(text);
    // Keeping and writing under one lock keeps the kept order equal to the printed order.
    std::lock_guard<std::mutex> guard(Mutex);
    if (EchoToStdout) {
        WriteStdoutLine(line);
    }
    Kept.push_back(std::move(line));
}

std::vector<std::string> ConsoleOutput::Lines() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return Kept;
}

std::vector<std::string> ConsoleOutput::LinesSince(size_t first) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    if (first >= Kept.size()) {
        return {};
    }
    return std::vector<std::string>(Kept.begin() + static_cast<std::ptrdiff_t>(first), Kept.end());
}

size_t ConsoleOutput::Count() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return Kept.size();
}

} // namespace haven
