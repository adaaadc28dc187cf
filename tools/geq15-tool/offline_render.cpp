#include "tools/geq15-tool/offline_render.h"

int32_t StartOfflineRender(OfflineRender* r, const GEQ15ChannelParam records[2], int32_t rate, int32_t blockSize,
                            int32_t channels, bool noFade) {
  StopOfflineRender(r);
  if (channels < 1 || channels > 2) return -4;
  if (blockSize < 1) return -5;
  r->engine.reset(new EngineContext());  // value-initialised: no storage yet, all zero
  EngineContext* e = r->engine.get();
  if (GEQ15_Create(e) < 0) {
    r->engine.reset();
    return -1;
  }
  // The records travel to the stream start as the program's do before the host starts; the
  // start keeps a refused rate's earlier configuration, so the rate is checked first.
  const GEQ15ChannelParam all[kChannelRecords] = {records[0], records[1]};
  GEQ15_SetParams(e, all);
  const int32_t status = GEQ15_CheckRate(rate);
  if (status < 0 || GEQ15_StartStream(e, rate, blockSize, noFade ? kStreamAtTarget : kStreamFadeIn) < 0) {
    StopOfflineRender(r);
    return status < 0 ? status : -1;
  }

  r->channels = channels;
  r->blockSize = blockSize;
  r->silencedBlocks = 0;
  r->silence.assign(static_cast<size_t>(blockSize), 0.0f);
  return 0;
}

void RenderPlanarBlock(OfflineRender* r, float* const* samples, int32_t frames) {
  EngineContext* e = r->engine.get();
  if (!e || frames < 1) return;
  if (frames > r->blockSize) frames = r->blockSize;
  // A mono file runs as a pair with a silent second channel: the pair's vector paths are
  // several times faster than one channel alone, and the channels never mix, so channel 1 comes
  // out the same to the bit.
  GEQ15_ProcessBlock(e, samples[0], r->channels == 2 ? samples[1] : r->silence.data(), frames);
  r->silencedBlocks = e->process.silencedBlocks;
}

void StopOfflineRender(OfflineRender* r) {
  if (r->engine) {
    GEQ15_Destroy(r->engine.get());
    r->engine.reset();
  }
}
