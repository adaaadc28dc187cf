// A host library that lacks every entry but the first: binding it must fail with a message,
// never crash on a missing entry.
#include <cstdint>

extern "C" __declspec(dllexport) int32_t __stdcall KLORM_Login() { return 0; }
