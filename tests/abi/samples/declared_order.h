// Classes whose two compiled layouts agree with each other but not with the operations
// declared for them in declared_order.txt: only the declared order can catch these.
#pragma once

struct MovedPair {
    virtual void Open() = 0;
    virtual void Read() = 0; // declared after Close
    virtual void Close() = 0;

protected:
    ~MovedPair() = default;
};

struct AddedSlot {
    virtual void Open() = 0;
    virtual void Flush() = 0; // not declared
    virtual void Close() = 0;

protected:
    ~AddedSlot() = default;
};

struct RemovedSlot {
    virtual void Open() = 0;

protected:
    ~RemovedSlot() = default;
};

struct SwappedOverloads {
    virtual bool Add(unsigned int id, const char* name) = 0; // declared second
    virtual bool Add(const char* name) = 0;

protected:
    ~SwappedOverloads() = default;
};

struct AsDeclared {
    virtual void Open() = 0;
    virtual bool Add(const char* name) = 0;
    virtual void Close() = 0;

protected:
    ~AsDeclared() = default;
};
