// An accessible object for a window's owner-drawn client area: the IAccessible that WM_GETOBJECT
// returns, answering from a plain table of procedures (the model) and leaving everything the
// model does not answer to the standard object oleacc makes for the window. Both the panel and
// the response window use it. Runs on the window's thread; oleacc carries calls from other
// processes there.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

enum AccessibleText : int32_t { kTextName, kTextValue, kTextDescription, kTextDefaultAction };

// Child 0 is the client area itself: for it, only the texts, the child count, the focus and the
// hit test come from the model; its role, state and place come from the standard object. A null
// procedure leaves its question to the standard object too.
struct AccessibleModel {
  void* context;
  int32_t (*childCount)(void* context);
  // A text of a child; false when the model has none for it.
  bool (*text)(void* context, HWND window, int32_t child, AccessibleText kind, std::string* text);
  LONG (*role)(void* context, int32_t child);                 // ROLE_SYSTEM_*
  LONG (*state)(void* context, int32_t child);                // STATE_SYSTEM_*
  bool (*place)(void* context, int32_t child, RECT* client);  // in client pixels
  int32_t (*childAt)(void* context, POINT client);            // 0: the client area itself
  int32_t (*navigate)(void* context, int32_t child, LONG direction);  // NAVDIR_*; 0: none
  int32_t (*focused)(void* context);                          // the focused child, 0 for none
  bool (*takeFocus)(void* context, HWND window, int32_t child);
  bool (*doDefaultAction)(void* context, HWND window, int32_t child);
  bool (*setValue)(void* context, HWND window, int32_t child, const std::string& text);
};

// The answer to WM_GETOBJECT: for OBJID_CLIENT an object over the window's standard one that
// asks `model`; 0 for any other object id (the platform's default then serves it).
LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleModel* model);
