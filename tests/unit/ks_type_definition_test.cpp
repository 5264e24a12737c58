// The script type framework: name tables, id counters, dispatch through the head of a
// chain, slot reuse and growth, inheritance look-ups and the text conversions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/ks_type_definition.h"

namespace {

// Records which member or method record the framework hands to GetMember / GetMethod.
class ProbeType : public KSTypeDefinition {
public:
    explicit ProbeType(const char* name = "probe") : KSTypeDefinition(name) {}

    bool GetMember(KSValue, _KSTypeMember* member, int32_t, const char* const*, KSTypedValue& result) override
    {
        SeenMemberIds.push_back(member->ID);
        result.Type = this;
        return member->ID != FailingId;
    }
    bool GetMethod(KSValue& value, _KSTypeMember* method, int32_t, const char* const*) override
    {
        SeenMethodIds.push_back(method->ID);
        value.Word2 = method->ID;
        return method->ID != FailingId;
    }
    bool FromString(KSValue&, const char* text) override
    {
        Converted = text;
        return true;
    }

    uint32_t FailingId = 0xFFFFFFFF;
    std::vector<uint32_t> SeenMemberIds;
    std::vector<uint32_t> SeenMethodIds;
    std::string Converted;
};

int MemberHandlerCalls = 0;
bool CountingMemberHandler(KSTypeDefinition*, KSValue, int32_t, const char* const*, KSTypedValue&)
{
    ++MemberHandlerCalls;
    return true;
}
bool OtherMemberHandler(KSTypeDefinition*, KSValue, int32_t, const char* const*, KSTypedValue&) { return false; }
bool MethodHandlerSetsValue(KSTypeDefinition*, KSValue& value, int32_t argc, const char* const*)
{
    value.Int64 = 1000 + argc;
    return true;
}

int32_t Member(KSTypeDefinition& type, const char* name)
{
    KSTypedValue result;
    return type.DispatchMember(KSValue(), name, 0, nullptr, result);
}

uint32_t SlotNumber(const KSNameIndex& index, const char* name)
{
    auto found = index.find(name);
    return found == index.end() ? 0 : found->second;
}

} // namespace

TEST(KSTypeDefinition, TypeNameKeepsAtMost31Characters)
{
    const std::string exact(31, 'a');
    EXPECT_STREQ(ProbeType(exact.c_str()).TypeName, exact.c_str());
    const std::string longer = exact + "bcdefg";
    EXPECT_STREQ(ProbeType(longer.c_str()).TypeName, exact.c_str());
    EXPECT_STREQ(ProbeType(nullptr).TypeName, "");

    ProbeType fresh("t");
    EXPECT_EQ(fresh.NextMemberID, 1u);
    EXPECT_EQ(fresh.NextMethodID, 1u);
    EXPECT_EQ(fresh.NextVariableID, 1u);
    EXPECT_EQ(fresh.Parent, nullptr);
    EXPECT_FALSE(fresh.Destroying);
    EXPECT_EQ(fresh.Members.Size, 0u);
}

TEST(KSTypeDefinition, IdCountersFollowExplicitAndAutomaticIds)
{
    ProbeType consecutive;
    for (uint32_t id = 0; id < 20; ++id) {
        consecutive.AddMember(id, ("m" + std::to_string(id)).c_str(), nullptr);
    }
    EXPECT_EQ(consecutive.NextMemberID, 20u);
    EXPECT_EQ(consecutive.NextMethodID, 1u) << "members and methods count separately";

    ProbeType zeroFirst;
    zeroFirst.AddMember(0, "a", nullptr);
    EXPECT_EQ(zeroFirst.NextMemberID, 1u);

    // A new name takes NextMemberID and advances it; an existing name reuses its head's id.
    ProbeType automatic;
    automatic.AddMember(5, "five", nullptr);
    EXPECT_TRUE(automatic.AddMember("fresh", nullptr));
    uint32_t id = 0;
    ASSERT_TRUE(automatic.GetMemberID("fresh", id));
    EXPECT_EQ(id, 6u);
    EXPECT_EQ(automatic.NextMemberID, 7u);
    EXPECT_TRUE(automatic.AddMember("five", CountingMemberHandler));
    ASSERT_TRUE(automatic.GetMemberID("five", id));
    EXPECT_EQ(id, 5u);
    EXPECT_EQ(automatic.NextMemberID, 7u);

    EXPECT_TRUE(automatic.AddMethod("go", nullptr));
    ASSERT_TRUE(automatic.GetMethodID("go", id));
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(automatic.NextMethodID, 2u);
}

