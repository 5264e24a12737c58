#include "haven/ks_type_definition.h"

#include <cstring>

namespace {

constexpr size_t JoinedArgsBufferSize = 4096;

// Members and methods share one algorithm over different tables; Slot names the handler
// field of a record that the table uses.
template <typename Handler, typename Slot>
struct KSTable {
    CIndex<_KSTypeMember*>& Records;
    KSNameIndex& Index;
    uint32_t& NextID;
    Slot HandlerOf;

    // The head of the chain stored for `name`, or none.
    _KSTypeMember* Head(const char* name) const
    {
        if (name == nullptr) {
            return nullptr;
        }
        const auto found = Index.find(name);
        if (found == Index.end() || found->second == 0) {
            return nullptr;
        }
        const uint64_t slot = found->second - 1;
        return slot < Records.Size ? Records.List[slot] : nullptr;
    }

    bool Add(uint32_t id, const char* name, Handler handler)
    {
        if (name == nullptr) {
            return false;
        }
        if (id >= NextID) {
            NextID = id + 1;
        }
        uint32_t& number = Index[name];
        uint64_t slot = 0;
        if (number != 0) {
            slot = number - 1;
            for (_KSTypeMember* record = Records.List[slot]; record != nullptr; record = record->Next) {
                if (HandlerOf(record) == handler) {
                    return false;
                }
            }
        } else {
            slot = Records.GetFreeSlot();
            number = static_cast<uint32_t>(slot + 1);
        }
        auto* record = new _KSTypeMember;
        record->ID = id;
        record->Name = name;
        HandlerOf(record) = handler;
        record->Previous = nullptr;
        record->Next = Records.List[slot];
        if (record->Next != nullptr) {
            record->Next->Previous = record;
        }
        Records.List[slot] = record;
        return true;
    }

    // The id of an existing name's head, or the next automatic id.
    uint32_t AutomaticID(const char* name)
    {
        if (const _KSTypeMember* head = Head(name)) {
            return head->ID;
        }
        return NextID++;
    }

    bool Remove(const char* name, Handler handler)
    {
        if (name == nullptr) {
            return false;
        }
        const auto found = Index.find(name);
        if (found == Index.end() || found->second == 0) {
            return false;
        }
        const uint64_t slot = found->second - 1;
        if (slot >= Records.Size || Records.List[slot] == nullptr) {
            return false;
        }
        _KSTypeMember* record = Records.List[slot];
        while (record != nullptr && HandlerOf(record) != handler) {
            record = record->Next;
        }
        if (record == nullptr) {
            return false;
        }
        if (record->Previous != nullptr) {
            record->Previous->Next = record->Next;
        } else {
            Records.List[slot] = record->Next;
        }
        if (record->Next != nullptr) {
            record->Next->Previous = record->Previous;
        }
        if (Records.List[slot] == nullptr) {
            Index.erase(found);
        }
        delete record;
        return true;
    }

    // The name of the first head, walking the slots from the first, that bears `id`.
    const char* NameOf(uint32_t id) const
    {
        for (uint64_t i = 0; i < Records.Size; ++i) {
            const _KSTypeMember* head = Records.List[i];
            if (head != nullptr && head->ID == id) {
                return head->Name.c_str();
            }
        }
        return nullptr;
    }

    void FreeAll()
    {
        for (uint64_t i = 0; i < Records.Size; ++i) {
            _KSTypeMember* record = Records.List[i];
            while (record != nullptr) {
                _KSTypeMember* next = record->Next;
                delete record;
                record = next;
            }
            Records.List[i] = nullptr;
        }
        Index.clear();
    }
};

struct MemberHandlerOf {
    KSMemberHandler& operator()(_KSTypeMember* record) const { return record->Handler.Member; }
};
struct MethodHandlerOf {
    KSMethodHandler& operator()(_KSTypeMember* record) const { return record->Handler.Method; }
};

using MemberTable = KSTable<KSMemberHandler, MemberHandlerOf>;
using MethodTable = KSTable<KSMethodHandler, MethodHandlerOf>;

MemberTable MembersOf(KSTypeDefinition& type)
{
    return MemberTable{type.Members, type.MemberIndex, type.NextMemberID, MemberHandlerOf{}};
}

MethodTable MethodsOf(KSTypeDefinition& type)
{
    return MethodTable{type.Methods, type.MethodIndex, type.NextMethodID, MethodHandlerOf{}};
}

} // namespace

