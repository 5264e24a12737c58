// The console's small language, lexical and expression level.
//
//   command line:  <word> <word> ...   words are bare or "quoted" (escapes \" \\ \n \t \r)
//   expression:    Name [call] { . Member [call] }
//   call:          ( arg, ... )  or  [ arg, ... ]
//   arg:           "quoted text"  or a bare word such as 2, -1, 0.5 or TRUE
//
// Columns count from 1 across the whole line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace haven {

struct SyntaxError {
    size_t Column = 0;
    std::string Message;
};

struct ConsoleWord {
    std::string Text;
    bool Quoted = false;
    size_t Column = 0;
};

// Splits line[begin, end) into words; false with `error` filled on an unterminated quote
// or a bad escape.
bool SplitWords(const std::string& line, size_t begin, size_t end, std::vector<ConsoleWord>& words,
                SyntaxError& error);

enum class CallKind { None, Parens, Brackets };

struct PathElement {
    std::string Name;
    CallKind Call = CallKind::None;
    std::vector<std::string> Args;
    size_t Column = 0;
};

struct Expression {
    std::vector<PathElement> Elements; // the first names a top-level object
};

constexpr size_t MaxCallArguments = 64;

bool ParseExpression(const std::string& line, size_t begin, size_t end, Expression& expression,
                     SyntaxError& error);

// The path up to and including element `last`, written back in canonical form
// (OBSRemote.Scene[2].Source("Cam")).
std::string DescribePath(const Expression& expression, size_t last);

} // namespace haven
