#include <iostream>

#include "platform/haven/line_reader.h"

namespace haven {

namespace {

// The Windows console edits lines itself; pulses pause while a line is typed.
class ConsoleReader final : public LineReader {
public:
    bool Next(std::string& line, const std::function<bool()>&, std::chrono::milliseconds) override
    {
        std::cout << "haven> " << std::flush;
        return static_cast<bool>(std::getline(std::cin, line));
    }
    bool Interactive() const override { return true; }
};

} // namespace

std::unique_ptr<LineReader> OpenStandardInputReader()
{
    return std::make_unique<ConsoleReader>();
}

} // namespace haven
