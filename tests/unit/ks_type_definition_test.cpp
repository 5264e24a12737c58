// The script type framework: name tables, id counters, dispatch through the head of a
// chain, slot reuse and growth, inheritance look-ups and the text conversions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "haven/ks_type_definition.h"

namespace {

// Records which member record the framework hands to GetMember, and what FromString got.
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
    std::string Converted;
};

int HandlerCalls = 0;
bool CountingHandler(KSTypeDefinition*, KSValue, int32_t, const char* const*, KSTypedValue&) { return ++HandlerCalls; }
bool FalseHandler(KSTypeDefinition*, KSValue, int32_t, const char* const*, KSTypedValue&) { return false; }

int32_t Member(KSTypeDefinition& type, const char* name)
{
    KSTypedValue result;
    return type.DispatchMember(KSValue(), name, 0, nullptr, result);
}

uint32_t SlotNumber(const KSNameIndex& index, const char* name) { return index.count(name) ? index.at(name) : 0; }

} // namespace

TEST(KSTypeDefinition, NamesKeepAtMost31CharactersAndIdCountersFollowTheIds)
{
    const std::string exact(31, 'a');
    EXPECT_STREQ(ProbeType(exact.c_str()).TypeName, exact.c_str());
    EXPECT_STREQ(ProbeType((exact + "bcdefg").c_str()).TypeName, exact.c_str());
    EXPECT_STREQ(ProbeType(nullptr).TypeName, "");

    // A new name takes NextMemberID and advances it; an existing name reuses its head's id.
    ProbeType automatic;
    automatic.AddMember(5, "five", nullptr);
    EXPECT_TRUE(automatic.AddMember("fresh", nullptr));
    uint32_t id = 0;
    ASSERT_TRUE(automatic.GetMemberID("fresh", id));
    EXPECT_EQ(id, 6u);
    EXPECT_TRUE(automatic.AddMember("five", CountingHandler));
    EXPECT_EQ(automatic.NextMemberID, 7u);
    EXPECT_EQ(automatic.NextMethodID, 1u) << "members and methods count separately";
    EXPECT_TRUE(automatic.AddMethod("go", nullptr));
    EXPECT_EQ(automatic.NextMethodID, 2u);
    // Registering the same name and handler again changes only the counter.
    EXPECT_FALSE(automatic.AddMember(40, "five", CountingHandler));
    EXPECT_EQ(automatic.NextMemberID, 41u);
    ASSERT_TRUE(automatic.GetMemberID("five", id));
    EXPECT_EQ(id, 5u);
}

TEST(KSTypeDefinition, DispatchGoesThroughTheHeadOfTheChainAndMatchesCase)
{
    ProbeType type;
    HandlerCalls = 0;
    ASSERT_TRUE(type.AddMember(3, "X", CountingHandler));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(HandlerCalls, 1);
    // A second record with no handler becomes the head: GetMember sees its id.
    ASSERT_TRUE(type.AddMember(7, "X", nullptr));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(type.SeenMemberIds, std::vector<uint32_t>{7});
    // Removing it brings the handler's record back to the head.
    ASSERT_TRUE(type.RemoveMember("X", nullptr));
    EXPECT_EQ(Member(type, "X"), 1);
    EXPECT_EQ(HandlerCalls, 2);
    // Re-added with another handler, that handler answers.
    ASSERT_TRUE(type.AddMember(8, "X", FalseHandler));
    EXPECT_EQ(Member(type, "X"), 0) << "a handler answering false gives 0";
    ASSERT_TRUE(type.RemoveMember("X", FalseHandler));
    ASSERT_TRUE(type.RemoveMember("X", CountingHandler));
    EXPECT_EQ(Member(type, "X"), -1);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "X"), 0u);
    EXPECT_FALSE(type.RemoveMember("X", CountingHandler));

    type.AddMember(0, "State", nullptr);
    type.AddMember(1, "Broken", nullptr);
    type.AddMethod(0, "Run", nullptr);
    type.AddMethod(1, "Fail", nullptr);
    type.FailingId = 1;
    EXPECT_EQ(Member(type, "State"), 1);
    EXPECT_EQ(Member(type, "Broken"), 0);
    for (const char* name : {"state", "STATE", "Stat", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Member(type, name), -1) << (name != nullptr ? name : "null");
    KSValue value;
    EXPECT_EQ(type.DispatchMethod(value, "Run", 0, nullptr), 1);
    EXPECT_EQ(type.DispatchMethod(value, "Fail", 0, nullptr), 0);
    EXPECT_EQ(value.Word2, 1u) << "a method receives the value by reference";
    EXPECT_EQ(type.DispatchMethod(value, "run", 0, nullptr), -1);
}

