// A growable byte buffer in which the settings document is built or into which a file is read.
// The content is `length` bytes with no terminating zero; callers pass the length along.
#pragma once

#include <cstdint>

constexpr uint32_t kTextBufferGrowthStep = 0x8000;

struct TextBuffer {
  char* data;           // owned; null before the first allocation and after a failed growth
  uint32_t capacity;    // bytes allocated at data
  uint32_t length;      // bytes in use; the next append writes here
  uint32_t freeSpace;   // capacity - length
  uint32_t growthStep;  // unit of growth, set by InitTextBuffer only
};

// 0 on success, -1 when there is no buffer or the first 32768 bytes cannot be allocated.
int32_t InitTextBuffer(TextBuffer* buffer);
// Makes room for reading n bytes from offset 0. 0 on success, -1 no buffer or growth failed.
int32_t PrepareTextBuffer(TextBuffer* buffer, uint32_t n);
// 0 on success; -1 no buffer, no source with n above 0, or growth failed (buffer then emptied).
int32_t AppendToTextBuffer(TextBuffer* buffer, const void* source, uint32_t n);
void EmptyTextBuffer(TextBuffer* buffer);
void ReleaseTextBuffer(TextBuffer* buffer);
