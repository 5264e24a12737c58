// The console language: words, expressions and where a syntax error is reported.
#include <gtest/gtest.h>

#include "platform/haven/console_syntax.h"
#include "platform/haven/event_registry.h"

namespace {

using haven::CallKind;
using haven::ConsoleWord;
using haven::Expression;
using haven::SyntaxError;

TEST(HavenConsoleSyntax, ExpressionsParseIntoPathsWithArguments)
{
    const std::string line = R"(OBSRemote.Scene[2].Source["Cam \"1\""].SetRender(TRUE, -0.5))";
    Expression expression;
    SyntaxError error;
    ASSERT_TRUE(haven::ParseExpression(line, 0, line.size(), expression, error)) << error.Message;
    ASSERT_EQ(expression.Elements.size(), 4u);
    EXPECT_EQ(expression.Elements[0].Name, "OBSRemote");
    EXPECT_EQ(expression.Elements[0].Call, CallKind::None);
    EXPECT_EQ(expression.Elements[1].Call, CallKind::Brackets);
    EXPECT_EQ(expression.Elements[1].Args, (std::vector<std::string>{"2"}));
    EXPECT_EQ(expression.Elements[2].Args, (std::vector<std::string>{"Cam \"1\""}));
    EXPECT_EQ(expression.Elements[3].Call, CallKind::Parens);
    EXPECT_EQ(expression.Elements[3].Args, (std::vector<std::string>{"TRUE", "-0.5"}));
    EXPECT_EQ(expression.Elements[3].Column, 40u);
    EXPECT_EQ(haven::DescribePath(expression, 3), R"(OBSRemote.Scene[2].Source["Cam \"1\""].SetRender(TRUE, -0.5))");
    EXPECT_EQ(haven::DescribePath(expression, 1), "OBSRemote.Scene[2]");

    ASSERT_TRUE(haven::ParseExpression("x Obj.Method()", 2, 14, expression, error));
    EXPECT_TRUE(expression.Elements[1].Args.empty());
    ASSERT_TRUE(haven::ParseExpression("Obj.M(\"\")", 0, 9, expression, error));
    EXPECT_EQ(expression.Elements[1].Args, (std::vector<std::string>{""}));
}

TEST(HavenConsoleSyntax, ErrorsNameTheirColumn)
{
    const std::pair<std::string, SyntaxError> cases[] = {
        {"", {1, "expected a name"}},
        {"9Obj", {1, "expected a name"}},
        {"Obj.", {5, "expected a name"}},
        {"Obj.M(1 2)", {9, "expected ',' or ')'"}},
        {"Obj.M(1]", {8, "expected ',' or ')'"}},
        {"Obj.M[", {7, "expected an argument"}},
        {"Obj.M(\"a\\q\")", {9, "unknown escape \\q"}},
        {"Obj.M(\"a", {7, "unterminated quoted text"}},
        {"Obj M", {5, "unexpected 'M'"}},
    };
    for (const auto& [line, wanted] : cases) {
        Expression expression;
        SyntaxError error;
        EXPECT_FALSE(haven::ParseExpression(line, 0, line.size(), expression, error)) << line;
        EXPECT_EQ(error.Column, wanted.Column) << line;
        EXPECT_EQ(error.Message, wanted.Message) << line;
    }
    std::string many = "Obj.M(";
    for (size_t i = 0; i <= haven::MaxCallArguments; ++i) {
        many += i == 0 ? "1" : ",1";
    }
    many += ")";
    Expression expression;
    SyntaxError error;
    EXPECT_FALSE(haven::ParseExpression(many, 0, many.size(), expression, error));
    EXPECT_EQ(error.Message, "too many arguments");
}

TEST(HavenConsoleSyntax, WordsKeepQuotesApart)
{
    std::vector<ConsoleWord> words;
    SyntaxError error;
    const std::string line = "wait  Ev:Name 200 \"two words\" \"\"";
    ASSERT_TRUE(haven::SplitWords(line, 4, line.size(), words, error));
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0].Text, "Ev:Name");
    EXPECT_EQ(words[0].Column, 7u);
    EXPECT_FALSE(words[1].Quoted);
    EXPECT_EQ(words[2].Text, "two words");
    EXPECT_TRUE(words[2].Quoted);
    EXPECT_EQ(words[3].Text, "");

    EXPECT_FALSE(haven::SplitWords("a \"b\"c", 0, 6, words, error));
    EXPECT_EQ(error.Column, 6u);
    EXPECT_FALSE(haven::SplitWords("a b\"c", 0, 5, words, error));
    EXPECT_EQ(error.Column, 4u);
}

TEST(HavenConsoleSyntax, EventLinesQuoteEveryArgument)
{
    haven::HostEvent event;
    event.Name = "OBSRemote:StateChanged";
    event.Args = {"Disconnected", "a\"b\\c", std::string("\x01\t", 2)};
    EXPECT_EQ(haven::FormatEventLine(event), R"(event OBSRemote:StateChanged "Disconnected" "a\"b\\c" "\x01\t")");
}

} // namespace
