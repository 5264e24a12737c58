#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <readline/history.h>
#include <readline/readline.h>

#include "platform/haven/console_output.h"
#include "platform/haven/line_reader.h"

namespace haven {

namespace {

// Waits for standard input to become readable for at most `every`; answers whether it did.
bool InputReady(std::chrono::milliseconds every)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, static_cast<int>(every.count()));
    return ready > 0;
}

class PipeReader final : public LineReader {
public:
    bool Next(std::string& line, const std::function<bool()>& idle, std::chrono::milliseconds every) override
    {
        for (;;) {
            const size_t end = Buffer.find('\n');
            if (end != std::string::npos) {
                line = Buffer.substr(0, end);
                Buffer.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                return true;
            }
            if (Ended) {
                if (Buffer.empty()) {
                    return false;
                }
                line.swap(Buffer);
                Buffer.clear();
                return true;
            }
            if (!InputReady(every)) {
                if (idle) {
                    idle();
                }
                continue;
            }
            char chunk[4096];
            const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                Ended = true;
                continue;
            }
            Buffer.append(chunk, static_cast<size_t>(got));
        }
    }
    bool Interactive() const override { return false; }

private:
    std::string Buffer;
    bool Ended = false;
};

// readline's callback interface, so the host can pulse between key strokes. readline keeps
// its state in globals; there is one terminal reader per process.
class TerminalReader final : public LineReader {
public:
    bool Next(std::string& line, const std::function<bool()>& idle, std::chrono::milliseconds every) override
    {
        Done = false;
        Got = nullptr;
        rl_callback_handler_install("haven> ", &TerminalReader::OnLine);
        SetPromptShown(true);
        while (!Done) {
            if (InputReady(every)) {
                rl_callback_read_char();
            } else if (idle && idle()) {
                // Lines printed meanwhile (events from the worker thread) took the prompt's
                // place; show the prompt and the typed text again below them.
                rl_on_new_line();
                rl_redisplay();
            }
        }
        SetPromptShown(false);
        if (Got == nullptr) {
            std::fputc('\n', stdout);
            return false;
        }
        line = Got;
        if (!line.empty()) {
            add_history(Got);
        }
        std::free(Got);
        Got = nullptr;
        return true;
    }
    bool Interactive() const override { return true; }

private:
    static void OnLine(char* text)
    {
        Got = text;
        Done = true;
        // The line is complete: the next prompt comes with the next Next.
        rl_callback_handler_remove();
    }

    static inline char* Got = nullptr;
    static inline bool Done = false;
};

} // namespace

std::unique_ptr<LineReader> OpenStandardInputReader()
{
    if (isatty(STDIN_FILENO) != 0) {
        return std::make_unique<TerminalReader>();
    }
    return std::make_unique<PipeReader>();
}

} // namespace haven
