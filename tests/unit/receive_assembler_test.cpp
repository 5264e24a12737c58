// Putting received pieces back together into whole messages, and dropping the ones past
// the cap without losing the message after them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "client/receive_assembler.h"

namespace {

using Result = ReceiveAssembler::Result;

TEST(ReceiveAssemblerTest, PiecesMakeOneMessage)
{
    std::string buffer = "left over";
    ReceiveAssembler assembler(buffer);
    EXPECT_EQ(assembler.Cap(), 16u * 1024u * 1024u);
    EXPECT_TRUE(buffer.empty());

    EXPECT_EQ(assembler.Append("{\"a\":", 5, false), Result::Incomplete);
    EXPECT_EQ(assembler.Append("", 0, false), Result::Incomplete);
    EXPECT_EQ(assembler.Append("1}", 2, true), Result::Complete);
    EXPECT_EQ(assembler.Message(), "{\"a\":1}");
    // The next message starts afresh, even an empty one.
    EXPECT_EQ(assembler.Append("", 0, true), Result::Complete);
    EXPECT_EQ(assembler.Message(), "");

    // A 3 MiB message in receive-buffer-sized pieces.
    std::string message(3 * 1024 * 1024 + 17, 'q');
    for (size_t at = 0; at < message.size(); at += 4096) {
        size_t n = std::min<size_t>(4096, message.size() - at);
        EXPECT_EQ(assembler.Append(message.data() + at, n, at + n == message.size()),
                  at + n == message.size() ? Result::Complete : Result::Incomplete);
    }
    EXPECT_EQ(assembler.Message(), message);
}

TEST(ReceiveAssemblerTest, CapIsInclusiveAndOversizedMessagesAreDroppedOnce)
{
    std::string buffer;
    ReceiveAssembler assembler(buffer, 10);
    EXPECT_EQ(assembler.Append("12345", 5, false), Result::Incomplete);
    EXPECT_EQ(assembler.Append("67890", 5, true), Result::Complete);
    EXPECT_EQ(assembler.Message(), "1234567890");

    EXPECT_EQ(assembler.Append("12345", 5, false), Result::Incomplete);
    EXPECT_EQ(assembler.Append("678901", 6, false), Result::Incomplete);
    EXPECT_TRUE(assembler.Message().empty());
    EXPECT_EQ(assembler.Append("more and more", 13, false), Result::Incomplete);
    EXPECT_EQ(assembler.Append("end", 3, true), Result::Dropped);
    EXPECT_EQ(assembler.Append("ok", 2, true), Result::Complete);
    EXPECT_EQ(assembler.Message(), "ok");

    // A single piece past the cap.
    EXPECT_EQ(assembler.Append("12345678901", 11, true), Result::Dropped);
    EXPECT_EQ(assembler.Append("x", 1, true), Result::Complete);
    EXPECT_EQ(assembler.Message(), "x");
}

} // namespace
