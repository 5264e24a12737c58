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

// Records, at OnCreate, which children already existed; logs OnDestroy.
class ProbeElement : public KGUIFrame {
public:
    ProbeElement(const char* type, KGUIElement* parent, const char* name) : KGUIFrame(type, parent, name) {}
    void OnCreate() override
    {
        KGUIFrame::OnCreate();
        for (KGUIElement* child : GetChildren())
            ChildrenAtCreate.push_back(child->GetName());
        Log().push_back(std::string("create ") + GetName());
    }
    void OnDestroy() override
    {
        KGUIFrame::OnDestroy();
        Log().push_back(std::string("destroy ") + GetName());
    }
    static std::vector<std::string>& Log()
    {
        static std::vector<std::string> log;
        return log;
    }
    std::vector<std::string> ChildrenAtCreate;
};

class HvuiLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        Baseline = KGUIElement::LiveElementCount();
        ProbeElement::Log().clear();
    }
    void TearDown() override
    {
        g_UIManager.ClearLayout();
        g_UIManager.ClearTemplates();
        EXPECT_EQ(KGUIElement::LiveElementCount(), Baseline) << "elements leaked or destroyed twice";
    }
    KGUIElement* Desktop() { return g_UIManager.GetDesktop(); }

    int64_t Baseline = 0;
};

TEST_F(HvuiLibrary, BuildsChildrenBeforeTheParentsOnCreate)
{
    KGUIFactory<ProbeElement> probes("probe", KGUIInterfaceVersion);
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui>
        <probe name="outer"><text name="a" text="first"/><probe name="inner"><frame name="b"/></probe></probe>
    </ui>)")) << g_UIManager.GetLastError();

    auto* outer = dynamic_cast<ProbeElement*>(Desktop()->FindChild("outer"));
    auto* inner = dynamic_cast<ProbeElement*>(Desktop()->FindChild("inner"));
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(outer->ChildrenAtCreate, (std::vector<std::string>{"a", "inner"}));
    EXPECT_EQ(inner->ChildrenAtCreate, (std::vector<std::string>{"b"}));
    EXPECT_EQ(ProbeElement::Log(), (std::vector<std::string>{"create inner", "create outer"}));
    EXPECT_EQ(outer->GetParent(), Desktop());
    EXPECT_EQ(probes.Elements.size(), 2u);
    EXPECT_STREQ(static_cast<KGUIText*>(outer->FindChild("a"))->GetText(), "first");

    g_UIManager.ClearLayout();
    EXPECT_TRUE(probes.Elements.empty()) << "destroying an element must tell its factory";
}

TEST_F(HvuiLibrary, FindUsableChildMatchesNameAndTypeAtAnyDepth)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><frame name="root">
        <frame name="Output"/>
        <frame name="box"><text name="Output" text="deep"/></frame>
        <text name="Label"/>
    </frame></ui>)"));
    KGUIElement* root = Desktop()->FindChild("root");
    ASSERT_NE(root, nullptr);

    // The frame named "Output" comes first but is not a text.
    KGUIElement* output = root->FindUsableChild("Output", "text");
    ASSERT_NE(output, nullptr);
    EXPECT_STREQ(static_cast<KGUIText*>(output)->GetText(), "deep");
    EXPECT_EQ(root->FindUsableChild("Output", "TEXT"), output);
    EXPECT_STREQ(root->FindUsableChild("Output", "frame")->GetTypeName(), "frame");
    EXPECT_EQ(root->FindUsableChild("output", "text"), nullptr) << "names match exactly";
    EXPECT_EQ(root->FindUsableChild("Missing", "text"), nullptr);
    EXPECT_EQ(root->FindUsableChild(nullptr, "text"), nullptr);
    EXPECT_EQ(root->FindUsableChild("Label", nullptr), nullptr);
}

TEST_F(HvuiLibrary, TemplatesSupplyMissingAttributes)
{
    ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui>
        <template name="wide" width="300" height="20" text="from template"/>
        <frame name="ignored"/>
    </ui>)"));
    EXPECT_TRUE(Desktop()->GetChildren().empty()) << "loading templates builds no elements";
    EXPECT_FALSE(g_UIManager.FindTemplate("wide").IsNone());
    EXPECT_TRUE(g_UIManager.FindTemplate("WIDE").IsNone());
    EXPECT_TRUE(g_UIManager.FindTemplate("nosuch").IsNone());
    EXPECT_TRUE(g_UIManager.FindTemplate("").IsNone());
    EXPECT_TRUE(g_UIManager.FindTemplate(nullptr).IsNone());

    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui>
        <text name="t" Template="wide" height="5"/>
        <text name="plain"/>
    </ui>)"));
    auto* t = static_cast<KGUIText*>(Desktop()->FindChild("t"));
    EXPECT_EQ(t->GetWidth(), 300);
    EXPECT_EQ(t->GetHeight(), 5) << "the node's own attribute wins";
    EXPECT_STREQ(t->GetText(), "from template");
    EXPECT_EQ(Desktop()->FindChild("plain")->GetWidth(), 0);

    // A later definition replaces an earlier one.
    ASSERT_TRUE(g_UIManager.LoadTemplatesFromText(R"(<ui><template name="wide" width="900"/></ui>)"));
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><frame name="f" Template="wide"/></ui>)"));
    EXPECT_EQ(Desktop()->FindChild("f")->GetWidth(), 900);
}

