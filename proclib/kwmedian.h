// Median filter: each channel the middle value of the window.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWMedianPack : TKWParamPack {
  explicit TKWMedianPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Range;  // window shape 0 to 3
  static const TParamTable<TKWMedianPack>& Table();
};

class TKWMedian : public TTableProcessor<TKWMedianPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // The same one pixel at a time (the reference of the faster rows).
  void FilterPlain(TBitmap* Src, TBitmap* Dst);
  // The middle value of v[0 .. n-1] (n odd); reorders v.
  static uint8_t Median(uint8_t* v, int n);
};

}  // namespace kwlib