TEST(KSTypeDefinition, DuplicateRegistrationChangesOnlyTheCounter)
{
    ProbeType type;
    ASSERT_TRUE(type.AddMember(2, "Name", CountingMemberHandler));
    EXPECT_FALSE(type.AddMember(40, "Name", CountingMemberHandler));
    EXPECT_EQ(type.NextMemberID, 41u);
    uint32_t id = 0;
    ASSERT_TRUE(type.GetMemberID("Name", id));
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(type.Members.List[0]->Next, nullptr);
}

TEST(KSTypeDefinition, DispatchUsesTheNewestRecordOfAName)
{
    ProbeType type;
    MemberHandlerCalls = 0;
    ASSERT_TRUE(type.AddMember(3, "X", CountingMemberHandler));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(MemberHandlerCalls, 1);
    EXPECT_TRUE(type.SeenMemberIds.empty());

    // A second record with no handler becomes the head: GetMember sees its id.
    ASSERT_TRUE(type.AddMember(7, "X", nullptr));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(type.SeenMemberIds, std::vector<uint32_t>{7});
    EXPECT_EQ(MemberHandlerCalls, 1);

    // Removing it brings the handler's record back to the head.
    ASSERT_TRUE(type.RemoveMember("X", nullptr));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(MemberHandlerCalls, 2);

    ASSERT_TRUE(type.AddMember(8, "X", OtherMemberHandler));
    EXPECT_EQ(Member(type, "X"), 0) << "a handler answering false gives 0";
    ASSERT_TRUE(type.RemoveMember("X", OtherMemberHandler));
    ASSERT_TRUE(type.RemoveMember("X", CountingMemberHandler));
    EXPECT_EQ(Member(type, "X"), -1);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "X"), 0u);
    EXPECT_FALSE(type.RemoveMember("X", CountingMemberHandler));
}

TEST(KSTypeDefinition, DispatchAnswersAndNameMatching)
{
    ProbeType type;
    type.AddMember(0, "State", nullptr);
    type.AddMember(1, "Broken", nullptr);
    type.FailingId = 1;
    EXPECT_EQ(Member(type, "State"), 1);
    EXPECT_EQ(Member(type, "Broken"), 0);
    EXPECT_EQ(Member(type, "state"), -1);
    EXPECT_EQ(Member(type, "STATE"), -1);
    EXPECT_EQ(Member(type, "Stat"), -1);
    EXPECT_EQ(Member(type, nullptr), -1);
    EXPECT_EQ(Member(type, ""), -1);

    type.AddMethod(0, "Run", nullptr);
    type.AddMethod(4, "Fail", nullptr);
    type.FailingId = 4;
    KSValue value;
    EXPECT_EQ(type.DispatchMethod(value, "Run", 0, nullptr), 1);
    EXPECT_EQ(type.DispatchMethod(value, "Fail", 0, nullptr), 0);
    EXPECT_EQ(value.Word2, 4u) << "a method receives the value by reference";
    EXPECT_EQ(type.DispatchMethod(value, "run", 0, nullptr), -1);
    EXPECT_EQ(type.DispatchMethod(value, nullptr, 0, nullptr), -1);

    ASSERT_TRUE(type.AddMethod(9, "Run", MethodHandlerSetsValue));
    const char* args[] = {"a", "b"};
    EXPECT_EQ(type.DispatchMethod(value, "Run", 2, args), 1);
    EXPECT_EQ(value.Int64, 1002);

    KSTypedValue result;
    EXPECT_EQ(type.DispatchIndex(KSValue(), 0, nullptr, result), -1);
    EXPECT_EQ(type.GetEffectiveType(), &type);
}