TEST_F(HvuiLibrary, RegistryRefusesClashesAndWrongVersions)
{
    KGUIFactory<KGUIFrame> clash("FRAME", KGUIInterfaceVersion);
    EXPECT_TRUE(clash.ElementType.empty()) << "type names ignore ASCII case";

    KGUIFactory<KGUIFrame> oldVersion("oldframe", 17);
    EXPECT_TRUE(oldVersion.ElementType.empty());
    EXPECT_EQ(g_UIManager.FindFactory("oldframe"), nullptr);

    {
        KGUIFactory<KGUIFrame> later("later", KGUIInterfaceVersion);
        EXPECT_EQ(later.ElementType, "later");
        EXPECT_FALSE(later.Register("again", KGUIInterfaceVersion)) << "one type per factory";
        EXPECT_EQ(g_UIManager.FindFactory("Later"), &later);
    }
    EXPECT_EQ(g_UIManager.FindFactory("later"), nullptr) << "a destroyed factory withdraws its type";
    EXPECT_NE(g_UIManager.FindFactory("frame"), nullptr);
    EXPECT_NE(g_UIManager.FindFactory("text"), nullptr);
}

TEST_F(HvuiLibrary, OwnershipRunsThroughTheFactories)
{
    int64_t before = KGUIElement::LiveElementCount();
    {
        KGUIFactory<ProbeElement> probes("probe", KGUIInterfaceVersion);
        ASSERT_TRUE(g_UIManager.LoadLayoutFromText(
            R"(<ui><frame name="holder"><probe name="p1"><probe name="p2"/></probe><probe name="p3"/></frame></ui>)"));
        KGUIElement* holder = Desktop()->FindChild("holder");
        EXPECT_EQ(KGUIElement::LiveElementCount(), before + 4);

        // DeleteChild takes only direct children.
        EXPECT_FALSE(holder->DeleteChild(Desktop()->FindChild("p2")));
        EXPECT_FALSE(holder->DeleteChild(nullptr));

        ASSERT_TRUE(holder->DeleteChild(holder->FindChild("p3")));
        EXPECT_EQ(probes.Elements.size(), 2u);
        EXPECT_EQ(ProbeElement::Log().back(), "destroy p3");

        // A factory going away takes its live elements, nested ones included, out of the tree.
        ProbeElement::Log().clear();
    }
    KGUIElement* holder = Desktop()->FindChild("holder");
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(holder->GetChildren().empty());
    EXPECT_EQ(KGUIElement::LiveElementCount(), before + 1);
    EXPECT_NE(std::find(ProbeElement::Log().begin(), ProbeElement::Log().end(), "destroy p1"), ProbeElement::Log().end());
    EXPECT_NE(std::find(ProbeElement::Log().begin(), ProbeElement::Log().end(), "destroy p2"), ProbeElement::Log().end());
}

TEST_F(HvuiLibrary, ZOrderAndHitTesting)
{
    ASSERT_TRUE(g_UIManager.LoadLayoutFromText(R"(<ui><frame name="r" width="100" height="100">
        <frame name="a" x="10" y="10" width="50" height="50"/>
        <frame name="b" x="30" y="30" width="50" height="50"/>
    </frame></ui>)"));
    KGUIElement* r = Desktop()->FindChild("r");
    KGUIElement* a = r->FindChild("a");
    KGUIElement* b = r->FindChild("b");
    EXPECT_EQ(r->FindMouseOver(40, 40), b) << "the later child lies on top";
    a->MoveZTop();
    EXPECT_EQ(a->GetStoragePosition(), 1);
    EXPECT_EQ(r->FindMouseOver(40, 40), a);
    a->MoveZDown();
    EXPECT_EQ(a->GetStoragePosition(), 0);
    EXPECT_EQ(r->FindMouseOver(15, 15), a);
    EXPECT_EQ(r->FindMouseOver(99, 5), r);
    EXPECT_EQ(r->FindMouseOver(100, 5), nullptr);
    b->SetFocus();
    a->SetFocus();
    EXPECT_TRUE(a->HasFocus());
    EXPECT_FALSE(b->HasFocus());
}

TEST_F(HvuiLibrary, HostileFilesAreRefusedWithAReason)
{
    struct Case {
        const char* Xml;
        const char* Reason;
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(g_UIManager.LoadLayoutFromText(c.Xml)) << c.Xml;
        EXPECT_NE(std::string(g_UIManager.GetLastError()).find(c.Reason), std::string::npos)
            << c.Xml << " -> " << g_UIManager.GetLastError();
    }
    EXPECT_FALSE(g_UIManager.LoadLayout("/nonexistent/dir/layout.xml"));
    EXPECT_FALSE(g_UIManager.LoadLayout(nullptr));

    std::string deep = "<ui>";
    for (int i = 0; i < 5000; ++i)
        deep += "<frame>";
    for (int i = 0; i < 5000; ++i)
        deep += "</frame>";
    deep += "</ui>";
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText(deep.c_str()));
    EXPECT_NE(std::string(g_UIManager.GetLastError()).find("nested"), std::string::npos);

    // What could be built stays; the rest was destroyed again (TearDown counts).
    EXPECT_FALSE(g_UIManager.LoadLayoutFromText("<ui><frame name='ok'/><frame name='bad' x='1.5'/></ui>"));
    EXPECT_NE(Desktop()->FindChild("ok"), nullptr);
    EXPECT_EQ(Desktop()->FindChild("bad"), nullptr);
}

} // namespace
