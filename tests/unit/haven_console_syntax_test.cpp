// The console language: words, expressions and where a syntax error is reported.
#include <gtest/gtest.h>

#include "platform/haven/console_syntax.h"
#include "platform/haven/event_registry.h"

namespace {

using haven::CallKind;

TEST(HavenConsoleSyntax, LinesSplitIntoWordsAndPathsWithArguments)
{
    haven::SyntaxError error;
    const std::string line = R"(x OBSRemote.Scene[2].Source["Cam \"1\""].SetRender(TRUE, -0.5, ""))";
    haven::Expression expression;
    ASSERT_TRUE(haven::ParseExpression(line, 2, line.size(), expression, error)) << error.Message;
    ASSERT_EQ(expression.Elements.size(), 4u);
    EXPECT_EQ((std::vector<CallKind>{expression.Elements[0].Call, expression.Elements[1].Call, expression.Elements[3].Call}),
        (std::vector<CallKind>{CallKind::None, CallKind::Brackets, CallKind::Parens}));
    EXPECT_EQ(expression.Elements[2].Args, (std::vector<std::string>{"Cam \"1\""}));
    EXPECT_EQ(expression.Elements[3].Args, (std::vector<std::string>{"TRUE", "-0.5", ""}));
    EXPECT_EQ(expression.Elements[3].Column, 42u);
    EXPECT_EQ(haven::DescribePath(expression, 1), "OBSRemote.Scene[2]");

    std::vector<haven::ConsoleWord> words;
    const std::string command = "wait  Ev:Name 200 \"two words\" \"\"";
    ASSERT_TRUE(haven::SplitWords(command, 4, command.size(), words, error));
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0].Column, 7u);
    EXPECT_TRUE(words[2].Text == "two words" && words[2].Quoted && !words[1].Quoted && words[3].Text.empty());
    EXPECT_FALSE(haven::SplitWords("a \"b\"c", 0, 6, words, error));
    EXPECT_EQ(error.Column, 6u);
}

TEST(HavenConsoleSyntax, ErrorsNameTheirColumnAndEventLinesQuoteEveryArgument)
{
    std::string many = "Obj.M(1";
    for (size_t i = 0; i < haven::MaxCallArguments; ++i)
        many += ",1";
    const std::pair<std::string, std::string> cases[] = {
        {"", "1: expected a name"},
        {"Obj.", "5: expected a name"},
        {"Obj.M(1 2)", "9: expected ',' or ')'"},
        {"Obj.M[", "7: expected an argument"},
        {"Obj.M(\"a\\q\")", "9: unknown escape \\q"},
        {"Obj.M(\"a", "7: unterminated quoted text"},
        {"Obj M", "5: unexpected 'M'"},
        {many + ")", std::to_string(many.size() + 1) + ": too many arguments"}, // at the closing parenthesis
    };
    haven::Expression expression;
    haven::SyntaxError error;
    for (const auto& [line, wanted] : cases)
        EXPECT_EQ(haven::ParseExpression(line, 0, line.size(), expression, error) ? "parsed"
                                                                                   : std::to_string(error.Column) + ": " + error.Message, wanted);

    haven::HostEvent event;
    event.Name = "OBSRemote:StateChanged";
    event.Args = {"Disconnected", "a\"b\\c", std::string("\x01\t", 2)};
    EXPECT_EQ(haven::FormatEventLine(event), R"(event OBSRemote:StateChanged "Disconnected" "a\"b\\c" "\x01\t")");
}

} // namespace
