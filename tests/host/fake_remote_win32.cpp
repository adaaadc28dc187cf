// A host library lacking most of its exports: binding must refuse it, yet keep what it found so
// that shutdown can still log out.
#include <cstdint>

extern "C" __declspec(dllexport) int32_t __stdcall KLORM_Login() { return 0; }
extern "C" __declspec(dllexport) int32_t __stdcall KLORM_Logout() { return 0; }
