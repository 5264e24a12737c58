// The host console: every line goes to standard output whole, whichever thread prints it,
// and is kept so the in-process host can hand tests what was printed.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace haven {

class ConsoleOutput {
public:
    explicit ConsoleOutput(bool echoToStdout) : EchoToStdout(echoToStdout) {}

    // One line; a trailing line break is expected to be stripped already. Line breaks
    // inside the text are shown as the two characters \n so a call stays one line.
    void Line(const std::string& text);

    std::vector<std::string> Lines() const;
    // Lines printed since the count `first` (as answered by Count).
    std::vector<std::string> LinesSince(size_t first) const;
    size_t Count() const;

private:
    const bool EchoToStdout;
    mutable std::mutex Mutex;
    std::vector<std::string> Kept;
};

// Writes one whole line on standard output and flushes it; the one lock every writer of
// the process shares.
void WriteStdoutLine(const std::string& text);

// While a terminal prompt is shown, lines first clear the prompt's row so they do not
// run on after it.
void SetPromptShown(bool shown);

} // namespace haven