TEST(KSTypeDefinition, ChainRemovalRelinksNeighbours)
{
    ProbeType type;
    type.AddMember(1, "n", nullptr);
    type.AddMember(2, "n", CountingMemberHandler);
    type.AddMember(3, "n", OtherMemberHandler);
    _KSTypeMember* head = type.Members.List[0];
    ASSERT_EQ(head->ID, 3u);
    ASSERT_EQ(head->Next->ID, 2u);
    ASSERT_EQ(head->Next->Next->ID, 1u);

    ASSERT_TRUE(type.RemoveMember("n", CountingMemberHandler));
    head = type.Members.List[0];
    EXPECT_EQ(head->Previous, nullptr);
    ASSERT_NE(head->Next, nullptr);
    EXPECT_EQ(head->Next->ID, 1u);
    EXPECT_EQ(head->Next->Previous, head);
    EXPECT_EQ(head->Next->Next, nullptr);

    ASSERT_TRUE(type.RemoveMember("n", OtherMemberHandler));
    head = type.Members.List[0];
    EXPECT_EQ(head->ID, 1u);
    EXPECT_EQ(head->Previous, nullptr);
    EXPECT_EQ(head->Next, nullptr);
    EXPECT_STREQ(type.GetMemberName(1), "n");
    EXPECT_EQ(type.GetMemberName(3), nullptr);
}

TEST(KSTypeDefinition, FreedSlotIsReusedAndTablesGrowByTen)
{
    ProbeType type;
    type.AddMember(0, "a", nullptr);
    EXPECT_EQ(type.Members.Size, 10u);
    type.AddMember(1, "b", nullptr);
    type.AddMember(2, "c", nullptr);
    ASSERT_TRUE(type.RemoveMember("b", nullptr));
    EXPECT_EQ(type.Members.List[1], nullptr);
    type.AddMember(3, "d", nullptr);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "d"), 2u) << "the lowest free slot comes first";

    for (uint32_t i = 4; i < 11; ++i) {
        type.AddMember(i, ("n" + std::to_string(i)).c_str(), nullptr);
    }
    EXPECT_EQ(type.MemberIndex.size(), 10u);
    EXPECT_EQ(type.Members.Size, 10u);
    type.AddMember(11, "eleventh", nullptr);
    EXPECT_EQ(type.Members.Size, 20u);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "eleventh"), 11u);
    // Every earlier record survived the move to the larger array.
    EXPECT_EQ(Member(type, "a"), 1);
    EXPECT_EQ(Member(type, "n10"), 1);

    type.Members.Grow(15);
    EXPECT_EQ(type.Members.Size, 20u) << "a table never shrinks";
}

TEST(KSTypeDefinition, NameOrderComparesBytesThenLength)
{
    KSNameOrder less;
    EXPECT_TRUE(less("ab", "abc"));
    EXPECT_FALSE(less("abc", "ab"));
    EXPECT_TRUE(less("B", "a"));
    EXPECT_TRUE(less("z", "\xC3\xA9")) << "bytes compare as unsigned";
    EXPECT_FALSE(less("same", "same"));
}

TEST(KSTypeDefinition, InitVariableZeroesOnlyWithoutSubtype)
{
    ProbeType type;
    KSValue value;
    value.UInt64 = 77;
    value.Word2 = 5;
    EXPECT_FALSE(type.InitVariable(value, "sub"));
    EXPECT_EQ(value.UInt64, 77u);
    EXPECT_TRUE(type.InitVariable(value, ""));
    EXPECT_EQ(value.UInt64, 0u);
    value.UInt64 = 9;
    EXPECT_TRUE(type.InitVariable(value, nullptr));
    EXPECT_EQ(value.UInt64, 0u);
    EXPECT_EQ(value.Word2, 5u) << "only the first word is the default";
}

