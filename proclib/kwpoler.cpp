#include "proclib/kwpoler.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "procdef/kwparallel.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwsampling.h"

namespace kwlib {

namespace {

using P = TKWPolerPack;

struct SlotFields {
  int32_t P::*Variable;
  int32_t P::*Method;
  float P::*A;
  float P::*B;
  float P::*C;
  float P::*D;
};

#define KW_POLER_SLOT(n, s) \
  SlotFields { &P::Variable##n##s, &P::Method##n##s, &P::A##n##s, &P::B##n##s, &P::C##n##s, &P::D##n##s }
const SlotFields kSlots[kPolerStages][2] = {
    {KW_POLER_SLOT(1, R), KW_POLER_SLOT(1, P)}, {KW_POLER_SLOT(2, R), KW_POLER_SLOT(2, P)},
    {KW_POLER_SLOT(3, R), KW_POLER_SLOT(3, P)}, {KW_POLER_SLOT(4, R), KW_POLER_SLOT(4, P)},
    {KW_POLER_SLOT(5, R), KW_POLER_SLOT(5, P)},
};
#undef KW_POLER_SLOT

// The formulas of x.  Those whose failure gives 0 check their result; the
// others hand on what they computed, and a value that is not finite ends
// the row.
double Proportional(double x, double A, double B, double C, double D) {
  const double v = A * (x + C) + D;
  return std::isfinite(v) ? v : 0;
}
double Inverse(double x, double A, double B, double C, double D) {
  const double d = x + C;
  if (d == 0) return 0;
  const double v = A / d + D;
  return std::isfinite(v) ? v : 0;
}
double Exponential(double x, double A, double B, double C, double D) {
  return A * std::exp(B * x + C) + D;
}
double Logarithm(double x, double A, double B, double C, double D) {
  const double a = B * x + C;
  if (!(a > 0)) return 0;
  const double v = A * std::log(a) + D;
  return std::isfinite(v) ? v : 0;
}
double PowerOrZero(double x, double A, double B, double C, double D) {
  const double v = A * std::pow(C * x, B) + D;
  return std::isfinite(v) ? v : 0;
}
double Power(double x, double A, double B, double C, double D) {
  return A * std::pow(C * x, B) + D;
}
double Sine(double x, double A, double B, double C, double D) {
  return A * std::sin(B * x + C) + D;
}

using XFormula = double (*)(double x, double A, double B, double C, double D);
template <XFormula F>
double OfR(double r, double, double A, double B, double C, double D) {
  return F(r, A, B, C, D);
}
template <XFormula F>
double OfTheta(double, double th, double A, double B, double C, double D) {
  return F(th, A, B, C, D);
}

// One active stage: its two formulas (null: the slot does nothing) and
// their constants.
struct Stage {
  TPolerFormula fr, fp;
  double ar, br, cr, dr;
  double ap, bp, cp, dp;
};

// A band of kBand rows is done in tiles of kTile columns: the rows of a
// tile sample neighbouring parts of the source, which stay in the cache
// from one row to the next.  A row that failed is left alone in the
// following tiles.
constexpr int kBand = 32;
constexpr int kTile = 128;

// Columns x0 .. x1 - 1 (at most kTile) of destination row y.  False when a
// computation fails: the rest of the row keeps what it held.
bool PolerSpan(const TSampleSource& s, const std::vector<Stage>& stages, double tx, double ty, int y,
               int x0, int x1, uint32_t* d) {
  const double dy = double(y) - s.oy;
  const double dy2 = dy * dy;
  const Stage* const st0 = stages.data();
  const Stage* const stEnd = st0 + stages.size();
  // The points of the span first, then their samples together.
  double us[kTile], vs[kTile];
  int n = 0;
  bool ok = true;
  for (int x = x0; x < x1; ++x) {
    const double dx = double(x) - s.ox;
    double r = std::sqrt(dx * dx + dy2);
    double th;
    if (dx == 0) {
      th = dy <= 0 ? -M_PI / 2 : M_PI / 2;
    } else {
      th = std::atan(dy / dx);
      if (dx < 0) th = dy <= 0 ? th - M_PI : th + M_PI;
    }
    for (const Stage* st = st0; st != stEnd; ++st) {
      const double nr = st->fr ? r + st->fr(r, th, st->ar, st->br, st->cr, st->dr) : r;
      const double nt = st->fp ? th + st->fp(r, th, st->ap, st->bp, st->cp, st->dp) : th;
      r = nr;
      th = nt;
    }
    // Once a value is no longer finite it stays so through every later
    // stage: one test here stands for a test after each formula.
    if (!std::isfinite(r) || !std::isfinite(th)) {
      ok = false;
      break;
    }
    const double u = r * std::cos(th) + tx;
    const double v = r * std::sin(th) + ty;
    if (!std::isfinite(u) || !std::isfinite(v)) {
      ok = false;
      break;
    }
    us[n] = u, vs[n] = v, ++n;
  }
  // The fourth byte of the destination stays as it is.
  BlendSamples(s, us, vs, n, d + x0);
  return ok;
}


void PolerBand(const TSampleSource& s, const std::vector<Stage>& stages, double tx, double ty, int band,
               TBitmap& dst) {
  const int y0 = band * kBand, y1 = std::min(y0 + kBand, s.H);
  bool ended[kBand] = {};
  uint32_t* rows[kBand];
  for (int y = y0; y < y1; ++y) rows[y - y0] = dst.Row32(y);
  for (int x0 = 0; x0 < s.W; x0 += kTile) {
    const int x1 = std::min(x0 + kTile, s.W);
    for (int y = y0; y < y1; ++y)
      if (!ended[y - y0] && !PolerSpan(s, stages, tx, ty, y, x0, x1, rows[y - y0])) ended[y - y0] = true;
  }
}

}  // namespace

TPolerSlot TKWPolerPack::Slot(int n, int side) const {
  const SlotFields& f = kSlots[n][side];
  return TPolerSlot{this->*f.Variable, this->*f.Method, this->*f.A, this->*f.B, this->*f.C, this->*f.D};
}

void TKWPolerPack::SetSlot(int n, int side, const TPolerSlot& s) {
  const SlotFields& f = kSlots[n][side];
  this->*f.Variable = s.Variable;
  this->*f.Method = s.Method;
  this->*f.A = s.A;
  this->*f.B = s.B;
  this->*f.C = s.C;
  this->*f.D = s.D;
}

const TParamTable<TKWPolerPack>& TKWPolerPack::Table() {
  // "Variable1R", "Method1R", "A1R" .. "D1R", "Variable1P" .. "D5P".
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (int st = 1; st <= kPolerStages; ++st)
      for (const char* side : {"R", "P"})
        for (const char* field : {"Variable", "Method", "A", "B", "C", "D"})
          n.push_back(field + std::to_string(st) + side);
    return n;
  }();
  static const TParamTable<P> t = [] {
    TParamTable<P> t = {
        SingleParam<P>("OriginX", "OriginX", &P::OriginX, 0.5f).In("0..1"),
        SingleParam<P>("OriginY", "OriginY", &P::OriginY, 0.5f).In("0..1"),
        SingleParam<P>("MoveX", "MoveX", &P::MoveX, 0.0f),
        SingleParam<P>("MoveY", "MoveY", &P::MoveY, 0.0f),
    };
    size_t k = 0;
    for (int st = 0; st < kPolerStages; ++st)
      for (int side = 0; side < 2; ++side) {
        const SlotFields& f = kSlots[st][side];
        auto name = [&] { return names[k++].c_str(); };
        const char* nv = name();
        t.push_back(IntParam<P>(nv, nv, f.Variable, 0).In("0..1"));
        const char* nm = name();
        t.push_back(IntParam<P>(nm, nm, f.Method, 0).In("0..6"));
        const char* na = name();
        t.push_back(SingleParam<P>(na, na, f.A, 1.0f));
        const char* nb = name();
        t.push_back(SingleParam<P>(nb, nb, f.B, 1.0f));
        const char* nc = name();
        t.push_back(SingleParam<P>(nc, nc, f.C, 0.0f));
        const char* nd = name();
        t.push_back(SingleParam<P>(nd, nd, f.D, 0.0f));
      }
    return t;
  }();
  return t;
}

TKWPoler::TKWPoler(TKWPolerPack* settings) : TTableProcessor(settings) {
  Formulas[0][0] = Formulas[0][1] = nullptr;
  Formulas[1][0] = OfR<Proportional>, Formulas[1][1] = OfTheta<Proportional>;
  Formulas[2][0] = OfR<Inverse>, Formulas[2][1] = OfTheta<Inverse>;
  Formulas[3][0] = OfR<Exponential>, Formulas[3][1] = OfTheta<Exponential>;
  Formulas[4][0] = OfR<Logarithm>, Formulas[4][1] = OfTheta<Logarithm>;
  // The power of r gives 0 when it fails; that of θ ends the row.
  Formulas[5][0] = OfR<PowerOrZero>, Formulas[5][1] = OfTheta<Power>;
  Formulas[6][0] = OfR<Sine>, Formulas[6][1] = OfTheta<Sine>;
}

TPolerFormula TKWPoler::FormulaOf(const TPolerSlot& s) const {
  if (s.Method < 1 || s.Method >= kPolerMethods) return nullptr;
  return Formulas[s.Method][s.Variable == 1 ? 1 : 0];
}

void TKWPoler::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int W = Src->Width(), H = Src->Height();
  if (W <= 0 || H <= 0) return;
  const TKWPolerPack& p = *settings_;
  std::vector<Stage> stages;
  for (int n = 0; n < kPolerStages; ++n) {
    const TPolerSlot sr = p.Slot(n, psR), sp = p.Slot(n, psP);
    const TPolerFormula fr = FormulaOf(sr), fp = FormulaOf(sp);
    if (!fr && !fp) continue;
    stages.push_back(Stage{fr, fp, sr.A, sr.B, sr.C, sr.D, sp.A, sp.B, sp.C, sp.D});
  }
  if (stages.empty()) {
    // Nothing to do, not even the shift.
    Dst->Canvas().Draw(0, 0, *Src);
    return;
  }
  std::vector<const uint32_t*> rows;
  const TSampleSource s = SampleSourceOf(*Src, rows, OriginPixel(W, p.OriginX), OriginPixel(H, p.OriginY));
  const double tx = -double(p.MoveX), ty = -double(p.MoveY);
  // Progress before rows 31, 63, ... as if the rows ran in order: the
  // bands are 32 rows each.
  static_assert(kBand == 32);
  int nextReport = 31;
  TKWRowJob job;
  job.Count = (H + kBand - 1) / kBand;
  job.Row = [&](int band) { PolerBand(s, stages, tx, ty, band, *Dst); };
  job.Progress = [&](int bands) {
    const int64_t done = int64_t(bands) * kBand;
    for (; nextReport < H && done >= nextReport; nextReport += 32) Progress(RowRate(nextReport, H));
  };
  KWRunRows(job);
}

void TKWPoler::OnImageChange(TBitmap* Image) {
  UpdateParam();
  imageW_ = Image ? Image->Width() : 0;
  imageH_ = Image ? Image->Height() : 0;
  if (OnShowImage) OnShowImage(Image);
  ApplyParam();
}

}  // namespace kwlib
