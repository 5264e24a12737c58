// The "obsremoteframe" element as the GUI library sees it: the real module is loaded, its
// static factory registers the type with the shared library, layouts build frames through
// it, and unloading the module takes every frame still alive out of the tree.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "hvui/kgui_element.h"
#include "hvui/kgui_element_factory.h"
#include "hvui/ui_manager.h"

namespace {

class FrameElementModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        Baseline = KGUIElement::LiveElementCount();
        ASSERT_EQ(g_UIManager.FindFactory("obsremoteframe"), nullptr) << "the type exists only with the module";
        Module = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(Module, nullptr) << dlerror();
        ASSERT_NE(Factory = g_UIManager.FindFactory("obsremoteframe"), nullptr);
        ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui><template name="obsremoteframe" width="320" height="40"/>
            <template name="small" width="10" height="10"/><template name="broken" height="tall"/>
            <template name="node"><obsremoteframe name="Direct" Template="small"/></template></ui>)"));
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
        if (Module == nullptr)
            return;
        ASSERT_EQ(dlclose(Module), 0) << dlerror();
        Module = nullptr;
        // Only a module that really left the process ran its static destructors.
        void* still = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (still != nullptr)
            dlclose(still);
        ASSERT_EQ(still, nullptr) << "the module stayed loaded after dlclose";
    }

    static KGUIElement* Find(const char* name) { return g_UIManager.GetDesktop()->FindChild(name); }

    int64_t Baseline = 0;
    void* Module = nullptr;
    KGUIElementFactory* Factory = nullptr;
};

TEST_F(FrameElementModule, RejectedFramesLeaveNothingBehindAndMissingTemplatesFallBack)
{
    // With a parent the frame goes through the parent's DeleteChild; without one it is
    // destroyed. Neither is recorded.
    const int64_t before = KGUIElement::LiveElementCount();
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(
        R"(<ui><obsremoteframe name="Bad" width="wide"><text name="Output"/></obsremoteframe></ui>)"));
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(R"(<ui><obsremoteframe name="Broken" Template="broken"/></ui>)"));
    const XMLNode node = g_UIManager.FindTemplate("node").FirstChild();
    EXPECT_EQ(Factory->CreateElementFromXML(nullptr, "Orphan", node, "broken"), nullptr);
    EXPECT_TRUE(g_UIManager.GetDesktop()->GetChildren().empty());
    EXPECT_TRUE(Factory->Elements.empty());
    EXPECT_EQ(KGUIElement::LiveElementCount(), before);

    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><obsremoteframe name="Missing" Template="nosuch"/>
        <obsremoteframe name="None"/><obsremoteframe name="Small" Template="small"/></ui>)"));
    for (const auto& [name, width] : {std::make_pair("Missing", 320), {"None", 320}, {"Small", 10}})
        EXPECT_EQ(Find(name)->GetWidth(), width) << name;
    // Called with no template at all, the frame reads the node's own "Template".
    KGUIElement* direct = Factory->CreateElementFromXML(g_UIManager.GetDesktop(), "Direct", node, nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(direct->GetWidth(), 10);
}

TEST_F(FrameElementModule, UnloadingTheModuleDestroysLiveFrames)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><frame name="Holder"><text name="Keep" text="stays"/>
          <obsremoteframe name="A"><text name="Output"/>
            <obsremoteframe name="Inner"><text name="Output"/></obsremoteframe></obsremoteframe></frame>
          <ObsRemoteFrame name="B"/></ui>)"))
        << g_UIManager.GetLastError();
    EXPECT_EQ(Factory->Elements.size(), 3u);
    g_UIManager.Render();
    const int64_t before = KGUIElement::LiveElementCount();
    UnloadModule();
    // A, Inner, B (its tag in any case) and the two texts below them went; the library's own
    // elements stayed.
    EXPECT_EQ(KGUIElement::LiveElementCount(), before - 5);
    ASSERT_EQ(g_UIManager.GetDesktop()->GetChildren().size(), 1u);
    const auto& kept = Find("Holder")->GetChildren();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_STREQ(kept[0]->GetName(), "Keep");
    // The tree still renders, and the type is gone from layouts.
    g_UIManager.Render();
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(R"(<ui><obsremoteframe name="Late"/></ui>)"));
}

} // namespace
