// The boundary with the host mixer's remote-control library OrluneRemote.dll: its entry points,
// the insert callback it calls on its audio thread, and the audio record it hands over.
// Both sides are built from this one header: the program and our simulated host library.
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Every entry, and the callback, use the system libraries' calling convention. Natively there
// is only one convention, so the macro is empty there.
#if defined(_WIN32)
#define ORLUNE_CALL __stdcall
#else
#define ORLUNE_CALL
#endif

// The host's own entry under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall. Its
// "UninstallString" names the uninstaller inside the host's folder.
constexpr const char kHostUninstallEntry[] = "Orlune Virtual Audio Mixer";
constexpr const char kRemoteLibraryName[] = "OrluneRemote.dll";

// Size of the pointer arrays of the audio record: the most channels any host can hand over.
constexpr int32_t kHostMaxChannels = 128;
constexpr int32_t kChannelsPerBus = 8;

// The audio record. The offsets of the 32-bit build are fixed by the host; the pointer arrays
// hold one pointer per channel (input at readPtr[j], output at writePtr[j]).
struct HostAudioBuffer {
  int32_t rate;          // Hz; meaningful with the start command
  int32_t frameCount;    // samples per channel in this call
  int32_t channelTotal;  // channels present in the pointer arrays
  int32_t hostField;     // the host's own; never read
  float* readPtr[kHostMaxChannels];
  float* writePtr[kHostMaxChannels];
};
#if defined(__i386__) || defined(_M_IX86)
static_assert(offsetof(HostAudioBuffer, rate) == 0, "rate at offset 0");
static_assert(offsetof(HostAudioBuffer, frameCount) == 4, "frameCount at offset 4");
static_assert(offsetof(HostAudioBuffer, channelTotal) == 8, "channelTotal at offset 8");
static_assert(offsetof(HostAudioBuffer, readPtr) == 16, "readPtr at offset 16");
static_assert(offsetof(HostAudioBuffer, writePtr) == 528, "writePtr at offset 528");
#endif

// Commands of the insert callback.
constexpr int32_t kHostCommandStart = 1;     // stream start: rate and frameCount announce the stream
constexpr int32_t kHostCommandRestart = 3;   // the host asks the program to start the stream again
constexpr int32_t kHostCommandBuffer = 11;   // one block of every output channel

// Mode of KLORM_AudioCallbackRegister for the output insert.
constexpr int32_t kHostModeOutputInsert = 2;
// Size of the client-name buffer handed to KLORM_AudioCallbackRegister.
constexpr int32_t kHostClientNameBytes = 64;
// KLORM_AudioCallbackRegister's answer when another client holds the insert.
constexpr int32_t kHostInsertBusy = 1;

// The insert callback: user data, command, audio record, one argument that is not used.
typedef int32_t(ORLUNE_CALL* OrluneInsertCallback)(void* user, int32_t command, HostAudioBuffer* buffer,
                                                    int32_t reserved);

// Entry types. The seven that the program calls have their real parameters; the other nineteen
// only have to be present, and are typed loosely as taking nothing.
typedef int32_t(ORLUNE_CALL* KLORM_LoginFn)();
typedef int32_t(ORLUNE_CALL* KLORM_LogoutFn)();
typedef int32_t(ORLUNE_CALL* KLORM_IsParametersDirtyFn)();
typedef int32_t(ORLUNE_CALL* KLORM_GetOrluneTypeFn)(int32_t* type);
typedef int32_t(ORLUNE_CALL* KLORM_AudioCallbackRegisterFn)(int32_t mode, OrluneInsertCallback callback,
                                                            void* user, char* clientName);
typedef int32_t(ORLUNE_CALL* KLORM_AudioCallbackStartFn)();
typedef int32_t(ORLUNE_CALL* KLORM_AudioCallbackUnregisterFn)();
typedef int32_t(ORLUNE_CALL* KLORM_UncalledFn)();
