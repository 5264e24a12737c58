// The host's exceptions, compiled for the MSVC ABI without any C++ library header, so that
// __try is the compiler's own. MsvcHostThrow raises what an MSVC "throw" raises: the C++
// exception code with the MSVC magic number in the first parameter.
#include <windows.h>

namespace {
constexpr DWORD MsvcCxxExceptionCode = 0xE06D7363;
constexpr ULONG_PTR MsvcCxxMagic = 0x19930520;
} // namespace

extern "C" __declspec(noinline) void MsvcHostThrow()
{
    ULONG_PTR parameters[4] = {MsvcCxxMagic, 0, 0, 0};
    RaiseException(MsvcCxxExceptionCode, EXCEPTION_NONCONTINUABLE, 4, parameters);
}

// Throws and handles the exception inside one host call; answers 1 once handled.
extern "C" int MsvcHostThrowAndCatch()
{
    __try {
        MsvcHostThrow();
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        return 1;
    }
    return 0;
}
