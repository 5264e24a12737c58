#include <fstream>

#include "platform/haven/line_reader.h"

namespace haven {

namespace {

class ScriptReader final : public LineReader {
public:
    explicit ScriptReader(const std::string& path) : File(path, std::ios::binary) {}
    bool IsOpen() const { return File.is_open(); }

    bool Next(std::string& line, const std::function<bool()>&, std::chrono::milliseconds) override
    {
        if (!std::getline(File, line)) {
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }
    bool Interactive() const override { return false; }

private:
    std::ifstream File;
};

} // namespace

std::unique_ptr<LineReader> OpenScriptReader(const std::string& path, std::string& error)
{
    auto reader = std::make_unique<ScriptReader>(path);
    if (!reader->IsOpen()) {
        error = "cannot open script " + path;
        return nullptr;
    }
    return reader;
}

} // namespace haven
