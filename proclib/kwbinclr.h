// Binarize: white where the luminance reaches the threshold, black elsewhere.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

class THistgram;

struct TKWBinClrPack : TKWParamPack {
  explicit TKWBinClrPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t ThMode;     // 0: 128, 1: black and white in ratio 1:1, 2: Threshold
  int32_t Threshold;  // 0 to 255
  static const TParamTable<TKWBinClrPack>& Table();
};

class TKWBinClr : public TTableProcessor<TKWBinClrPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void OnImageChange(TBitmap* Image) override;

  // The threshold t of a mode for Src (mode 1 counts Src's histogram and
  // reports progress while doing so).
  double ChooseThreshold(const TBitmap& Src, int32_t mode, int32_t threshold);
  // Mode 1's threshold from a luminance histogram of n pixels.
  static double MedianThreshold(const uint32_t h[256], uint64_t n);

  THistgram* Histogram = nullptr;  // the panel's worker, not owned
};

}  // namespace kwlib
