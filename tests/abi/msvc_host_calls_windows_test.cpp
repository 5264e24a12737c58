// The module's boundary classes called through the slots an MSVC-built host uses (see
// msvc_host_calls.cpp): the first slot destroys the most-derived object, freeing it only
// when asked, and each overload is reached in MSVC's order.
#include <gtest/gtest.h>

#include <new>

#include "hvui/kgui_element.h"
#include "haven/ks_type_definition.h"

extern "C" {
bool MsvcHostAddMemberWithId(KSTypeDefinition* type, uint32_t id, const char* name);
bool MsvcHostAddMember(KSTypeDefinition* type, const char* name);
bool MsvcHostAddMethodWithId(KSTypeDefinition* type, uint32_t id, const char* name);
bool MsvcHostAddMethod(KSTypeDefinition* type, const char* name);
bool MsvcHostRemoveMethod(KSTypeDefinition* type, const char* name);
KSTypeDefinition* MsvcHostEffectiveType(KSTypeDefinition* type);
bool MsvcHostFromString(KSTypeDefinition* type, KSValue* value, const char* text);
void MsvcHostDeleteType(KSTypeDefinition* type);
void MsvcHostDestroyType(KSTypeDefinition* type);
bool MsvcHostElementIsTypeOf(KGUIElement* element, const char* typeName);
void MsvcHostElementRender(KGUIElement* element);
void MsvcHostDeleteElement(KGUIElement* element);
}

namespace {

class ProbeType : public KSTypeDefinition {
public:
    explicit ProbeType(int* destroyed) : KSTypeDefinition("probe"), Destroyed(destroyed) {}
    ~ProbeType() override { ++*Destroyed; }
    bool FromString(KSValue& value, const char* text) override
    {
        value.UInt64 = text[0] == '\0' ? 0 : 42;
        return true;
    }

private:
    int* Destroyed;
};

class ProbeElement : public KGUIElement {
public:
    ProbeElement(int* destroyed, int* renders) : KGUIElement("probe", nullptr, "p"), Destroyed(destroyed), Renders(renders) {}
    ~ProbeElement() override { ++*Destroyed; }
    bool IsTypeOf(const char* typeName) const override { return std::string(typeName) == "probe"; }
    void Render() override { ++*Renders; }

private:
    int* Destroyed;
    int* Renders;
};

TEST(MsvcHostCalls, TypeOperationsReachTheirOwnBodies)
{
    int destroyed = 0;
    ProbeType type(&destroyed);
    EXPECT_TRUE(MsvcHostAddMemberWithId(&type, 7, "seven"));
    EXPECT_TRUE(MsvcHostAddMember(&type, "next"));
    uint32_t id = 0;
    ASSERT_TRUE(type.GetMemberID("seven", id));
    EXPECT_EQ(id, 7u);
    ASSERT_TRUE(type.GetMemberID("next", id));
    EXPECT_EQ(id, 8u) << "the automatic id follows the explicit one";

    EXPECT_TRUE(MsvcHostAddMethodWithId(&type, 3, "three"));
    EXPECT_TRUE(MsvcHostAddMethod(&type, "four"));
    ASSERT_TRUE(type.GetMethodID("four", id));
    EXPECT_EQ(id, 4u);
    EXPECT_TRUE(MsvcHostRemoveMethod(&type, "three"));
    EXPECT_FALSE(type.GetMethodID("three", id));

    EXPECT_EQ(MsvcHostEffectiveType(&type), &type);
    KSValue value;
    EXPECT_TRUE(MsvcHostFromString(&type, &value, "x"));
    EXPECT_EQ(value.UInt64, 42u) << "the derived override answers";
    EXPECT_EQ(destroyed, 0);
}

TEST(MsvcHostCalls, FirstSlotDestroysTheDerivedObjectAndFreesItOnlyWhenAsked)
{
    int destroyed = 0;
    MsvcHostDeleteType(new ProbeType(&destroyed));
    EXPECT_EQ(destroyed, 1);

    alignas(ProbeType) unsigned char storage[sizeof(ProbeType)];
    MsvcHostDestroyType(new (storage) ProbeType(&destroyed));
    EXPECT_EQ(destroyed, 2) << "an explicit destructor call destroys without freeing";

    int renders = 0;
    int elementsDestroyed = 0;
    ProbeElement* element = new ProbeElement(&elementsDestroyed, &renders);
    EXPECT_TRUE(MsvcHostElementIsTypeOf(element, "probe"));
    EXPECT_FALSE(MsvcHostElementIsTypeOf(element, "frame"));
    MsvcHostElementRender(element);
    EXPECT_EQ(renders, 1);
    MsvcHostDeleteElement(element);
    EXPECT_EQ(elementsDestroyed, 1);
}

} // namespace
