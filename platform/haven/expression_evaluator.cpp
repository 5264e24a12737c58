#include "platform/haven/expression_evaluator.h"

#include <cstring>
#include <vector>

#include "platform/haven/script_registry.h"
#include "haven/ks_type_definition.h"

namespace haven {

namespace {

constexpr uint32_t TextBufferSize = 4096;

std::vector<const char*> ArgumentPointers(const PathElement& element)
{
    std::vector<const char*> pointers;
    for (const std::string& arg : element.Args) {
        pointers.push_back(arg.c_str());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::string TypeNameOf(const KSTypeDefinition* type)
{
    return std::string(type->TypeName, strnlen(type->TypeName, sizeof type->TypeName));
}

Evaluation Fail(EvaluationOutcome outcome, std::string message)
{
    Evaluation evaluation;
    evaluation.Outcome = outcome;
    evaluation.Message = std::move(message);
    return evaluation;
}

} // namespace

Evaluation Evaluate(const Expression& expression, const ScriptRegistry& registry)
{
    if (expression.Elements.empty()) {
        return Fail(EvaluationOutcome::Failed, "empty expression");
    }
    const PathElement& root = expression.Elements.front();
    const TopLevelObjectFunction function = registry.FindTopLevelObject(root.Name);
    if (function == nullptr) {
        return Fail(EvaluationOutcome::Unknown, "unknown name \"" + root.Name + "\"");
    }
    std::vector<const char*> argv = ArgumentPointers(root);
    KSTypedValue current;
    if (!function(static_cast<int32_t>(root.Args.size()), argv.data(), &current)) {
        return Fail(EvaluationOutcome::NoValue, DescribePath(expression, 0) + " has no value");
    }
    if (!registry.IsKnownType(current.Type)) {
        return Fail(EvaluationOutcome::Failed, DescribePath(expression, 0) + " gave a value of no registered type");
    }

    const size_t count = expression.Elements.size();
    for (size_t i = 1; i < count; ++i) {
        const PathElement& element = expression.Elements[i];
        argv = ArgumentPointers(element);
        const auto argc = static_cast<int32_t>(element.Args.size());
        const std::string typeName = TypeNameOf(current.Type);
        const bool triesMethod = i + 1 == count && element.Call == CallKind::Parens;
        if (triesMethod) {
            const int32_t answer = current.Type->DispatchMethod(current.Value, element.Name.c_str(), argc, argv.data());
            if (answer == 1) {
                Evaluation done;
                done.Outcome = EvaluationOutcome::MethodDone;
                return done;
            }
            if (answer == 0) {
                return Fail(EvaluationOutcome::MethodFalse, DescribePath(expression, i) + " answered false");
            }
        }
        KSTypedValue next;
        const int32_t answer = current.Type->DispatchMember(current.Value, element.Name.c_str(), argc, argv.data(), next);
        if (answer < 0) {
            return Fail(EvaluationOutcome::Unknown, std::string(triesMethod ? "unknown member or method \"" : "unknown member \"") +
                                                        element.Name + "\" of type " + typeName + " in " +
                                                        DescribePath(expression, i));
        }
        if (answer == 0) {
            return Fail(EvaluationOutcome::NoValue, DescribePath(expression, i) + " has no value");
        }
        if (!registry.IsKnownType(next.Type)) {
            return Fail(EvaluationOutcome::Failed, DescribePath(expression, i) + " gave a value of no registered type");
        }
        current = next;
    }

    std::vector<char> buffer(TextBufferSize, '\0');
    if (!current.Type->ToText(current.Value, buffer.data(), TextBufferSize)) {
        return Fail(EvaluationOutcome::Failed, DescribePath(expression, count - 1) + ": a value of type " +
                                                   TypeNameOf(current.Type) + " has no text");
    }
    buffer[TextBufferSize - 1] = '\0';
    Evaluation value;
    value.Outcome = EvaluationOutcome::Value;
    value.Text = buffer.data();
    return value;
}

} // namespace haven
