// Minimum/maximum filter: each channel the smallest or largest value of the
// window.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWMinMaxParam : TKWParamPack {
  explicit TKWMinMaxParam(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t MinMax;  // 0 minimum, 1 maximum
  int32_t Range;   // window shape 0 to 3
  static const TParamTable<TKWMinMaxParam>& Table();
};

class TKWMinMax : public TTableProcessor<TKWMinMaxParam, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // The same one pixel at a time (the reference of the faster rows).
  void FilterPlain(TBitmap* Src, TBitmap* Dst);

 private:
  void run(TBitmap* Src, TBitmap* Dst, bool fast);
};

}  // namespace kwlib
