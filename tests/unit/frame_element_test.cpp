// The "obsremoteframe" element on its own, built directly rather than through a layout, for
// the states a layout cannot reach: no OnCreate, a child that goes away, a count at its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "hvui/kgui_text.h"
#include "shell/frame_element.h"

struct FrameDeleter {
    void operator()(KGUIOBSRemoteFrame* frame) const { delete frame; }
};
using FramePtr = std::unique_ptr<KGUIOBSRemoteFrame, FrameDeleter>;

static FramePtr MakeFrame() { return FramePtr(new KGUIOBSRemoteFrame(kOBSRemoteFrameType, nullptr, "Counter")); }

TEST(FrameElement, WritesOnlyThroughALiveTextNamedOutputAndStopsCountingAtTheTop)
{
    FramePtr frame = MakeFrame();
    new KGUIFrame("frame", frame.get(), "Output");
    auto* box = new KGUIFrame("frame", frame.get(), "Box");
    auto* output = new KGUIText("text", box, "Output");
    // Children exist but OnCreate has not run: counted, nothing shown.
    frame->Render();
    EXPECT_EQ(frame->RenderCount, 1);
    EXPECT_STREQ(output->GetText(), "");
    // A text below another child is found; a frame named Output is not a text.
    frame->OnCreate();
    ASSERT_EQ(frame->OutputText, output);
    frame->RenderCount = std::numeric_limits<int32_t>::max() - 1;
    frame->Render();
    frame->Render();
    EXPECT_EQ(frame->RenderCount, std::numeric_limits<int32_t>::max());
    EXPECT_STREQ(output->GetText(), "This frame has been rendered 2147483647 times.");
    // The child leaves the tree; the frame must not write through its old pointer (ASan).
    ASSERT_TRUE(box->DeleteChild(output));
    frame->Render();
    EXPECT_EQ(frame->OutputText, nullptr);
}

TEST(FrameElement, IsTypeOfIgnoresAsciiCaseOnly)
{
    FramePtr frame = MakeFrame();
    for (const char* name : {"obsremoteframe", "OBSREMOTEFRAME", "ObsRemoteFrame", "frame", "Element"})
        EXPECT_TRUE(frame->IsTypeOf(name)) << name;
    for (const char* name : {"obsremoteframe ", "obsremote", "text", "", "obsremoteframe\xC3\xA9"})
        EXPECT_FALSE(frame->IsTypeOf(name)) << name;
    EXPECT_FALSE(frame->IsTypeOf(nullptr));
}