KSTypeDefinition::KSTypeDefinition(const char* typeName)
{
    size_t length = 0;
    if (typeName != nullptr) {
        while (length < sizeof(TypeName) - 1 && typeName[length] != '\0') {
            ++length;
        }
        std::memcpy(TypeName, typeName, length);
    }
    TypeName[length] = '\0';
}

KSTypeDefinition::~KSTypeDefinition()
{
    Destroying = true;
    MembersOf(*this).FreeAll();
    MethodsOf(*this).FreeAll();
    Variables.clear();
}

bool KSTypeDefinition::FromString(KSValue&, const char*) { return false; }

bool KSTypeDefinition::FromText(KSValue& value, const char* text) { return FromString(value, text); }

bool KSTypeDefinition::FromTextArgs(KSValue& value, int32_t argc, const char* const* argv)
{
    char text[JoinedArgsBufferSize];
    size_t used = 0;
    const size_t room = sizeof(text) - 1;
    for (int32_t i = 0; argv != nullptr && i < argc && used < room; ++i) {
        if (i > 0) {
            text[used++] = ' ';
        }
        // A missing argument joins as an empty text.
        const char* argument = argv[i] != nullptr ? argv[i] : "";
        while (used < room && *argument != '\0') {
            text[used++] = *argument++;
        }
    }
    text[used] = '\0';
    return FromText(value, text);
}

bool KSTypeDefinition::InitVariable(KSValue& value, const char* subtype)
{
    if (subtype != nullptr && subtype[0] != '\0') {
        return false;
    }
    InitVariableDefault(value);
    return true;
}

void KSTypeDefinition::InitVariableDefault(KSValue& value) { value.UInt64 = 0; }

void KSTypeDefinition::FreeVariable(KSValue&) {}

bool KSTypeDefinition::GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                                 KSTypedValue& result)
{
    if (member == nullptr) {
        return false;
    }
    return GetMemberNamed(value, member->Name.c_str(), argc, argv, result);
}

bool KSTypeDefinition::GetMemberNamed(KSValue, const char*, int32_t, const char* const*, KSTypedValue&)
{
    return false;
}

bool KSTypeDefinition::GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv)
{
    if (method == nullptr) {
        return false;
    }
    return GetMethodNamed(value, method->Name.c_str(), argc, argv);
}

bool KSTypeDefinition::GetMethodNamed(KSValue&, const char*, int32_t, const char* const*) { return false; }

int32_t KSTypeDefinition::DispatchIndex(KSValue value, int32_t argc, const char* const* argv, KSTypedValue& result)
{
    return DispatchIndexDefault(value, argc, argv, result);
}

int32_t KSTypeDefinition::DispatchMember(KSValue value, const char* name, int32_t argc, const char* const* argv,
                                         KSTypedValue& result)
{
    if (name == nullptr) {
        return -1;
    }
    const auto found = MemberIndex.find(name);
    if (found == MemberIndex.end() || found->second == 0) {
        return DispatchUnknownMember(value, name, argc, argv, result);
    }
    // Only the head of the chain counts: the latest registration of a name decides.
    _KSTypeMember* head = MembersOf(*this).Head(name);
    if (head == nullptr) {
        return -1;
    }
    const bool answer = head->Handler.Member != nullptr ? head->Handler.Member(this, value, argc, argv, result)
                                                        : GetMember(value, head, argc, argv, result);
    return answer ? 1 : 0;
}

int32_t KSTypeDefinition::DispatchMethod(KSValue& value, const char* name, int32_t argc, const char* const* argv)
{
    if (name == nullptr) {
        return -1;
    }
    const auto found = MethodIndex.find(name);
    if (found == MethodIndex.end() || found->second == 0) {
        return DispatchUnknownMethod(value, name, argc, argv);
    }
    _KSTypeMember* head = MethodsOf(*this).Head(name);
    if (head == nullptr) {
        return -1;
    }
    const bool answer = head->Handler.Method != nullptr ? head->Handler.Method(this, value, argc, argv)
                                                        : GetMethod(value, head, argc, argv);
    return answer ? 1 : 0;
}

