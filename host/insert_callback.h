// The callback through which the host feeds the equalizer on its audio thread. Portable.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/geq15.h"
#include "host/orlune_contract.h"

// Asks the window to start the stream again. Only the shell may touch the window, so it
// supplies this; it must be safe to call from the audio thread: post, never send.
using RestartPoster = void (*)(void* window);

// The callback's user data: only what the audio thread needs. The host hands the pointer back
// untouched; it must outlive the registration.
struct InsertLink {
  // The shell stores it (release) once the engine exists; the callback loads it (acquire) and
  // ignores every command while it is null, so a host may call as soon as it is registered.
  std::atomic<EngineContext*> engine;
  RestartPoster restart;  // posts the restart command to `window`; null drops the request
  void* window;
};

// Registered with KLORM_AudioCallbackRegister; the user data is an InsertLink.
// Returns 0, or -2 for a start command that could not start the stream.
int32_t ORLUNE_CALL InsertCallback(void* user, int32_t command, HostAudioBuffer* buffer, int32_t reserved);

// The command identifier the restart poster sends to the window (a WM_COMMAND, parameter 0).
constexpr int32_t kRestartCommandId = 200;
