// A stand-in for the host library that only has to be bound: one source, built with defines
// that leave out a single export, so each binding code can be produced by a real DLL.
#include <cstdint>

#include "host/orlune_contract.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport) int32_t ORLUNE_CALL
#define FAKE_STUB(name) FAKE_EXPORT name() { return 0; }

FAKE_EXPORT KLORM_GetOrluneType(int32_t* type) {
  *type = 2;
  return 0;
}
FAKE_EXPORT KLORM_AudioCallbackRegister(int32_t, OrluneInsertCallback, void*, char*) { return 0; }
#ifndef FAKE_LACKS_RUN
FAKE_STUB(KLORM_RunOrlune)
#endif
#ifndef FAKE_LACKS_MIDI
FAKE_STUB(KLORM_GetMidiMessage)
#endif
#ifndef FAKE_LACKS_UNREGISTER
FAKE_STUB(KLORM_AudioCallbackUnregister)
#endif
FAKE_STUB(KLORM_Login)
FAKE_STUB(KLORM_Logout)
FAKE_STUB(KLORM_GetOrluneVersion)
FAKE_STUB(KLORM_IsParametersDirty)
FAKE_STUB(KLORM_GetParameterFloat)
FAKE_STUB(KLORM_GetParameterStringA)
FAKE_STUB(KLORM_GetParameterStringW)
FAKE_STUB(KLORM_GetLevel)
FAKE_STUB(KLORM_SetParameterFloat)
FAKE_STUB(KLORM_SetParameters)
FAKE_STUB(KLORM_SetParametersW)
FAKE_STUB(KLORM_SetParameterStringA)
FAKE_STUB(KLORM_SetParameterStringW)
FAKE_STUB(KLORM_Output_GetDeviceNumber)
FAKE_STUB(KLORM_Output_GetDeviceDescA)
FAKE_STUB(KLORM_Output_GetDeviceDescW)
FAKE_STUB(KLORM_Input_GetDeviceNumber)
FAKE_STUB(KLORM_Input_GetDeviceDescA)
FAKE_STUB(KLORM_Input_GetDeviceDescW)
FAKE_STUB(KLORM_AudioCallbackStart)
FAKE_STUB(KLORM_AudioCallbackStop)
