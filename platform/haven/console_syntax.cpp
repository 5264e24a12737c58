#include "platform/haven/console_syntax.h"

#include "platform/haven/event_registry.h"

namespace haven {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

SyntaxError At(size_t index, std::string message)
{
    return SyntaxError{index + 1, std::move(message)};
}

// Reads a quoted text starting at line[pos] == '"'; leaves pos after the closing quote.
bool ReadQuoted(const std::string& line, size_t& pos, size_t end, std::string& text, SyntaxError& error)
{
    const size_t open = pos++;
    text.clear();
    while (pos < end) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= end) {
                break;
            }
            const char escaped = line[pos + 1];
            switch (escaped) {
            case '"': text += '"'; break;
            case '\\': text += '\\'; break;
            case 'n': text += '\n'; break;
            case 't': text += '\t'; break;
            case 'r': text += '\r'; break;
            default:
                error = At(pos, std::string("unknown escape \\") + escaped);
                return false;
            }
            pos += 2;
            continue;
        }
        text += c;
        ++pos;
    }
    error = At(open, "unterminated quoted text");
    return false;
}

class ExpressionParser {
public:
    ExpressionParser(const std::string& line, size_t begin, size_t end) : Line(line), Pos(begin), End(end) {}

    bool Parse(Expression& expression, SyntaxError& error)
    {
        expression.Elements.clear();
        SkipSpace();
        if (Pos >= End) {
            error = At(Pos, "expected a name");
            return false;
        }
        for (;;) {
            PathElement element;
            if (!ReadElement(element, error)) {
                return false;
            }
            expression.Elements.push_back(std::move(element));
            SkipSpace();
            if (Pos >= End) {
                return true;
            }
            if (Line[Pos] != '.') {
                error = At(Pos, std::string("unexpected '") + Line[Pos] + "'");
                return false;
            }
            ++Pos;
            SkipSpace();
        }
    }

private:
    void SkipSpace()
    {
        while (Pos < End && IsSpace(Line[Pos])) {
            ++Pos;
        }
    }

    bool ReadElement(PathElement& element, SyntaxError& error)
    {
        if (Pos >= End || !IsNameStart(Line[Pos])) {
            error = At(Pos, "expected a name");
            return false;
        }
        element.Column = Pos + 1;
        while (Pos < End && IsNameChar(Line[Pos])) {
            element.Name += Line[Pos++];
        }
        SkipSpace();
        if (Pos < End && (Line[Pos] == '(' || Line[Pos] == '[')) {
            element.Call = Line[Pos] == '(' ? CallKind::Parens : CallKind::Brackets;
            const char close = Line[Pos] == '(' ? ')' : ']';
            ++Pos;
            return ReadArguments(close, element.Args, error);
        }
        return true;
    }

    bool ReadArguments(char close, std::vector<std::string>& args, SyntaxError& error)
    {
        SkipSpace();
        if (Pos < End && Line[Pos] == close) {
            ++Pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            std::string arg;
            if (!ReadArgument(arg, error)) {
                return false;
            }
            if (args.size() == MaxCallArguments) {
                error = At(Pos, "too many arguments");
                return false;
            }
            args.push_back(std::move(arg));
            SkipSpace();
            if (Pos >= End) {
                error = At(Pos, std::string("expected ',' or '") + close + "'");
                return false;
            }
            if (Line[Pos] == close) {
                ++Pos;
                return true;
            }
            if (Line[Pos] != ',') {
                error = At(Pos, std::string("expected ',' or '") + close + "'");
                return false;
            }
            ++Pos;
        }
    }

    bool ReadArgument(std::string& arg, SyntaxError& error)
    {
        if (Pos < End && Line[Pos] == '"') {
            return ReadQuoted(Line, Pos, End, arg, error);
        }
        while (Pos < End) {
            const char c = Line[Pos];
            if (IsSpace(c) || c == ',' || c == ')' || c == ']' || c == '(' || c == '[' || c == '"') {
                break;
            }
            arg += c;
            ++Pos;
        }
        if (arg.empty()) {
            error = At(Pos, "expected an argument");
            return false;
        }
        return true;
    }

    const std::string& Line;
    size_t Pos;
    const size_t End;
};

bool IsBareArgument(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (IsSpace(c) || c == ',' || c == ')' || c == ']' || c == '(' || c == '[' || c == '"' ||
            static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

} // namespace

bool SplitWords(const std::string& line, size_t begin, size_t end, std::vector<ConsoleWord>& words,
                SyntaxError& error)
{
    words.clear();
    if (end > line.size()) {
        end = line.size();
    }
    size_t pos = begin;
    for (;;) {
        while (pos < end && IsSpace(line[pos])) {
            ++pos;
        }
        if (pos >= end) {
            return true;
        }
        ConsoleWord word;
        word.Column = pos + 1;
        if (line[pos] == '"') {
            word.Quoted = true;
            if (!ReadQuoted(line, pos, end, word.Text, error)) {
                return false;
            }
            if (pos < end && !IsSpace(line[pos])) {
                error = At(pos, "expected a blank after the quoted text");
                return false;
            }
        } else {
            while (pos < end && !IsSpace(line[pos])) {
                if (line[pos] == '"') {
                    error = At(pos, "unexpected '\"' inside a word");
                    return false;
                }
                word.Text += line[pos++];
            }
        }
        words.push_back(std::move(word));
    }
}

bool ParseExpression(const std::string& line, size_t begin, size_t end, Expression& expression, SyntaxError& error)
{
    if (end > line.size()) {
        end = line.size();
    }
    ExpressionParser parser(line, begin, end);
    return parser.Parse(expression, error);
}

std::string DescribePath(const Expression& expression, size_t last)
{
    std::string text;
    for (size_t i = 0; i <= last && i < expression.Elements.size(); ++i) {
        const PathElement& element = expression.Elements[i];
        if (i > 0) {
            text += '.';
        }
        text += element.Name;
        if (element.Call == CallKind::None) {
            continue;
        }
        text += element.Call == CallKind::Parens ? '(' : '[';
        for (size_t a = 0; a < element.Args.size(); ++a) {
            if (a > 0) {
                text += ", ";
            }
            text += IsBareArgument(element.Args[a]) ? element.Args[a] : QuoteText(element.Args[a]);
        }
        text += element.Call == CallKind::Parens ? ')' : ']';
    }
    return text;
}

} // namespace haven
