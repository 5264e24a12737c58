// Evaluates a console expression the way the script engine drives data types: the first
// name asks a top-level object for its value, each further element reads a member (with
// its arguments) through DispatchMember, and a last element written with parentheses is
// first tried as a method through DispatchMethod; when the type has no such method it is
// read as a member. Values are shown through their type's ToText.
#pragma once

#include <string>

#include "platform/haven/console_syntax.h"

namespace haven {

class ScriptRegistry;

enum class EvaluationOutcome {
    Value,      // Text holds the value's text
    MethodDone, // the method answered true
    NoValue,    // a top-level object or member answered false (0)
    Unknown,    // no such top-level object, member or method (-1)
    MethodFalse,
    Failed,     // a value the host cannot show or use
};

struct Evaluation {
    EvaluationOutcome Outcome = EvaluationOutcome::Failed;
    std::string Text;    // for Value
    std::string Message; // for every other outcome but MethodDone: what went wrong, where
};

Evaluation Evaluate(const Expression& expression, const ScriptRegistry& registry);

} // namespace haven
