// Finding and binding the host's remote-control library: Win32 only.
#pragma once

#include <cstdint>

#include "host/remote_api.h"

// The host folder from the registry's Uninstall entry into `folder` (kHostFolderBufferBytes);
// 1 when found, else 0.
int32_t FindHostFolder(char* folder);
// Loads the library from the host folder and fills g_remoteApi: 0, kBindHostNotFound,
// kBindLoadFailed or the first missing entry's code.
int32_t BindRemoteLibrary();
