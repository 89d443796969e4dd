#include "proclib/kwaffine.h"

#include <algorithm>
#include <cmath>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwsampling.h"
#include "ui/messages.h"

namespace kwlib {

const char* const kAffineSingularMsg =
    "アフィン変換:パラメータの組み合わせが不正です。\r\n逆行列を計算できません。";

const TParamTable<TAffinePack>& TAffinePack::Table() {
  using P = TAffinePack;
  static const TParamTable<P> t = {
      SingleParam<P>("ZoomRate", "ZoomRate", &P::ZoomRate, 1.0f),
      SingleParam<P>("RotateAngle", "RotateAngle", &P::RotateAngle, 0.0f),
      SingleParam<P>("SlashX", "SlashX", &P::SlashX, 0.0f),
      SingleParam<P>("SlashY", "SlashY", &P::SlashY, 0.0f),
      IntParam<P>("MoveX", "MoveX", &P::MoveX, 0),
      IntParam<P>("MoveY", "MoveY", &P::MoveY, 0),
      SingleParam<P>("OriginX", "OriginX", &P::OriginX, 0.0f).In("0..1"),
      SingleParam<P>("OriginY", "OriginY", &P::OriginY, 0.0f).In("0..1"),
      BoolParam<P>("ExecZoom", "ExecZoom", &P::ExecZoom, true),
      BoolParam<P>("ExecRotate", "ExecRotate", &P::ExecRotate, true),
      BoolParam<P>("ExecSlash", "ExecSlash", &P::ExecSlash, false),
      BoolParam<P>("ExecMove", "ExecMove", &P::ExecMove, false),
  };
  return t;
}

TAffineMap AffineMap(const TAffinePack& p, int W, int H) {
  TAffineMap m;
  double c = 1, s = 0;
  if (p.ExecRotate) {
    const double th = -double(p.RotateAngle) * M_PI / 180;
    c = std::cos(th);
    s = std::sin(th);
  }
  if (p.ExecZoom) {
    c *= double(p.ZoomRate);
    s *= double(p.ZoomRate);
  }
  double m11, m12, m21, m22;
  if (p.ExecSlash) {
    const double sx = p.SlashX, sy = p.SlashY;
    m11 = sx * s + c;
    m12 = -sx * c - s;
    m21 = sy * c + s;
    m22 = sy * s + c;
  } else {
    m11 = c, m12 = -s, m21 = s, m22 = c;
  }
  if (p.ExecMove) {
    m.tx = -double(p.MoveX);
    m.ty = -double(p.MoveY);
  }
  m.ox = OriginPixel(W, p.OriginX);
  m.oy = OriginPixel(H, p.OriginY);
  const double det = m11 * m22 - m12 * m21;
  // A NaN determinant (infinite factors) has no inverse either.
  if (!(std::fabs(det) >= 0.001)) {
    m.Singular = true;
    return m;
  }
  m.p11 = m22 / det;
  m.p12 = -m12 / det;
  m.p21 = -m21 / det;
  m.p22 = m11 / det;
  return m;
}

uint32_t AffinePixel(const TAffineMap& m, const TSampleSource& s, int x, int y) {
  const double dx = double(x) - m.ox, dy = double(y) - m.oy;
  const double u = dx * m.p11 + dy * m.p12 + m.tx;
  const double v = dx * m.p21 + dy * m.p22 + m.ty;
  return BlendSample(s, u, v);
}

void TKWAffine::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int W = Src->Width(), H = Src->Height();
  if (W <= 0 || H <= 0) return;
  const TAffineMap m = AffineMap(*settings_, W, H);
  if (m.Singular) {
    ShowError(kAffineSingularMsg);
    Dst->Canvas().Draw(0, 0, *Src);
    return;
  }
  std::vector<const uint32_t*> rows;
  const TSampleSource s = SampleSourceOf(*Src, rows, m.ox, m.oy);
  SpreadRows(
      H, 32,
      [&](int y0, int y1) {
        // Tiles of the band's rows by kPart columns: the rows of a tile
        // sample neighbouring parts of the source, which stay in the cache
        // from one row to the next.  The sums are AffinePixel's.
        constexpr int kPart = 64;
        for (int x0 = 0; x0 < W; x0 += kPart) {
          const int n = std::min(kPart, W - x0);
          for (int y = y0; y < y1; ++y) {
            const double dy = double(y) - m.oy;
            // The fourth byte of the destination stays as it is.
            BlendLine(s, x0, n, m.ox, m.p11, dy * m.p12, m.tx, m.p21, dy * m.p22, m.ty, Dst->Row32(y) + x0);
          }
        }
      },
      [&](int i) { Progress(RowRate(i, H)); });
}

bool TKWAffine::CanPreview() {
  return MoveChecked ? !MoveChecked() : !settings_->ExecMove;
}

void TKWAffine::OnImageChange(TBitmap* Image) {
  UpdateParam();
  imageW_ = Image ? Image->Width() : 0;
  imageH_ = Image ? Image->Height() : 0;
  if (OnShowImage) OnShowImage(Image);
  ApplyParam();
}

}  // namespace kwlib
