// Affine transform: zoom, rotation, shear and shift about an origin, the
// image wrapping round, neighbouring samples blended.
#pragma once

#include <functional>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TAffinePack : TKWParamPack {
  explicit TAffinePack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  float ZoomRate;          // 1.0 = 100 %
  float SlashX, SlashY;    // shear factors
  float RotateAngle;       // degrees
  float OriginX, OriginY;  // fractions of the image's width and height
  int32_t MoveX, MoveY;    // pixels
  bool ExecZoom, ExecSlash, ExecRotate, ExecMove;
  static const TParamTable<TAffinePack>& Table();
};

// The inverse mapping of a pack for a W x H image: destination offsets from
// the origin to source coordinates.
struct TAffineMap {
  double p11 = 1, p12 = 0, p21 = 0, p22 = 1;
  double tx = 0, ty = 0;
  int ox = 0, oy = 0;
  bool Singular = false;  // |det| < 0.001: no inverse
};
TAffineMap AffineMap(const TAffinePack& p, int W, int H);

struct TSampleSource;
// The source pixel blend for destination (x, y): B, G and R; the fourth byte
// is 0.
uint32_t AffinePixel(const TAffineMap& m, const TSampleSource& s, int x, int y);

class TKWAffine : public TTableProcessor<TAffinePack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  // No preview while the panel's move box is checked (the pack's ExecMove
  // when there is no panel).
  bool CanPreview() override;
  // Remembers the size of the current image for the origin fields and
  // refreshes the panel.
  void OnImageChange(TBitmap* Image) override;

  bool ImageKnown() const { return imageW_ > 0 && imageH_ > 0; }
  int ImageWidth() const { return imageW_; }
  int ImageHeight() const { return imageH_; }

  std::function<bool()> MoveChecked;                 // the panel's move box
  std::function<void(const TBitmap*)> OnShowImage;  // the panel's origin picker

 private:
  int imageW_ = 0, imageH_ = 0;
};

extern const char* const kAffineSingularMsg;

}  // namespace kwlib
