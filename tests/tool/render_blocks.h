// A file's interleaved frames through the renderer, as the tests' reference for what render
// writes: de-interleaved, equalized one block at a time, interleaved again.
#pragma once

#include <vector>

#include "tools/geq15-tool/offline_render.h"

// Equalizes `frames` interleaved frames in place (at most the renderer's block).
inline void RenderInterleaved(OfflineRender* r, float* interleaved, int32_t frames) {
  std::vector<float> planar[2] = {std::vector<float>(frames), std::vector<float>(frames)};
  for (int32_t i = 0; i < frames; ++i)
    for (int32_t c = 0; c < r->channels; ++c) planar[c][i] = interleaved[i * r->channels + c];
  float* samples[2] = {planar[0].data(), planar[1].data()};
  RenderPlanarBlock(r, samples, frames);
  for (int32_t i = 0; i < frames; ++i)
    for (int32_t c = 0; c < r->channels; ++c) interleaved[i * r->channels + c] = planar[c][i];
}
