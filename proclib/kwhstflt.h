// Histogram flattening: remaps the luminance so that its cumulative
// histogram becomes linear.
#pragma once

#include <cstdint>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

class THistgram;

struct TKWHistFlatPack : TKWParamPack {
  explicit TKWHistFlatPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Method;  // 0 normal, 1 random dispersion
  static const TParamTable<TKWHistFlatPack>& Table();
};

class TKWHistFlater : public TTableProcessor<TKWHistFlatPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void OnImageChange(TBitmap* Image) override;

  // The start a[L] and the value b[L] of every level (b: the middle of the
  // level's target interval for method 0, its width for method 1), from the
  // luminance histogram h of n pixels.
  static void Levels(const uint32_t h[256], uint64_t n, int32_t method, double a[256],
                     double b[256]);
  // Uniform in [0, 1); the sequence goes on from call to call (never seeded
  // from outside, so two runs of method 1 differ).
  double Random();

  THistgram* Histogram = nullptr;  // the panel's worker, not owned

 private:
  uint64_t rnd_ = 0x2545F4914F6CDD1Dull;
};

}  // namespace kwlib
