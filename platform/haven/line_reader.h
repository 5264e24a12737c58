// Where console lines come from: a script file, or standard input (with line editing and
// history when it is a terminal). While waiting for input the reader calls `idle` at the
// pulse interval, so the host keeps pulsing; `idle` answers whether lines were printed
// since the last call, so a terminal can show its prompt again below them.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace haven {

class LineReader {
public:
    virtual ~LineReader() = default;
    // The next line without its line break; false at the end of the input.
    virtual bool Next(std::string& line, const std::function<bool()>& idle, std::chrono::milliseconds every) = 0;
    // Whether a person types the lines (a terminal), as opposed to a script or a pipe.
    virtual bool Interactive() const = 0;
};

// None with `error` filled when the file cannot be opened.
std::unique_ptr<LineReader> OpenScriptReader(const std::string& path, std::string& error);
std::unique_ptr<LineReader> OpenStandardInputReader();

} // namespace haven
