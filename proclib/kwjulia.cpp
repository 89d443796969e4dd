#include "proclib/kwjulia.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/bitmap.h"
#include "procdef/kwparallel.h"
#include "proclib/kwjuliathread.h"

namespace kwlib {

const TParamTable<TKWJuliaParam>& TKWJuliaParam::Table() {
  using P = TKWJuliaParam;
  static const TParamTable<P> t = {
      IntParam<P>("Method", "Method", &P::Method, 0).In("0..2"),
      IntParam<P>("Visualize_R", "VisualizationR", &P::Visualize_R, 0).In("0..4"),
      IntParam<P>("Visualize_G", "VisualizationG", &P::Visualize_G, 1).In("0..4"),
      IntParam<P>("Visualize_B", "VisualizationB", &P::Visualize_B, 2).In("0..4"),
      IntParam<P>("Limit", "Limit", &P::Limit, 64).In(">=1"),
      DoubleParam<P>("C_Real", "C_Real", &P::C_Real, 0.5),
      DoubleParam<P>("C_Image", "C_Image", &P::C_Image, 0.0),
      DoubleParam<P>("Range_Left", "RangeLeft", &P::Range_Left, -2.0),
      DoubleParam<P>("Range_Right", "RangeRight", &P::Range_Right, 2.0),
      DoubleParam<P>("Range_Top", "RangeTop", &P::Range_Top, 2.0),
      DoubleParam<P>("Range_Bottom", "RangeBottom", &P::Range_Bottom, -2.0),
      BoolParam<P>("Invert_R", "InvertR", &P::Invert_R, false),
      BoolParam<P>("Invert_G", "InvertG", &P::Invert_G, false),
      BoolParam<P>("Invert_B", "InvertB", &P::Invert_B, false),
  };
  return t;
}

namespace {

// ln(1e150)
const double kLambda = std::log(TJuliaComputation::kEscape);

double WeightOf(int n) {
  if (n == 0) return 4 * kLambda;
  if (n == 1) return 2 * kLambda;
  return 1 / (std::log(double(n)) * kLambda);
}

// The table holds the weights of the usual limits; larger step counts
// compute theirs by the same formula.
constexpr int kWeightTableMax = 1 << 16;

bool Finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

// The iteration from z = x + iy with R2 = |z|^2 <= 1e150: the number of
// steps n and the last |z|^2.  A step whose values overflow ends the loop
// with z and R2 as they were before it.
template <class Step>
int Iterate(double x, double y, double& R2, int limit, Step step) {
  int n = 0;
  while (n < limit) {
    ++n;
    double nx, ny;
    step(x, y, nx, ny);
    if (!Finite(nx, ny)) break;
    x = nx;
    y = ny;
    const double r2 = x * x + y * y;
    if (!std::isfinite(r2)) break;
    R2 = r2;
    if (R2 > TJuliaComputation::kEscape) break;
  }
  return n;
}

}  // namespace

TJuliaComputation::TJuliaComputation(const TKWJuliaParam& p, int W, int H)
    : W_(std::max(W, 0)), H_(std::max(H, 0)), method_(p.Method), limit_(std::max(p.Limit, 1)),
      a_(p.C_Real), b_(p.C_Image) {
  vis_[0] = p.Visualize_R, vis_[1] = p.Visualize_G, vis_[2] = p.Visualize_B;
  inv_[0] = p.Invert_R, inv_[1] = p.Invert_G, inv_[2] = p.Invert_B;
  RealStart = std::min(p.Range_Left, p.Range_Right);
  RealStep = W_ > 0 ? std::fabs(p.Range_Left - p.Range_Right) / W_ : 0;
  ImageTop = std::max(p.Range_Top, p.Range_Bottom);
  ImageStep = H_ > 0 ? -std::fabs(p.Range_Top - p.Range_Bottom) / H_ : 0;
  const size_t n = size_t(W_) * size_t(H_);
  SmoothValues.assign(n, 0.0f);
  StepCounts.assign(n, 0);
  weights_.resize(size_t(std::min(limit_, kWeightTableMax)) + 1);
  for (size_t k = 0; k < weights_.size(); ++k) weights_[k] = WeightOf(int(k));
  rowMax_.assign(size_t(H_), 0.0);
}

double TJuliaComputation::Weight(int n) const {
  return size_t(n) < weights_.size() ? weights_[size_t(n)] : WeightOf(n);
}

void TJuliaComputation::Point(double x, double y, double& smooth, int32_t& steps) const {
  if (method_ < 0 || method_ > 2) {
    // No formula: nothing is computed.
    smooth = 0;
    steps = 0;
    return;
  }
  double R2 = x * x + y * y;
  if (!(R2 <= kEscape)) {
    // Outside from the start.
    if (!std::isfinite(R2)) R2 = DBL_MAX;
    smooth = std::log(R2);
    steps = limit_;
    return;
  }
  const double A = a_, B = b_;
  int n;
  switch (method_) {
    case 0:  // C exp z
      n = Iterate(x, y, R2, limit_, [A, B](double x, double y, double& nx, double& ny) {
        const double e = x > 710 ? 1e150 : std::exp(x);
        const double c = std::cos(y), s = std::sin(y);
        nx = e * (A * c - B * s);
        ny = e * (A * s + B * c);
      });
      break;
    case 1:  // C cos z
      n = Iterate(x, y, R2, limit_, [A, B](double x, double y, double& nx, double& ny) {
        const double e1 = y > 710 ? 1e150 : std::exp(y);
        const double e2 = y < -710 ? 1e150 : std::exp(-y);
        const double ch = (e1 + e2) / 2, sh = (e1 - e2) / 2;
        const double c = std::cos(x), s = std::sin(x);
        nx = A * c * ch + B * s * sh;
        ny = B * c * ch - A * s * sh;
      });
      break;
    case 2:  // C sin z
      n = Iterate(x, y, R2, limit_, [A, B](double x, double y, double& nx, double& ny) {
        const double e1 = y > 710 ? 1e150 : std::exp(y);
        const double e2 = y < -710 ? 1e150 : std::exp(-y);
        const double ch = (e1 + e2) / 2, sh = (e1 - e2) / 2;
        const double c = std::cos(x), s = std::sin(x);
        nx = A * s * ch - B * c * sh;
        ny = B * s * ch + A * c * sh;
      });
      break;
    default:
      return;
  }
  smooth = std::log(1 + R2) * Weight(n);
  steps = limit_ - n;
}

void TJuliaComputation::ComputeRow(int r, const std::atomic<bool>* cancel) {
  const double y = ImageTop + r * ImageStep;
  const size_t i0 = size_t(r) * size_t(W_);
  double m = 0;
  for (int j = 0; j < W_; ++j) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return;
    double s;
    int32_t n;
    Point(RealStart + j * RealStep, y, s, n);
    SmoothValues[i0 + size_t(j)] = float(s);
    StepCounts[i0 + size_t(j)] = n;
    if (s > m) m = s;
  }
  rowMax_[size_t(r)] = m;
}

