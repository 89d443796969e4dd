// Logical mixer: the foreground combined with the background part by a
// bitwise raster operation (AND, OR, XOR) on whole pixels.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TLogicalMixerPack : TKWMixerPack {
  explicit TLogicalMixerPack(TKWProcessor* proc = nullptr) : TKWMixerPack(proc) {
    SetDefaults(Table(), *this);
  }
  // 0 AND, 1 OR, 2 XOR; anything else: the foreground replaces the part.
  int32_t Operation;
  static const TParamTable<TLogicalMixerPack>& Table();
};

// The canvas copy mode of an operation.
uint32_t LogicalCopyMode(int32_t Operation);

class TKWLogicalMixer : public TTableProcessor<TLogicalMixerPack, TKWBasicMixer> {
 public:
  using TTableProcessor::TTableProcessor;
  void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) override;
};

}  // namespace kwlib
