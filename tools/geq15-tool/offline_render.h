// Runs the equalizer over audio that is not coming from the host, exactly as the insert
// callback runs it: the records set before the stream start, the start for the rate and block
// size, then one block through the engine's block entry at a time. So the result is what the
// host would play, fade-in of the first ramp included. Channel 1 goes through record 1,
// channel 2 through record 2.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/geq15.h"

struct OfflineRender {
  std::unique_ptr<EngineContext> engine;
  int32_t channels = 0;   // 1 or 2
  int32_t blockSize = 0;
  // Blocks in which a channel went non-finite (NaN or infinity in the input, or settings that
  // overflow) and was written as silence; kept after StopOfflineRender.
  int32_t silencedBlocks = 0;
  std::vector<float> silence;  // a mono file's second channel, one block long
};

// Sets the renderer up. 0, or -1 when the engine cannot be created, -2/-3 for a rate below
// kMinSampleRate or above kMaxSampleRate, -4 for a channel count other than 1 or 2, -5 for a block size
// below 1.
int32_t StartOfflineRender(OfflineRender* r, const GEQ15ChannelParam records[2], int32_t rate, int32_t blockSize,
                            int32_t channels, bool noFade);

// Equalizes one buffer per channel (`channels` of them, each `frames` long) in place, 1 to
// blockSize frames (the last block of a file may be shorter than the others).
void RenderPlanarBlock(OfflineRender* r, float* const* samples, int32_t frames);

void StopOfflineRender(OfflineRender* r);
