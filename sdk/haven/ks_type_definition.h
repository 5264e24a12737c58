// The host's scripting interface for data types. The KestrelScript engine reaches every
// script data type through one KSTypeDefinition object and calls its virtual operations by
// position: the order of the virtual operations below is part of the interface and must
// never change. The host's own built-in types and the extension's types derive from it.
//
// All operations run on the host's script thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "haven/ks_critical_section.h"

class KSTypeDefinition;

// The value of a script object: two 64-bit words whose meaning each type chooses. The
// first word is read through whichever view fits the type; a first word of 0 means "no
// object" for the extension's own types.
struct KSValue {
    union {
        uint64_t UInt64 = 0;
        int64_t Int64;
        double Float64;
        void* Pointer;
    };
    uint64_t Word2 = 0;

    // A bool lives in the low 32 bits of the first word; only those bits are written.
    uint32_t Low32() const { return static_cast<uint32_t>(UInt64 & 0xFFFFFFFFu); }
    void SetLow32(uint32_t value) { UInt64 = (UInt64 & 0xFFFFFFFF00000000ull) | value; }
    bool IsNone() const { return UInt64 == 0; }
};

// A filled result: the type of the value and the value.
struct KSTypedValue {
    KSTypeDefinition* Type = nullptr;
    KSValue Value;
};

// Handlers a record may carry instead of going through GetMember / GetMethod.
typedef bool (*KSMemberHandler)(KSTypeDefinition* type, KSValue value, int32_t argc, const char* const* argv,
                                KSTypedValue& result);
typedef bool (*KSMethodHandler)(KSTypeDefinition* type, KSValue& value, int32_t argc, const char* const* argv);

// One registration of a member or method name. Records of the same name form a chain whose
// head (no Previous) decides the id and the handler.
struct _KSTypeMember {
    uint32_t ID = 0;
    std::string Name; // the record's own copy
    union {
        KSMemberHandler Member; // in a member chain
        KSMethodHandler Method; // in a method chain
    } Handler{nullptr};
    _KSTypeMember* Previous = nullptr;
    _KSTypeMember* Next = nullptr;
};

// A growable table of pointers; a null entry is a free slot. It grows ten slots at a time
// and always hands out the lowest free slot.
template <typename T>
class CIndex {
public:
    CIndex() = default;
    ~CIndex()
    {
        if (List != nullptr) {
            FreeBlock(List);
        }
    }
    CIndex(const CIndex&) = delete;
    CIndex& operator=(const CIndex&) = delete;

    virtual void* AllocateBlock(size_t bytes) { return std::malloc(bytes); }
    virtual void FreeBlock(void* block) { std::free(block); }

    // The lowest free slot, growing the table by ten slots when none is free.
    uint64_t GetFreeSlot()
    {
        if (Size == 0) {
            Grow(10);
            return 0;
        }
        for (uint64_t i = 0; i < Size; ++i) {
            if (List[i] == nullptr) {
                return i;
            }
        }
        const uint64_t old = Size;
        Grow(Size + 10);
        return old;
    }

    // Grows to n slots; never shrinks. New slots are free.
    void Grow(uint64_t n)
    {
        if (List != nullptr && n <= Size) {
            return;
        }
        if (n > SIZE_MAX / sizeof(T)) {
            std::abort();
        }
        T* grown = static_cast<T*>(AllocateBlock(static_cast<size_t>(n) * sizeof(T)));
        if (grown == nullptr) {
            std::abort();
        }
        for (uint64_t i = 0; i < n; ++i) {
            grown[i] = nullptr;
        }
        for (uint64_t i = 0; i < Size && List != nullptr; ++i) {
            grown[i] = List[i];
        }
        if (List != nullptr) {
            FreeBlock(List);
        }
        List = grown;
        Size = n;
    }

    uint64_t Size = 0;
    T* List = nullptr;
    KSCriticalSection Lock; // the framework relies on the single script thread, not on this
};

// Order of the name maps: bytes compared over the shorter length, then the shorter name
// first. Names are therefore case-sensitive.
struct KSNameOrder {
    bool operator()(const std::string& a, const std::string& b) const
    {
        const size_t shorter = a.size() < b.size() ? a.size() : b.size();
        const int byBytes = std::memcmp(a.data(), b.data(), shorter);
        if (byBytes != 0) {
            return byBytes < 0;
        }
        return a.size() < b.size();
    }
};

// Name -> slot in the table plus 1 (0 means no slot).
typedef std::map<std::string, uint32_t, KSNameOrder> KSNameIndex;

class KSTypeDefinition {
public:
    explicit KSTypeDefinition(const char* typeName);
    KSTypeDefinition(const KSTypeDefinition&) = delete;
    KSTypeDefinition& operator=(const KSTypeDefinition&) = delete;

