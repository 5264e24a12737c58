#include "platform/haven/console_interpreter.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <thread>
#include <algorithm>

#include "platform/haven/console_command_table.h"
#include "platform/haven/expression_evaluator.h"
#include "platform/haven/haven_host.h"

namespace haven {

namespace {

// The record of request 1001 to an offered service; shared between modules, so its layout
// is fixed.
struct FooRequest {
    const char* Name;
    int32_t Age;
    float Height;
    bool Handled;
};
static_assert(offsetof(FooRequest, Age) == sizeof(void*), "FooRequest layout");
static_assert(offsetof(FooRequest, Height) == sizeof(void*) + 4, "FooRequest layout");
static_assert(offsetof(FooRequest, Handled) == sizeof(void*) + 8, "FooRequest layout");

constexpr uint32_t FooRequestId = 1001;
constexpr long long MaxMilliseconds = 24LL * 60 * 60 * 1000;
constexpr long long MaxPulses = 100000;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t SkipSpace(const std::string& line, size_t pos)
{
    while (pos < line.size() && IsSpace(line[pos])) {
        ++pos;
    }
    return pos;
}

std::string Trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// A whole decimal number within [low, high]; nothing else is accepted.
bool ReadInteger(const std::string& text, long long low, long long high, long long& value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long read = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || read < low || read > high) {
        return false;
    }
    value = read;
    return true;
}

bool IsDigits(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::string SyntaxMessage(const SyntaxError& error)
{
    return "syntax error at column " + std::to_string(error.Column) + ": " + error.Message;
}

// Where "==" or "!=" stands outside quoted text, or npos.
size_t FindComparison(const std::string& line, size_t begin)
{
    bool quoted = false;
    for (size_t i = begin; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if ((c == '=' || c == '!') && line[i + 1] == '=') {
            return i;
        }
    }
    return std::string::npos;
}

const char* const HelpLines[] = {
    "<Object>.<Member>[args].<Method>(args)  read members, call a method (the last element with parentheses)",
    "print <text>                            print a text",
    "wait <Event> [timeout-ms] [\"arg\" ...]   take the oldest pending event of that name (and leading args)",
    "sleep <ms>                              pause, delivering pulses",
    "expect <expression> == <text>           fail unless the expression's text equals the text (!= too)",
    "expect-no-value <expression>            fail unless the expression has no value",
    "events [all]                            list pending events (all: registered events and counts)",
    "clear-events                            forget every pending event",
    "service connect <name>                  connect the console to a service an extension offers",
    "service foo <name> <age> <height>       send request 1001 with a FooRequest record",
    "service disconnect                      leave the service",
    "notify <host-service> <message>         send a notification to the clients of a host service",
    "pulse [n]                               deliver n pulses now (default 1)",
    "command <name> [args ...]               run a command an extension added",
    "help                                    this list",
    "quit | exit                             shut the module down, unload it and end",
    "# ...                                   a comment",
};

} // namespace

bool ConsoleInterpreter::Fail(const std::string& message)
{
    Host.Print("error: " + message);
    return false;
}

void ConsoleInterpreter::LeaveService()
{
    if (Connection != 0) {
        Host.Services().Disconnect(Host.ConsoleClient(), Connection);
        Host.Print("service: left \"" + ConnectedService + "\"");
        Connection = 0;
        ConnectedService.clear();
    }
}

bool ConsoleInterpreter::Run(const std::string& line, bool& quit)
{
    quit = false;
    const size_t start = SkipSpace(line, 0);
    if (start >= line.size() || line[start] == '#') {
        return true;
    }
    size_t wordEnd = start;
    while (wordEnd < line.size() && !IsSpace(line[wordEnd])) {
        ++wordEnd;
    }
    const std::string name = line.substr(start, wordEnd - start);

    // Commands that take the rest of the line as it stands.
    if (name == "print") {
        return Print(line, wordEnd);
    }
    if (name == "expect" || name == "expect-no-value") {
        return Expect(line, wordEnd, name == "expect-no-value");
    }

    const bool isCommand = name == "help" || name == "quit" || name == "exit" || name == "wait" ||
                           name == "sleep" || name == "events" || name == "clear-events" ||
                           name == "service" || name == "notify" || name == "pulse" || name == "command";
    const bool isRegistered = !isCommand && FindConsoleCommand(name).has_value();
    if (!isCommand && !isRegistered) {
        return ShowValue(line, start);
    }
    std::vector<ConsoleWord> words;
    SyntaxError error;
    if (!SplitWords(line, wordEnd, line.size(), words, error)) {
        return Fail(SyntaxMessage(error));
    }
    if (isRegistered) {
        return Registered(name, words);
    }
    if (name == "help") {
        return Help();
    }
    if (name == "quit" || name == "exit") {
        quit = true;
        return true;
    }
    if (name == "wait") {
        return Wait(words);
    }
    if (name == "sleep") {
        return Sleep(words);
    }
    if (name == "events") {
        return Events(words);
    }
    if (name == "clear-events") {
        Host.EventTable().ClearPending();
        return true;
    }
    if (name == "service") {
        return Service(words);
    }
    if (name == "notify") {
        return Notify(words);
    }
    if (name == "pulse") {
        return Pulse(words);
    }
    return Command(words);
}

bool ConsoleInterpreter::Help()
{
    for (const char* text : HelpLines) {
        Host.Print(text);
    }
    for (const auto& [name, usage] : ListConsoleCommands()) {
        // Usages may or may not repeat the command's name.
        Host.Print(usage.rfind(name + " ", 0) == 0 || usage == name ? usage : name + " " + usage);
    }
    std::string objects = "top-level objects:";
    for (const std::string& name : Host.Scripts().TopLevelNames()) {
        objects += " " + name;
    }
    Host.Print(objects);
    return true;
}

bool ConsoleInterpreter::Print(const std::string& line, size_t rest)
{
    const std::string text = Trimmed(line.substr(rest));
    if (!text.empty() && text[0] == '"') {
        std::vector<ConsoleWord> words;
        SyntaxError error;
        if (!SplitWords(line, rest, line.size(), words, error)) {
            return Fail(SyntaxMessage(error));
        }
        if (words.size() == 1) {
            Host.Print(words[0].Text);
            return true;
        }
    }
    Host.Print(text);
    return true;
}

bool ConsoleInterpreter::ShowValue(const std::string& line, size_t begin)
{
    Expression expression;
    SyntaxError error;
    if (!ParseExpression(line, begin, line.size(), expression, error)) {
        return Fail(SyntaxMessage(error));
    }
    const Evaluation evaluation = Evaluate(expression, Host.Scripts());
    const std::string path = DescribePath(expression, expression.Elements.size() - 1);
    switch (evaluation.Outcome) {
    case EvaluationOutcome::Value:
        Host.Print(path + " = " + evaluation.Text);
        return true;
    case EvaluationOutcome::MethodDone:
        Host.Print(path + " -> true");
        return true;
    default:
        return Fail(evaluation.Message);
    }
}

bool ConsoleInterpreter::Expect(const std::string& line, size_t rest, bool noValue)
{
    const char* command = noValue ? "expect-no-value" : "expect";
    size_t expressionEnd = line.size();
    size_t operatorAt = std::string::npos;
    if (!noValue) {
        operatorAt = FindComparison(line, rest);
        if (operatorAt == std::string::npos) {
            return Fail("expect: expected <expression> == <text> or <expression> != <text>");
        }
        expressionEnd = operatorAt;
    }
    Expression expression;
    SyntaxError error;
    if (!ParseExpression(line, rest, expressionEnd, expression, error)) {
        return Fail(SyntaxMessage(error));
    }
    std::string wanted;
    if (!noValue) {
        const size_t textBegin = SkipSpace(line, operatorAt + 2);
        if (textBegin < line.size() && line[textBegin] == '"') {
            std::vector<ConsoleWord> words;
            if (!SplitWords(line, textBegin, line.size(), words, error)) {
                return Fail(SyntaxMessage(error));
            }
            if (words.size() != 1) {
                return Fail(SyntaxMessage(SyntaxError{words[1].Column, "one quoted text expected"}));
            }
            wanted = words[0].Text;
        } else {
            wanted = Trimmed(line.substr(operatorAt + 2));
        }
    }
    const Evaluation evaluation = Evaluate(expression, Host.Scripts());
    const std::string path = DescribePath(expression, expression.Elements.size() - 1);
    if (noValue) {
        if (evaluation.Outcome == EvaluationOutcome::NoValue) {
            Host.Print("ok: " + path + " has no value");
            return true;
        }
        if (evaluation.Outcome == EvaluationOutcome::Value) {
            return Fail(std::string(command) + " failed: " + path + " = " + evaluation.Text);
        }
        return Fail(std::string(command) + " failed: " +
                    (evaluation.Outcome == EvaluationOutcome::MethodDone ? path + " -> true" : evaluation.Message));
    }
    std::string text;
    if (evaluation.Outcome == EvaluationOutcome::Value) {
        text = evaluation.Text;
    } else if (evaluation.Outcome == EvaluationOutcome::MethodDone) {
        text = "true";
    } else {
        return Fail(std::string(command) + " failed: " + evaluation.Message);
    }
    const bool equal = line[operatorAt] == '=';
    if ((text == wanted) != equal) {
        return Fail(std::string(command) + " failed: " + path + " = " + QuoteText(text) + ", expected " +
                    (equal ? "== " : "!= ") + QuoteText(wanted));
    }
    Host.Print("ok: " + path + " = " + text);
    return true;
}

bool ConsoleInterpreter::Wait(const std::vector<ConsoleWord>& words)
{
    if (words.empty()) {
        return Fail("wait: expected wait <Event> [timeout-ms] [\"arg\" ...]");
    }
    const std::string name = words[0].Text;
    if (!Host.EventTable().IsRegistered(name)) {
        return Fail("wait: no event named \"" + name + "\" is registered");
    }
    std::chrono::milliseconds timeout = Host.Options().DefaultTimeout;
    size_t firstArg = 1;
    if (words.size() > 1 && !words[1].Quoted && IsDigits(words[1].Text)) {
        long long ms = 0;
        if (!ReadInteger(words[1].Text, 0, MaxMilliseconds, ms)) {
            return Fail("wait: " + words[1].Text + " is not a time-out in milliseconds (at most " +
                        std::to_string(MaxMilliseconds) + ")");
        }
        timeout = std::chrono::milliseconds(ms);
        firstArg = 2;
    }
    std::vector<std::string> args;
    for (size_t i = firstArg; i < words.size(); ++i) {
        args.push_back(words[i].Text);
    }
    if (!Host.WaitForEvent(name, timeout, args)) {
        std::string what = name;
        for (const std::string& arg : args) {
            what += " " + QuoteText(arg);
        }
        return Fail("wait: no event " + what + " within " + std::to_string(timeout.count()) + " ms");
    }
    return true;
}

bool ConsoleInterpreter::Sleep(const std::vector<ConsoleWord>& words)
{
    long long ms = 0;
    if (words.size() != 1 || !ReadInteger(words[0].Text, 0, MaxMilliseconds, ms)) {
        return Fail("sleep: expected sleep <milliseconds> (0 to " + std::to_string(MaxMilliseconds) + ")");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const auto interval = Host.Options().PulseInterval;
    // Pausing is this command's purpose; the host keeps pulsing meanwhile as it does when idle.
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_until(std::min(deadline, now + interval));
        if (std::chrono::steady_clock::now() < deadline) {
            Host.DeliverPulse();
        }
    }
}

bool ConsoleInterpreter::Events(const std::vector<ConsoleWord>& words)
{
    if (!words.empty() && words[0].Text == "all") {
        for (const RegisteredEvent& event : Host.EventTable().Registered()) {
            Host.Print("#" + std::to_string(event.Id) + " " + event.Name + " raised " + std::to_string(event.Raised));
        }
        return true;
    }
    if (!words.empty()) {
        return Fail("events: expected events or events all");
    }
    const std::vector<HostEvent> pending = Host.EventTable().Pending();
    if (pending.empty()) {
        Host.Print("no pending events");
    }
    for (const HostEvent& event : pending) {
        Host.Print("pending " + FormatEventLine(event));
    }
    return true;
}

bool ConsoleInterpreter::Service(const std::vector<ConsoleWord>& words)
{
    const std::string verb = words.empty() ? "" : words[0].Text;
    if (verb == "connect" && words.size() == 2) {
        if (Connection != 0) {
            return Fail("service connect: connected to \"" + ConnectedService + "\" already; service disconnect first");
        }
        const std::string& name = words[1].Text;
        if (!Host.Services().IsOffered(name)) {
            return Fail("service connect: no extension offers a service named \"" + name + "\"");
        }
        Connection = Host.Services().Connect(Host.ConsoleClient(), name.c_str(),
                                             [](void*, uint32_t, void*) {});
        if (Connection == 0) {
            return Fail("service connect: \"" + name + "\" refused the connection");
        }
        ConnectedService = name;
        Host.Print("service: connected to \"" + name + "\" as connection " + std::to_string(Connection));
        return true;
    }
    if (verb == "foo" && words.size() == 4) {
        if (Connection == 0) {
            return Fail("service foo: not connected; service connect <name> first");
        }
        long long age = 0;
        if (!ReadInteger(words[2].Text, INT32_MIN, INT32_MAX, age)) {
            return Fail("service foo: age " + QuoteText(words[2].Text) + " is not a 32-bit whole number");
        }
        errno = 0;
        char* end = nullptr;
        const float height = std::strtof(words[3].Text.c_str(), &end);
        if (words[3].Text.empty() || end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(height)) {
            return Fail("service foo: height " + QuoteText(words[3].Text) + " is not a number");
        }
        FooRequest request{words[1].Text.c_str(), static_cast<int32_t>(age), height, false};
        const RequestOutcome outcome =
            Host.Services().Request(Host.ConsoleClient(), Connection, FooRequestId, &request);
        if (outcome != RequestOutcome::Delivered) {
            return Fail("service foo: \"" + ConnectedService + "\" is no longer offered");
        }
        Host.Print(std::string("service: FooRequest Handled = ") + (request.Handled ? "true" : "false"));
        return true;
    }
    if (verb == "disconnect" && words.size() == 1) {
        if (Connection == 0) {
            return Fail("service disconnect: not connected");
        }
        LeaveService();
        return true;
    }
    return Fail("service: expected service connect <name> | service foo <name> <age> <height> | service disconnect");
}

bool ConsoleInterpreter::Notify(const std::vector<ConsoleWord>& words)
{
    long long message = 0;
    if (words.size() != 2 || !ReadInteger(words[1].Text, 0, UINT32_MAX, message)) {
        return Fail("notify: expected notify <host-service> <message>");
    }
    if (!ServiceRegistry::IsHostService(words[0].Text)) {
        return Fail("notify: \"" + words[0].Text + "\" is not a host service (Pulse, Memory, HTTP, Triggers, System)");
    }
    const size_t handlers = Host.Services().Notify(words[0].Text, static_cast<uint32_t>(message));
    Host.Print("notify: message " + std::to_string(message) + " sent to " + std::to_string(handlers) + " client(s) of " +
               words[0].Text);
    return true;
}

bool ConsoleInterpreter::Pulse(const std::vector<ConsoleWord>& words)
{
    long long count = 1;
    if (words.size() > 1 || (words.size() == 1 && !ReadInteger(words[0].Text, 0, MaxPulses, count))) {
        return Fail("pulse: expected pulse [count] (0 to " + std::to_string(MaxPulses) + ")");
    }
    size_t handlers = 0;
    for (long long i = 0; i < count; ++i) {
        handlers = Host.DeliverPulse();
    }
    Host.Print("pulse: " + std::to_string(count) + " pulse(s) to " + std::to_string(handlers) + " client(s)");
    return true;
}

bool ConsoleInterpreter::Command(const std::vector<ConsoleWord>& words)
{
    if (words.empty()) {
        return Fail("command: expected command <name> [args ...]");
    }
    const auto command = Host.Scripts().FindCommand(words[0].Text);
    if (!command) {
        return Fail("command: no command named \"" + words[0].Text + "\"");
    }
    std::vector<const char*> argv;
    for (size_t i = 1; i < words.size(); ++i) {
        argv.push_back(words[i].Text.c_str());
    }
    argv.push_back(nullptr);
    const int32_t answer = command->Handler(static_cast<int32_t>(words.size() - 1), argv.data());
    Host.Print("command " + words[0].Text + " answered " + std::to_string(answer));
    return true;
}

bool ConsoleInterpreter::Registered(const std::string& name, const std::vector<ConsoleWord>& words)
{
    const auto command = FindConsoleCommand(name);
    std::vector<std::string> args;
    for (const ConsoleWord& word : words) {
        args.push_back(word.Text);
    }
    std::string error;
    if (!command || !command->Command(args, error)) {
        return Fail(name + ": " + (error.empty() ? "failed" : error));
    }
    return true;
}

} // namespace haven
