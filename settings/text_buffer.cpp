#include "settings/text_buffer.h"

#include <cstdlib>
#include <cstring>

namespace {

// A buffer that never went through InitTextBuffer has a growth step of 0; growing it in steps
// of 0 would allocate nothing (and divide by zero), so such a buffer grows in the usual steps.
uint32_t EffectiveStep(const TextBuffer* buffer) {
  return buffer->growthStep != 0 ? buffer->growthStep : kTextBufferGrowthStep;
}

// Whole steps, always more than n. 0 when the size would not fit in 32 bits.
uint32_t RoundUpPastSteps(uint32_t n, uint32_t step) {
  uint64_t size = static_cast<uint64_t>(step) * (n / step + 1);
  return size > UINT32_MAX ? 0 : static_cast<uint32_t>(size);
}

// After an allocation failure the buffer has no storage; the growth step is kept so that the
// next append or preparation can start it again.
void DropStorage(TextBuffer* buffer) {
  std::free(buffer->data);
  buffer->data = nullptr;
  buffer->capacity = 0;
  buffer->length = 0;
  buffer->freeSpace = 0;
}

}  // namespace

int32_t InitTextBuffer(TextBuffer* buffer) {
  if (buffer == nullptr) return -1;
  *buffer = TextBuffer{};
  buffer->growthStep = kTextBufferGrowthStep;
  buffer->data = static_cast<char*>(std::calloc(kTextBufferGrowthStep, 1));
  if (buffer->data == nullptr) return -1;
  buffer->capacity = buffer->freeSpace = kTextBufferGrowthStep;
  return 0;
}

int32_t PrepareTextBuffer(TextBuffer* buffer, uint32_t n) {
  if (buffer == nullptr) return -1;
  buffer->length = 0;
  buffer->freeSpace = buffer->capacity;
  if (buffer->data != nullptr && buffer->capacity >= n) return 0;

  uint32_t newCapacity = RoundUpPastSteps(n, EffectiveStep(buffer));
  // The old content is of no use to a read that replaces it, so a fresh zeroed block will do.
  std::free(buffer->data);
  buffer->data = newCapacity != 0 ? static_cast<char*>(std::calloc(newCapacity, 1)) : nullptr;
  if (buffer->data == nullptr) {
    DropStorage(buffer);
    return -1;
  }
  buffer->capacity = buffer->freeSpace = newCapacity;
  return 0;
}

int32_t AppendToTextBuffer(TextBuffer* buffer, const void* source, uint32_t n) {
  if (buffer == nullptr) return -1;
  if (n == 0) return 0;
  if (source == nullptr) return -1;

  if (buffer->data == nullptr || buffer->freeSpace < n) {
    uint32_t extra = RoundUpPastSteps(n, EffectiveStep(buffer));
    uint64_t wanted = static_cast<uint64_t>(buffer->capacity) + extra;
    char* grown = nullptr;
    if (extra != 0 && wanted <= UINT32_MAX) {
      grown = static_cast<char*>(std::realloc(buffer->data, static_cast<size_t>(wanted)));
    }
    if (grown == nullptr) {
      DropStorage(buffer);
      return -1;
    }
    uint32_t newCapacity = static_cast<uint32_t>(wanted);
    std::memset(grown + buffer->length, 0, newCapacity - buffer->length);
    buffer->data = grown;
    buffer->capacity = newCapacity;
    buffer->freeSpace = newCapacity - buffer->length;
  }
  std::memcpy(buffer->data + buffer->length, source, n);
  buffer->length += n;
  buffer->freeSpace -= n;
  return 0;
}

void EmptyTextBuffer(TextBuffer* buffer) {
  if (buffer == nullptr) return;
  buffer->length = 0;
  buffer->freeSpace = buffer->capacity;
}

void ReleaseTextBuffer(TextBuffer* buffer) {
  if (buffer == nullptr) return;
  DropStorage(buffer);
}
