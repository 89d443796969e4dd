// Difference mixer: the absolute difference of background and foreground
// per channel.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

// No values of its own beyond the placement.
struct TKWDifferPack : TKWMixerPack {
  explicit TKWDifferPack(TKWProcessor* proc = nullptr) : TKWMixerPack(proc) {}
  static const TParamTable<TKWDifferPack>& Table();
};

// One row: |b - f| per channel, A from b.
void DifferRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n);

class TKWDiffer : public TTableProcessor<TKWDifferPack, TKWBasicMixer> {
 public:
  using TTableProcessor::TTableProcessor;
  void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) override;
};

}  // namespace kwlib
