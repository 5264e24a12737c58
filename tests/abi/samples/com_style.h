// An interface both compilers lay out alike: no virtual destructor, no overloads, no class
// returned by value, single inheritance.
#pragma once
#include <cstdint>

struct Size { int32_t Width; int32_t Height; };

class ComStyleBase {
public:
    virtual uint32_t Version() = 0;
    virtual bool Open(const char* name, int32_t flags) = 0;
    virtual void Release() = 0;

protected:
    ~ComStyleBase() = default;
};

class ComStyleDerived : public ComStyleBase {
public:
    bool Open(const char* name, int32_t flags) override;
    virtual void GetSize(Size& out) const;
    virtual double Scale(double factor);
};
