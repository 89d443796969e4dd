// RGB scaling: each channel multiplied by its factor, rounded, at most 255.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWRGBPack : TKWParamPack {
  explicit TKWRGBPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  float Red, Green, Blue;  // 1.0 leaves the channel unchanged
  static const TParamTable<TKWRGBPack>& Table();
};

class TRGBFilter : public TTableProcessor<TKWRGBPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // Round(f * v) limited to 255 (not from below), as a byte, for v = 0..255.
  static void ScaleTable(float f, uint8_t table[256]);
};

}  // namespace kwlib
