// The declaration of plugin_naive.h, with a MinGW branch that spells out the MSVC table:
// one scalar deleting destructor slot, overloads in MSVC's order, the hidden result pointer.
#pragma once

struct Point { int x; int y; };

class ShimPlugin {
public:
#ifdef __MINGW32__
    virtual void* ScalarDeletingDestructor(unsigned int flags);
    virtual void Set(double value);
    virtual void Set(int value);
    virtual const char* Name();
    virtual Point* Origin(Point* result);
#else
    virtual ~ShimPlugin();
    virtual void Set(int value);
    virtual void Set(double value);
    virtual const char* Name();
    virtual Point Origin();
#endif
};

// A shim whose overloads were left in declaration order: still wrong.
class HalfShim {
public:
#ifdef __MINGW32__
    virtual void* ScalarDeletingDestructor(unsigned int flags);
#else
    virtual ~HalfShim();
#endif
    virtual void Set(int value);
    virtual void Set(double value);
};

// The MinGW branch keeps a real virtual destructor, declared last, so that its scalar deleting
// destructor can delete the most-derived object; the two Itanium slots follow the MSVC table.
class ShimWithTrailingDestructor {
public:
#ifdef __MINGW32__
    virtual void* ScalarDeletingDestructor(unsigned int flags);
#else
    virtual ~ShimWithTrailingDestructor();
#endif
    virtual bool Add(const char* name);
    virtual bool Remove(const char* name);
#ifdef __MINGW32__
    virtual ~ShimWithTrailingDestructor();
#endif
};