int32_t KSTypeDefinition::DispatchIndexDefault(KSValue, int32_t, const char* const*, KSTypedValue&) { return -1; }

int32_t KSTypeDefinition::DispatchUnknownMember(KSValue, const char*, int32_t, const char* const*, KSTypedValue&)
{
    return -1;
}

int32_t KSTypeDefinition::DispatchUnknownMethod(KSValue&, const char*, int32_t, const char* const*) { return -1; }

bool KSTypeDefinition::ToString(KSValue value, char* buffer, uint32_t size)
{
    return ToStringDefault(value, buffer, size);
}

bool KSTypeDefinition::ToText(KSValue value, char* buffer, uint32_t size) { return ToString(value, buffer, size); }

bool KSTypeDefinition::ToStringDefault(KSValue, char*, uint32_t) { return false; }

bool KSTypeDefinition::HasInheritedMember(const char* name)
{
    if (Parent == nullptr) {
        return false;
    }
    if (MembersOf(*Parent).Head(name) != nullptr) {
        return true;
    }
    return Parent->HasInheritedMember(name);
}

bool KSTypeDefinition::HasInheritedMethod(const char* name)
{
    if (Parent == nullptr) {
        return false;
    }
    if (MethodsOf(*Parent).Head(name) != nullptr) {
        return true;
    }
    return Parent->HasInheritedMethod(name);
}

KSTypeDefinition* KSTypeDefinition::GetEffectiveType() { return this; }

bool KSTypeDefinition::AddMember(const char* name, KSMemberHandler handler)
{
    if (name == nullptr) {
        return false;
    }
    return AddMember(MembersOf(*this).AutomaticID(name), name, handler);
}

bool KSTypeDefinition::AddMember(uint32_t id, const char* name, KSMemberHandler handler)
{
    return MembersOf(*this).Add(id, name, handler);
}

bool KSTypeDefinition::RemoveMember(const char* name, KSMemberHandler handler)
{
    return MembersOf(*this).Remove(name, handler);
}

bool KSTypeDefinition::AddMethod(const char* name, KSMethodHandler handler)
{
    if (name == nullptr) {
        return false;
    }
    return AddMethod(MethodsOf(*this).AutomaticID(name), name, handler);
}

bool KSTypeDefinition::AddMethod(uint32_t id, const char* name, KSMethodHandler handler)
{
    return MethodsOf(*this).Add(id, name, handler);
}

bool KSTypeDefinition::RemoveMethod(const char* name, KSMethodHandler handler)
{
    return MethodsOf(*this).Remove(name, handler);
}

void KSTypeDefinition::SetInheritance(KSTypeDefinition* parent)
{
    // A parent chain that leads back here would make the inherited look-ups recurse forever.
    for (KSTypeDefinition* ancestor = parent; ancestor != nullptr; ancestor = ancestor->Parent) {
        if (ancestor == this) {
            return;
        }
    }
    Parent = parent;
}

bool KSTypeDefinition::GetMemberID(const char* name, uint32_t& id)
{
    const _KSTypeMember* head = MembersOf(*this).Head(name);
    if (head == nullptr) {
        return false;
    }
    id = head->ID;
    return true;
}

bool KSTypeDefinition::GetMethodID(const char* name, uint32_t& id)
{
    const _KSTypeMember* head = MethodsOf(*this).Head(name);
    if (head == nullptr) {
        return false;
    }
    id = head->ID;
    return true;
}

const char* KSTypeDefinition::GetMemberName(uint32_t id) { return MembersOf(*this).NameOf(id); }

const char* KSTypeDefinition::GetMethodName(uint32_t id) { return MethodsOf(*this).NameOf(id); }

uint32_t KSTypeDefinition::RegisterVariable(void* record)
{
    if (NextVariableID == 0) {
        NextVariableID = 1; // 0 is never a serial
    }
    const uint32_t serial = NextVariableID++;
    Variables[serial] = record;
    return serial;
}

void KSTypeDefinition::UnregisterVariable(uint32_t serial)
{
    if (Destroying) {
        return;
    }
    Variables.erase(serial);
}