TEST(KSTypeDefinition, RemovalRelinksTheChainAndFreedSlotsAreReused)
{
    ProbeType chain;
    chain.AddMember(1, "n", nullptr);
    chain.AddMember(2, "n", CountingHandler);
    chain.AddMember(3, "n", FalseHandler);
    ASSERT_TRUE(chain.RemoveMember("n", CountingHandler));
    _KSTypeMember* head = chain.Members.List[0];
    ASSERT_TRUE(head->ID == 3 && head->Previous == nullptr && head->Next != nullptr);
    EXPECT_TRUE(head->Next->ID == 1 && head->Next->Previous == head && head->Next->Next == nullptr);
    ASSERT_TRUE(chain.RemoveMember("n", FalseHandler));
    head = chain.Members.List[0];
    EXPECT_TRUE(head->ID == 1 && head->Previous == nullptr && head->Next == nullptr);
    EXPECT_STREQ(chain.GetMemberName(1), "n");
    EXPECT_EQ(chain.GetMemberName(3), nullptr);

    ProbeType type;
    type.AddMember(0, "a", nullptr);
    type.AddMember(1, "b", nullptr);
    type.AddMember(2, "c", nullptr);
    ASSERT_TRUE(type.RemoveMember("b", nullptr));
    type.AddMember(3, "d", nullptr);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "d"), 2u) << "the lowest free slot comes first";
    for (uint32_t i = 4; i < 11; ++i)
        type.AddMember(i, ("n" + std::to_string(i)).c_str(), nullptr);
    EXPECT_EQ(type.Members.Size, 10u);
    type.AddMember(11, "eleventh", nullptr);
    EXPECT_EQ(type.Members.Size, 20u);
    EXPECT_EQ(SlotNumber(type.MemberIndex, "eleventh"), 11u);
    // Every earlier record survived the move to the larger array (ASan checks the reads).
    EXPECT_EQ(Member(type, "a"), 1);
    EXPECT_EQ(Member(type, "n10"), 1);
    type.Members.Grow(15);
    EXPECT_EQ(type.Members.Size, 20u) << "a table never shrinks";
}

TEST(KSTypeDefinition, InitVariableAndFromTextArgs)
{
    ProbeType type;
    KSValue value;
    value.UInt64 = 77;
    value.Word2 = 5;
    EXPECT_FALSE(type.InitVariable(value, "sub"));
    EXPECT_EQ(value.UInt64, 77u);
    EXPECT_TRUE(type.InitVariable(value, nullptr));
    EXPECT_TRUE(value.UInt64 == 0 && value.Word2 == 5) << "only the first word is the default";

    EXPECT_TRUE(type.FromTextArgs(value, 0, nullptr) && type.Converted.empty());
    EXPECT_TRUE(type.FromTextArgs(value, -3, nullptr) && type.Converted.empty());
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
    char buffer[8] = "keep";
    EXPECT_FALSE(base.ToText(value, buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "keep");
}

TEST(KSTypeDefinition, InheritedLookupsSearchEveryParentAndRefuseALoop)
{
    ProbeType grandparent("gp");
    ProbeType parent("p");
    ProbeType child("c");
    grandparent.AddMember(0, "Old", nullptr);
    parent.SetInheritance(&grandparent);
    child.SetInheritance(&parent);
    EXPECT_TRUE(child.HasInheritedMember("Old"));
    EXPECT_EQ(Member(child, "Old"), -1) << "dispatch does not consult the parent";
    grandparent.SetInheritance(&child);
    EXPECT_EQ(grandparent.Parent, nullptr) << "a loop of parents would make the look-ups recurse forever";
}
