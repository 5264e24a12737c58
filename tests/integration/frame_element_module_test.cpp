// The "obsremoteframe" element as the GUI library sees it: the real module is loaded, its
// static factory registers the type with the shared library, layouts build frames through
// it, and unloading the module takes every frame still alive out of the tree.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "hvui/kgui_element_factory.h"
#include "hvui/kgui_text.h"
#include "hvui/ui_manager.h"

namespace {

constexpr const char* kTemplates = R"(<ui>
    <template name="obsremoteframe" width="320" height="40"/>
    <template name="small" width="10" height="10"/>
</ui>)";

class FrameElementModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        Baseline = KGUIElement::LiveElementCount();
        ASSERT_EQ(g_UIManager.FindFactory("obsremoteframe"), nullptr) << "the type exists only while the module is loaded";
        Module = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(Module, nullptr) << dlerror();
        Factory = g_UIManager.FindFactory("obsremoteframe");
        ASSERT_NE(Factory, nullptr);
        ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(kTemplates)) << g_UIManager.GetLastError();
    }

    void TearDown() override
    {
        UnloadModule();
        g_UIManager.ClearLayout();
        g_UIManager.ClearTemplates();
        EXPECT_EQ(KGUIElement::LiveElementCount(), Baseline);
    }

    void UnloadModule()
    {
        if (!Module)
            return;
        ASSERT_EQ(dlclose(Module), 0) << dlerror();
        Module = nullptr;
        Factory = nullptr;
        // Only a module that really left the process ran its static destructors.
        void* still = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (still)
            dlclose(still);
        ASSERT_EQ(still, nullptr) << "the module stayed loaded after dlclose";
    }

    KGUIElement* Load(const char* xml)
    {
        EXPECT_TRUE(g_UIManager.LoadLayoutFromText(xml)) << g_UIManager.GetLastError();
        const auto& top = g_UIManager.GetDesktop()->GetChildren();
        return top.empty() ? nullptr : top.back();
    }

    static const char* OutputOf(KGUIElement* frame)
    {
        return static_cast<KGUIText*>(frame->FindUsableChild("Output", "text"))->GetText();
    }

    int64_t Baseline = 0;
    void* Module = nullptr;
    KGUIElementFactory* Factory = nullptr;
};

TEST_F(FrameElementModule, FrameWithOutputShowsItsRenderCount)
{
    KGUIElement* frame = Load(R"(<ui><obsremoteframe name="Counter"><text name="Output" text="before"/></obsremoteframe></ui>)");
    ASSERT_NE(frame, nullptr);
    EXPECT_STREQ(frame->GetTypeName(), "obsremoteframe");
    EXPECT_EQ(Factory->Elements.count(frame), 1u);
    EXPECT_STREQ(OutputOf(frame), "before");

    g_UIManager.Render();
    EXPECT_STREQ(OutputOf(frame), "This frame has been rendered 1 times.");
    g_UIManager.Render();
    g_UIManager.Render();
    EXPECT_STREQ(OutputOf(frame), "This frame has been rendered 3 times.");

    // A hidden frame is not rendered, so it does not count.
    frame->Show(false);
    g_UIManager.Render();
    frame->Show(true);
    g_UIManager.Render();
    EXPECT_STREQ(OutputOf(frame), "This frame has been rendered 4 times.");
}

TEST_F(FrameElementModule, FrameWithoutOutputRendersAndShowsNothing)
{
    KGUIElement* frame = Load(R"(<ui><obsremoteframe name="Silent">
        <text name="Label" text="unchanged"/><frame name="Output"/>
    </obsremoteframe></ui>)");
    ASSERT_NE(frame, nullptr);
    for (int i = 0; i < 3; ++i)
        g_UIManager.Render();
    EXPECT_STREQ(static_cast<KGUIText*>(frame->FindChild("Label"))->GetText(), "unchanged");

    // Made bare through the factory, OnCreate never runs: renders still must not crash.
    KGUIElement* bare = Factory->CreateElement(g_UIManager.GetDesktop(), "Bare");
    ASSERT_NE(bare, nullptr);
    new KGUIText("text", bare, "Output");
    g_UIManager.Render();
    EXPECT_STREQ(OutputOf(bare), "");
}

