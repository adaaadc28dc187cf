// A stand-in for the host library that only has to be bound: one source, built with defines
// that leave out a single export, so each binding code can be produced by a real DLL.
#include <cstdint>

#include "host/orlune_contract.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport) int32_t ORLUNE_CALL

FAKE_EXPORT KLORM_Login() { return 0; }
FAKE_EXPORT KLORM_Logout() { return 0; }
#ifndef FAKE_LACKS_RUN
FAKE_EXPORT KLORM_RunOrlune() { return 0; }
#endif
FAKE_EXPORT KLORM_GetOrluneType(int32_t* type) {
  *type = 2;
  return 0;
}
FAKE_EXPORT KLORM_GetOrluneVersion() { return 0; }
FAKE_EXPORT KLORM_IsParametersDirty() { return 0; }
FAKE_EXPORT KLORM_GetParameterFloat() { return 0; }
FAKE_EXPORT KLORM_GetParameterStringA() { return 0; }
FAKE_EXPORT KLORM_GetParameterStringW() { return 0; }
FAKE_EXPORT KLORM_GetLevel() { return 0; }
#ifndef FAKE_LACKS_MIDI
FAKE_EXPORT KLORM_GetMidiMessage() { return 0; }
#endif
FAKE_EXPORT KLORM_SetParameterFloat() { return 0; }
FAKE_EXPORT KLORM_SetParameters() { return 0; }
FAKE_EXPORT KLORM_SetParametersW() { return 0; }
FAKE_EXPORT KLORM_SetParameterStringA() { return 0; }
FAKE_EXPORT KLORM_SetParameterStringW() { return 0; }
FAKE_EXPORT KLORM_Output_GetDeviceNumber() { return 0; }
FAKE_EXPORT KLORM_Output_GetDeviceDescA() { return 0; }
FAKE_EXPORT KLORM_Output_GetDeviceDescW() { return 0; }
FAKE_EXPORT KLORM_Input_GetDeviceNumber() { return 0; }
FAKE_EXPORT KLORM_Input_GetDeviceDescA() { return 0; }
FAKE_EXPORT KLORM_Input_GetDeviceDescW() { return 0; }
FAKE_EXPORT KLORM_AudioCallbackRegister(int32_t, OrluneInsertCallback, void*, char*) { return 0; }
FAKE_EXPORT KLORM_AudioCallbackStart() { return 0; }
FAKE_EXPORT KLORM_AudioCallbackStop() { return 0; }
#ifndef FAKE_LACKS_UNREGISTER
FAKE_EXPORT KLORM_AudioCallbackUnregister() { return 0; }
#endif
