// Neighbourhood mask filter: a weighted sum over the window, with five
// preset kernels and a free 5 x 5 mask, and an optional centre-weighting
// correction.
#pragma once

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TMaskPack : TKWParamPack {
  explicit TMaskPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Range;      // window shape 0 to 3
  int32_t Operation;  // 0 to 4 presets, 5 the free mask
  // The free mask, M<a><b> the weight at dx = a - 2, dy = b - 2.
  float M00, M01, M02, M03, M04, M10, M11, M12, M13, M14, M20, M21, M22, M23, M24, M30, M31,
      M32, M33, M34, M40, M41, M42, M43, M44;
  float AddValue;  // added to every free-mask value
  float DivValue;  // divisor of the free mask
  bool Spray;      // add the centre-weighting correction
  int32_t SprayPower;

  // The field of the free mask at dx = a - 2, dy = b - 2.
  static float TMaskPack::* const MaskField[25];
  float& Mask(int a, int b) { return this->*MaskField[a * 5 + b]; }
  float Mask(int a, int b) const { return this->*MaskField[a * 5 + b]; }

  static const TParamTable<TMaskPack>& Table();
};

// The kernel k[dy + 2][dx + 2] of a pack, divided and corrected; false when
// Range or Operation names none.
bool MaskKernel(const TMaskPack& p, double k[5][5]);

class TMaskFilter : public TTableProcessor<TMaskPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
};

}  // namespace kwlib
