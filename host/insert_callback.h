// The callback through which the host feeds the equalizer on its audio thread. Portable.
#pragma once

#include <cstdint>

#include "app/insert_context.h"
#include "host/orlune_contract.h"

// Registered with KLORM_AudioCallbackRegister; the user data is the InsertContext.
// Returns 0, or -2 for a start command that could not start the stream.
int32_t ORLUNE_CALL InsertCallback(void* user, int32_t command, HostAudioBuffer* buffer, int32_t reserved);

// The restart command asks the window to start the stream again. Only the shell may touch the
// window, so it installs the poster (a posted WM_COMMAND 200 with parameter 0); without one the
// request is dropped. Must be safe to call from the audio thread: post, never send.
using RestartPoster = void (*)(void* hwnd);
void InsertCallback_SetRestartPoster(RestartPoster poster);

// The command identifier the restart poster sends to the window.
constexpr int32_t kRestartCommandId = 200;
