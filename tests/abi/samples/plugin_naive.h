// The same declaration gives the two compilers different tables: a virtual destructor, an
// overloaded virtual, and a class returned by value.
#pragma once

struct Point { int x; int y; };

class NaivePlugin {
public:
    virtual ~NaivePlugin();
    virtual void Set(int value);
    virtual void Set(double value);
    virtual const char* Name();
    virtual Point Origin();
};

// Only the return by value differs here; the slots agree.
class ReturnsByValue {
public:
    virtual int Count();
    virtual Point Origin();
};

// Overloads alone: the slots agree in number but not in order.
class OverloadsOnly {
public:
    virtual bool Add(const char* name);
    virtual bool Add(unsigned id, const char* name);
    virtual bool Remove(const char* name);
};

class SecondBase {
public:
    virtual void Other();
};

// Two vtable pointers.
class TwoBases : public OverloadsOnly, public SecondBase {
public:
    virtual void Own();
};
