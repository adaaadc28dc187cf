// The system calls of a replacing write that can fail once the temporary file is open, in one
// table: tests replace an entry to make that step fail. The program never changes it.
#pragma once

#include <windows.h>

struct SaveFileCalls {
  BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* flushFileBuffers)(HANDLE);
  BOOL(WINAPI* moveFileEx)(LPCWSTR, LPCWSTR, DWORD);
};

extern SaveFileCalls g_saveFileCalls;
