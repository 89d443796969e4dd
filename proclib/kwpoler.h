// Polar transform: every destination pixel's distance r and angle θ about
// an origin go through up to five stages of formulas, and the source is
// sampled at the changed position (wrapping round, neighbours blended, as
// the affine transform does).  Twirls, ripples, spirals and radial zooms.
#pragma once

#include <functional>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

// One formula slot: which value x is (0 r, 1 θ), the formula (0 none, 1 to
// 6) and its four constants.
struct TPolerSlot {
  int32_t Variable = 0;
  int32_t Method = 0;
  float A = 1, B = 1, C = 0, D = 0;
  friend bool operator==(const TPolerSlot&, const TPolerSlot&) = default;
};

constexpr int kPolerStages = 5;
constexpr int kPolerMethods = 7;  // 0 none .. 6 sine wave
// The slots of a stage: R adds its value to r, P to θ.
enum TPolerSide { psR = 0, psP = 1 };

#define KW_POLER_SLOT_FIELDS(n, s)          \
  int32_t Variable##n##s, Method##n##s;     \
  float A##n##s, B##n##s, C##n##s, D##n##s;

struct TKWPolerPack : TKWParamPack {
  explicit TKWPolerPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  float OriginX, OriginY;  // fractions of the image's width and height
  float MoveX, MoveY;      // pixels, after the transform
  KW_POLER_SLOT_FIELDS(1, R)
  KW_POLER_SLOT_FIELDS(1, P)
  KW_POLER_SLOT_FIELDS(2, R)
  KW_POLER_SLOT_FIELDS(2, P)
  KW_POLER_SLOT_FIELDS(3, R)
  KW_POLER_SLOT_FIELDS(3, P)
  KW_POLER_SLOT_FIELDS(4, R)
  KW_POLER_SLOT_FIELDS(4, P)
  KW_POLER_SLOT_FIELDS(5, R)
  KW_POLER_SLOT_FIELDS(5, P)

  // Slot side of stage n (0 .. 4).
  TPolerSlot Slot(int n, int side) const;
  void SetSlot(int n, int side, const TPolerSlot& s);

  static const TParamTable<TKWPolerPack>& Table();
};
#undef KW_POLER_SLOT_FIELDS

// A formula: r, θ, A, B, C, D in; its value out.  A formula whose failure
// returns 0 does so; the others return a value that is not finite, which
// ends the row.
using TPolerFormula = double (*)(double r, double th, double A, double B, double C, double D);

class TKWPoler : public TTableProcessor<TKWPolerPack, TKWBasicFilter> {
 public:
  explicit TKWPoler(TKWPolerPack* settings);
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // Remembers the size of the current image for the origin fields and
  // refreshes the panel.
  void OnImageChange(TBitmap* Image) override;

  bool ImageKnown() const { return imageW_ > 0 && imageH_ > 0; }
  int ImageWidth() const { return imageW_; }
  int ImageHeight() const { return imageH_; }
  std::function<void(const TBitmap*)> OnShowImage;  // the panel's origin picker

  // The formula table by Method and Variable; method 0 has none.  Methods
  // outside 1 .. 6 count as none, and a Variable other than 1 reads r.
  TPolerFormula Formulas[kPolerMethods][2];
  TPolerFormula FormulaOf(const TPolerSlot& s) const;

 private:
  int imageW_ = 0, imageH_ = 0;
};

}  // namespace kwlib