    // ---- virtual operations, in their fixed order ----
#ifdef __MINGW32__
    // The host is built with MSVC, whose table for this declaration differs from the one
    // MinGW's g++ makes: one "scalar deleting destructor" slot (flags bit 0: free the memory
    // too) where g++ puts two destructor slots, and overloads grouped with the later one
    // first. This branch spells MSVC's table out; the real virtual destructor is declared
    // last, past the slots the host knows, so that the first slot destroys the most-derived
    // object. scripts/check_vtable_layout.py compares the two tables.
    virtual void* ScalarDeletingDestructor(unsigned int flags)
    {
        if ((flags & 1u) != 0) {
            delete this;
        } else {
            this->~KSTypeDefinition();
        }
        return this;
    }
#else
    virtual ~KSTypeDefinition();
#endif
    virtual bool FromString(KSValue& value, const char* text);
    virtual bool FromText(KSValue& value, const char* text);
    virtual bool FromTextArgs(KSValue& value, int32_t argc, const char* const* argv);
    virtual bool InitVariable(KSValue& value, const char* subtype);
    virtual void InitVariableDefault(KSValue& value);
    virtual void FreeVariable(KSValue& value);
    virtual bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                           KSTypedValue& result);
    virtual bool GetMemberNamed(KSValue value, const char* name, int32_t argc, const char* const* argv,
                                KSTypedValue& result);
    virtual bool GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv);
    virtual bool GetMethodNamed(KSValue& value, const char* name, int32_t argc, const char* const* argv);
    virtual int32_t DispatchIndex(KSValue value, int32_t argc, const char* const* argv, KSTypedValue& result);
    virtual int32_t DispatchMember(KSValue value, const char* name, int32_t argc, const char* const* argv,
                                   KSTypedValue& result);
    virtual int32_t DispatchMethod(KSValue& value, const char* name, int32_t argc, const char* const* argv);
    virtual int32_t DispatchIndexDefault(KSValue value, int32_t argc, const char* const* argv,
                                         KSTypedValue& result);
    virtual int32_t DispatchUnknownMember(KSValue value, const char* name, int32_t argc, const char* const* argv,
                                          KSTypedValue& result);
    virtual int32_t DispatchUnknownMethod(KSValue& value, const char* name, int32_t argc,
                                          const char* const* argv);
    // Buffer sizes count the terminator.
    virtual bool ToString(KSValue value, char* buffer, uint32_t size);
    virtual bool ToText(KSValue value, char* buffer, uint32_t size);
    virtual bool ToStringDefault(KSValue value, char* buffer, uint32_t size);
    virtual bool HasInheritedMember(const char* name);
    virtual bool HasInheritedMethod(const char* name);
    virtual KSTypeDefinition* GetEffectiveType();
#ifdef __MINGW32__
    virtual bool AddMember(uint32_t id, const char* name, KSMemberHandler handler);
    virtual bool AddMember(const char* name, KSMemberHandler handler);
#else
    virtual bool AddMember(const char* name, KSMemberHandler handler);
    virtual bool AddMember(uint32_t id, const char* name, KSMemberHandler handler);
#endif
    virtual bool RemoveMember(const char* name, KSMemberHandler handler);
#ifdef __MINGW32__
    virtual bool AddMethod(uint32_t id, const char* name, KSMethodHandler handler);
    virtual bool AddMethod(const char* name, KSMethodHandler handler);
#else
    virtual bool AddMethod(const char* name, KSMethodHandler handler);
    virtual bool AddMethod(uint32_t id, const char* name, KSMethodHandler handler);
#endif
    virtual bool RemoveMethod(const char* name, KSMethodHandler handler);
#ifdef __MINGW32__
    virtual ~KSTypeDefinition();
#endif

    // ---- non-virtual operations ----
    void SetInheritance(KSTypeDefinition* parent);
    bool GetMemberID(const char* name, uint32_t& id);
    bool GetMethodID(const char* name, uint32_t& id);
    const char* GetMemberName(uint32_t id);
    const char* GetMethodName(uint32_t id);
    // Stores a record under a new serial and answers the serial.
    uint32_t RegisterVariable(void* record);
    // Drops a serial; does nothing while the type is being destroyed.
    void UnregisterVariable(uint32_t serial);

    // ---- fields, in order ----
    char TypeName[32];
    CIndex<_KSTypeMember*> Members;
    KSNameIndex MemberIndex;
    CIndex<_KSTypeMember*> Methods;
    KSNameIndex MethodIndex;
    KSTypeDefinition* Parent = nullptr;
    uint32_t NextMethodID = 1;
    uint32_t NextMemberID = 1;
    uint32_t NextVariableID = 1;
    std::map<uint32_t, void*> Variables;
    bool Destroying = false;
};
