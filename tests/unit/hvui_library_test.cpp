// The GUI library stand-in on its own: element types and their factories, templates, the
// tree builder, element ownership, and hostile UI files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hvui/kgui_factory.h"
#include "hvui/kgui_frame.h"
#include "hvui/kgui_text.h"
#include "hvui/ui_manager.h"

namespace {

using Names = std::vector<std::string>;

// Records, at OnCreate, which children already existed; logs OnCreate and OnDestroy.
class ProbeElement : public KGUIFrame {
public:
    ProbeElement(const char* type, KGUIElement* parent, const char* name) : KGUIFrame(type, parent, name) {}
    void OnCreate() override
    {
        KGUIFrame::OnCreate();
        for (KGUIElement* child : GetChildren())
            ChildrenAtCreate.push_back(child->GetName());
        Log.push_back(std::string("create ") + GetName());
    }
    void OnDestroy() override
    {
        KGUIFrame::OnDestroy();
        Log.push_back(std::string("destroy ") + GetName());
    }
    static inline Names Log;
    Names ChildrenAtCreate;
};

class HvuiLibrary : public ::testing::Test {
protected:
    void SetUp() override { ProbeElement::Log.clear(); }
    void TearDown() override
    {
        g_UIManager.ClearLayout();
        g_UIManager.ClearTemplates();
        EXPECT_EQ(KGUIElement::LiveElementCount(), Baseline) << "elements leaked or destroyed twice";
    }
    KGUIElement* Desktop() { return g_UIManager.GetDesktop(); }

    const int64_t Baseline = KGUIElement::LiveElementCount();
};

TEST_F(HvuiLibrary, BuildsChildrenBeforeTheParentsOnCreate)
{
    KGUIFactory<ProbeElement> probes("probe", KGUIInterfaceVersion);
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui>
        <probe name="outer"><text name="a" text="first"/><probe name="inner"><frame name="b"/></probe></probe>
    </ui>)")) << g_UIManager.GetLastError();
    auto* outer = dynamic_cast<ProbeElement*>(Desktop()->FindChild("outer"));
    auto* inner = dynamic_cast<ProbeElement*>(Desktop()->FindChild("inner"));
    ASSERT_TRUE(outer && inner);
    EXPECT_EQ(outer->ChildrenAtCreate, (Names{"a", "inner"}));
    EXPECT_EQ(inner->ChildrenAtCreate, (Names{"b"}));
    EXPECT_EQ(ProbeElement::Log, (Names{"create inner", "create outer"}));
    g_UIManager.ClearLayout();
    EXPECT_TRUE(probes.Elements.empty()) << "destroying an element must tell its factory";
}

TEST_F(HvuiLibrary, FindUsableChildMatchesNameAndTypeAndTemplatesFillIn)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><frame name="root">
        <frame name="Output"/><frame name="box"><text name="Output" text="deep"/></frame>
    </frame></ui>)"));
    KGUIElement* root = Desktop()->FindChild("root");
    ASSERT_NE(root, nullptr);
    // The frame named "Output" comes first but is not a text.
    KGUIElement* output = root->FindUsableChild("Output", "TEXT");
    ASSERT_NE(output, nullptr);
    EXPECT_STREQ(static_cast<KGUIText*>(output)->GetText(), "deep");
    EXPECT_STREQ(root->FindUsableChild("Output", "frame")->GetTypeName(), "frame");
    for (const auto& [name, type] : {std::pair<const char*, const char*>{"output", "text"}, {"Missing", "text"}, {nullptr, "text"}, {"Output", nullptr}})
        EXPECT_EQ(root->FindUsableChild(name, type), nullptr) << (name ? name : "<null>") << " names match exactly";

    // Templates supply the attributes a node leaves out.
    ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui><template name="wide" width="300" height="20" text="from template"/></ui>)"));
    for (const char* other : {"WIDE", "nosuch", "", static_cast<const char*>(nullptr)})
        EXPECT_TRUE(g_UIManager.FindTemplate(other).IsNone());
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><text name="t" Template="wide" height="5"/></ui>)"));
    KGUIElement* t = Desktop()->FindChild("t");
    EXPECT_EQ(t->GetWidth(), 300);
    EXPECT_EQ(t->GetHeight(), 5) << "the node's own attribute wins";
    EXPECT_STREQ(static_cast<KGUIText*>(t)->GetText(), "from template");
}

TEST_F(HvuiLibrary, OwnershipRunsThroughTheFactories)
{
    {
        KGUIFactory<ProbeElement> probes("probe", KGUIInterfaceVersion);
        ASSERT_TRUE(g_UIManager.LoadLayoutFromText(
            R"(<ui><frame name="holder"><probe name="p1"><probe name="p2"/></probe><probe name="p3"/></frame></ui>)"));
        KGUIElement* holder = Desktop()->FindChild("holder");
        // DeleteChild takes only direct children, and tells their factory.
        EXPECT_FALSE(holder->DeleteChild(Desktop()->FindChild("p2")) || holder->DeleteChild(nullptr));
        ASSERT_TRUE(holder->DeleteChild(holder->FindChild("p3")));
        EXPECT_EQ(probes.Elements.size(), 2u);
        EXPECT_EQ(ProbeElement::Log.back(), "destroy p3");
    }
    // A factory going away takes its live elements, nested ones included, out of the tree.
    EXPECT_TRUE(Desktop()->FindChild("holder")->GetChildren().empty());
    EXPECT_EQ(KGUIElement::LiveElementCount(), Baseline + 1);
    for (const char* gone : {"destroy p1", "destroy p2"})
        EXPECT_NE(std::find(ProbeElement::Log.begin(), ProbeElement::Log.end(), gone), ProbeElement::Log.end()) << gone;
}

TEST_F(HvuiLibrary, HostileFilesAreRefusedWithAReasonAndWithoutLeaks)
{
    std::string deep = "<ui>";
    for (int i = 0; i < 5000; ++i)
        deep.insert(4, "<frame>").append("</frame>");
    const std::pair<std::string, const char*> cases[] = {
        {"<ui><frame name='x'", "offset"},
        {"<layout><frame/></layout>", "not <ui>"},
        {"<ui><widget name='w'/></ui>", "unknown element type 'widget'"},
        {"<ui><frame name='f' width='wide'/></ui>", "rejected its attributes"},
        {"<ui><frame name='f' width='99999999999'/></ui>", "rejected"},
        {"<ui><frame name='f' width='-5'/></ui>", "rejected"},
        {"<ui><frame name='f' width=' 5'/></ui>", "rejected"},
        {"<ui><frame name='f' visible='maybe'/></ui>", "rejected"},
        {"<ui><template width='1'/></ui>", "without a name"},
        {"<ui><frame><template name='t'/></frame></ui>", "directly under <ui>"},
        {deep + "</ui>", "nested"},
    };
    for (const auto& [xml, reason] : cases)
        EXPECT_TRUE(!g_UIManager.LoadLayoutFromText(xml.c_str()) && std::string(g_UIManager.GetLastError()).find(reason) != std::string::npos)
            << xml.substr(0, 60) << " -> " << g_UIManager.GetLastError();
    EXPECT_FALSE(g_UIManager.LoadLayout("/nonexistent/dir/layout.xml") || g_UIManager.LoadLayout(nullptr));
    // What could be built stays; the rest was destroyed again (TearDown counts).
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText("<ui><frame name='ok'/><frame name='bad' x='1.5'/></ui>"));
    EXPECT_TRUE(Desktop()->FindChild("ok") && !Desktop()->FindChild("bad"));
}

} // namespace
