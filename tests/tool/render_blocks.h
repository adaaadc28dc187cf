// A file's interleaved frames through the renderer, as the tests' reference for what render
// writes: de-interleaved, equalized one block at a time (the last one short), interleaved again.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tools/geq15-tool/offline_render.h"

inline std::vector<float> RenderAudio(const GEQ15ChannelParam records[2], int rate, int block, int channels, bool noFade,
                                      std::vector<float> audio, int32_t* silencedBlocks = nullptr) {
  OfflineRender r;
  const int32_t started = StartOfflineRender(&r, records, rate, block, channels, noFade);
  EXPECT_EQ(started, 0) << rate << " Hz, blocks of " << block << ", " << channels << " channels";
  if (started != 0) return audio;  // as it came, so the checks fail rather than read past an empty result
  std::vector<float> planar[2] = {std::vector<float>(block), std::vector<float>(block)};
  float* samples[2] = {planar[0].data(), planar[1].data()};
  for (size_t at = 0; at < audio.size(); at += size_t(block) * channels) {
    const size_t n = std::min(audio.size() - at, size_t(block) * channels);
    for (size_t i = 0; i < n; ++i) planar[i % channels][i / channels] = audio[at + i];
    RenderPlanarBlock(&r, samples, static_cast<int32_t>(n / channels));
    for (size_t i = 0; i < n; ++i) audio[at + i] = planar[i % channels][i / channels];
  }
  StopOfflineRender(&r);
  if (silencedBlocks) *silencedBlocks = r.silencedBlocks;
  return audio;
}