TEST(KSTypeDefinition, FromTextArgsJoinsIntoOneBoundedText)
{
    ProbeType type;
    KSValue value;
    EXPECT_TRUE(type.FromTextArgs(value, 0, nullptr));
    EXPECT_EQ(type.Converted, "");
    EXPECT_TRUE(type.FromTextArgs(value, -3, nullptr));
    EXPECT_EQ(type.Converted, "");

    const char* words[] = {"a", "bc", nullptr, "d"};
    type.FromTextArgs(value, 4, words);
    EXPECT_EQ(type.Converted, "a bc  d");

    const std::string big(3000, 'x');
    const char* huge[] = {big.c_str(), big.c_str(), big.c_str()};
    type.FromTextArgs(value, 3, huge);
    ASSERT_EQ(type.Converted.size(), 4095u);
    EXPECT_EQ(type.Converted.substr(0, 3001), big + " ");

    // Exactly 4095 characters fit whole; the blank before a further argument does not.
    const std::string fill(4095, 'y');
    const char* edge[] = {fill.c_str(), "z"};
    type.FromTextArgs(value, 2, edge);
    EXPECT_EQ(type.Converted, fill);

    KSTypeDefinition base("base");
    EXPECT_FALSE(base.FromTextArgs(value, 1, words));
    EXPECT_FALSE(base.FromText(value, "1"));
    char buffer[8] = "keep";
    EXPECT_FALSE(base.ToText(value, buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "keep");
}

TEST(KSTypeDefinition, InheritedLookupsSearchEveryParent)
{
    ProbeType grandparent("gp");
    ProbeType parent("p");
    ProbeType child("c");
    grandparent.AddMember(0, "Old", nullptr);
    grandparent.AddMethod(0, "Act", nullptr);
    parent.SetInheritance(&grandparent);
    child.SetInheritance(&parent);

    EXPECT_TRUE(child.HasInheritedMember("Old"));
    EXPECT_TRUE(child.HasInheritedMethod("Act"));
    EXPECT_FALSE(child.HasInheritedMember("Act"));
    EXPECT_FALSE(grandparent.HasInheritedMember("Old")) << "a type's own names are not inherited";
    EXPECT_EQ(Member(child, "Old"), -1) << "dispatch does not consult the parent";

    grandparent.RemoveMember("Old", nullptr);
    EXPECT_FALSE(child.HasInheritedMember("Old"));

    // A loop of parents would make the look-ups recurse forever; it is refused.
    grandparent.SetInheritance(&child);
    EXPECT_EQ(grandparent.Parent, nullptr);
    child.SetInheritance(nullptr);
    EXPECT_EQ(child.Parent, nullptr);
}

TEST(KSTypeDefinition, VariablesTakeSerialsAndAreDropped)
{
    ProbeType type;
    int a = 0;
    int b = 0;
    const uint32_t first = type.RegisterVariable(&a);
    const uint32_t second = type.RegisterVariable(&b);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    type.UnregisterVariable(first);
    EXPECT_EQ(type.Variables.count(first), 0u);
    EXPECT_EQ(type.Variables.count(second), 1u);
}

TEST(KSTypeDefinition, DestructionFreesEveryChain)
{
    // Run under ASan: every record of every chain, and both arrays, must be released.
    auto* type = new ProbeType;
    for (uint32_t i = 0; i < 25; ++i) {
        type->AddMember(i, ("m" + std::to_string(i % 12)).c_str(), i < 12 ? nullptr : CountingMemberHandler);
        type->AddMethod(i, ("f" + std::to_string(i)).c_str(), nullptr);
    }
    KSTypeDefinition* base = type;
    delete base;
    SUCCEED();
}