TEST_F(FrameElementModule, TypeNameIgnoresCase)
{
    KGUIElement* frame = Load(R"(<ui><ObsRemoteFrame name="Mixed"/></ui>)");
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsTypeOf("OBSREMOTEFRAME"));
    EXPECT_TRUE(frame->IsTypeOf("ObsRemoteFrame"));
    EXPECT_TRUE(frame->IsTypeOf("obsremoteframe"));
    EXPECT_TRUE(frame->IsTypeOf("frame"));
    EXPECT_FALSE(frame->IsTypeOf("text"));
}

TEST_F(FrameElementModule, MissingTemplateFallsBackToTheTypesTemplate)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui>
        <obsremoteframe name="Missing" Template="nosuch"/>
        <obsremoteframe name="None"/>
        <obsremoteframe name="Small" Template="small"/>
    </ui>)")) << g_UIManager.GetLastError();
    KGUIElement* desktop = g_UIManager.GetDesktop();
    EXPECT_EQ(desktop->FindChild("Missing")->GetWidth(), 320);
    EXPECT_EQ(desktop->FindChild("None")->GetWidth(), 320);
    EXPECT_EQ(desktop->FindChild("Small")->GetWidth(), 10);

    // Called with no template at all, the frame reads the node's own "Template".
    ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui><template name="probe-node">
        <obsremoteframe name="Direct" Template="small"/></template></ui>)"));
    XMLNode node = g_UIManager.FindTemplate("probe-node").FirstChild();
    KGUIElement* direct = Factory->CreateElementFromXML(desktop, "Direct", node, nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(direct->GetWidth(), 10);
}

TEST_F(FrameElementModule, RejectedFrameLeavesNothingBehind)
{
    KGUIElement* desktop = g_UIManager.GetDesktop();
    const int64_t before = KGUIElement::LiveElementCount();

    // With a parent: the frame goes through the parent's DeleteChild.
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(
        R"(<ui><obsremoteframe name="Bad" width="wide"><text name="Output"/></obsremoteframe></ui>)"));
    EXPECT_TRUE(desktop->GetChildren().empty());
    EXPECT_TRUE(Factory->Elements.empty());
    EXPECT_EQ(KGUIElement::LiveElementCount(), before);

    // A template that does not parse fails the same way.
    ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui><template name="broken" height="tall"/>
        <template name="bad-node"><obsremoteframe name="Orphan"/></template></ui>)"));
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(R"(<ui><obsremoteframe name="Broken" Template="broken"/></ui>)"));
    EXPECT_TRUE(Factory->Elements.empty());

    // Without a parent: destroyed, never recorded.
    XMLNode node = g_UIManager.FindTemplate("bad-node").FirstChild();
    EXPECT_EQ(Factory->CreateElementFromXML(nullptr, "Orphan", node, "broken"), nullptr);
    EXPECT_TRUE(Factory->Elements.empty());
    EXPECT_EQ(KGUIElement::LiveElementCount(), before);
}

TEST_F(FrameElementModule, UnloadingTheModuleDestroysLiveFrames)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui>
        <frame name="Holder">
          <obsremoteframe name="A"><text name="Output"/>
            <obsremoteframe name="Inner"><text name="Output"/></obsremoteframe>
          </obsremoteframe>
          <text name="Keep" text="stays"/>
        </frame>
        <obsremoteframe name="B"/>
    </ui>)")) << g_UIManager.GetLastError();
    EXPECT_EQ(Factory->Elements.size(), 3u);
    g_UIManager.Render();
    const int64_t before = KGUIElement::LiveElementCount();

    UnloadModule();

    // A, Inner, B and the two texts below them went; the library's own elements stayed.
    EXPECT_EQ(KGUIElement::LiveElementCount(), before - 5);
    KGUIElement* desktop = g_UIManager.GetDesktop();
    ASSERT_EQ(desktop->GetChildren().size(), 1u);
    KGUIElement* holder = desktop->FindChild("Holder");
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(holder->GetChildren().size(), 1u);
    EXPECT_STREQ(holder->GetChildren()[0]->GetName(), "Keep");
    EXPECT_EQ(g_UIManager.FindFactory("obsremoteframe"), nullptr);

    // The tree still renders, and the type can be loaded again.
    g_UIManager.Render();
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(R"(<ui><obsremoteframe name="Late"/></ui>)"));
}

} // namespace