void TJuliaComputation::ReleaseBuffers() {
  std::vector<float>().swap(SmoothValues);
  std::vector<int32_t>().swap(StepCounts);
}

void TJuliaComputation::Finish() {
  double m = 0;
  for (double v : rowMax_)
    if (v > m) m = v;
  max_ = m;
}

void TJuliaComputation::ColourRow(int r, uint32_t* out) const {
  const size_t i0 = size_t(r) * size_t(W_);
  for (int j = 0; j < W_; ++j) {
    const size_t i = i0 + size_t(j);
    const int32_t steps = StepCounts[i];
    uint32_t bytes[5];
    // With no largest smooth value (every one is 0) the smooth byte is 0.
    bytes[0] = max_ > 0 ? uint32_t(std::clamp(std::nearbyint(double(SmoothValues[i]) * 255 / max_), 0.0, 255.0))
                        : 0u;
    bytes[1] = uint32_t(std::clamp(std::nearbyint(double(steps) * 255 / limit_), 0.0, 255.0));
    bytes[2] = steps == 0 ? 0u : 255u;
    bytes[3] = 0;
    bytes[4] = 255;
    uint32_t px = 0;
    for (int ch = 0; ch < 3; ++ch) {
      uint32_t b = vis_[ch] >= 0 && vis_[ch] <= 4 ? bytes[vis_[ch]] : 0u;
      if (inv_[ch]) b = 255 - b;
      px |= b << (16 - 8 * ch);  // red, green, blue
    }
    out[j] = px;
  }
}

bool ComputeJuliaRows(TJuliaComputation& c, const std::atomic<bool>* cancel, bool idle,
                      const std::function<void(int done)>& rowsDone) {
  TKWRowJob job;
  job.Count = c.Height();
  job.Row = [&c, cancel](int r) { c.ComputeRow(r, cancel); };
  job.Progress = rowsDone;
  job.Cancel = cancel;
  job.Priority = idle ? TKWWorkPriority::wpIdle : TKWWorkPriority::wpNormal;
  KWRunRows(job);
  if (cancel && cancel->load()) return false;
  c.Finish();
  return true;
}

void ColourJuliaRows(const TJuliaComputation& c, bool idle, const std::function<void(int r)>& colourRow) {
  TKWRowJob job;
  job.Count = c.Height();
  job.Row = colourRow;
  job.Priority = idle ? TKWWorkPriority::wpIdle : TKWWorkPriority::wpNormal;
  KWRunRows(job);
}

void TKWJulia::Generator(TBitmap* Bitmap) {
  if (!IsLoadComplete || !Bitmap || Bitmap->Width() < 4) return;
  if (Bitmap->PixelFormat() != pf32bit) throw Exception("The Julia set needs a 32-bit image.");
  if (!worker_) {
    TJuliaComputation c(*settings_, Bitmap->Width(), Bitmap->Height());
    ComputeJuliaRows(c, nullptr, false);
    ColourJuliaRows(c, false, [&](int r) { c.ColourRow(r, Bitmap->Row32(r)); });
    return;
  }
  worker_->RowProgress = [this](float rate) { Progress(rate); };
  if (!worker_->Generate(Bitmap, *settings_))
    throw Exception("The Julia set was not finished: the program is closing.");
}

}  // namespace kwlib
