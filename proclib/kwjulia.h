// Julia set generator: one of three complex functions iterated from every
// pixel's point of a rectangle of the complex plane; each pixel coloured by
// how fast, and whether, the orbit escapes.  The work runs on the unit's
// worker (TJuliaThread); the generator waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

class TJuliaThread;

struct TKWJuliaParam : TKWGeneratorPack {
  explicit TKWJuliaParam(TKWProcessor* proc = nullptr) : TKWGeneratorPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t Method;  // 0 C exp z, 1 C cos z, 2 C sin z
  int32_t Visualize_R, Visualize_G, Visualize_B;  // 0 .. 4, see TJuliaComputation
  int32_t Limit;  // largest number of steps per point
  double C_Real, C_Image;
  double Range_Left, Range_Right;  // the real axis, in either order
  double Range_Top, Range_Bottom;  // the imaginary axis, in either order
  bool Invert_R, Invert_G, Invert_B;
  static const TParamTable<TKWJuliaParam>& Table();
};

// The computation of one W x H image from a copy of the values, without
// threads of its own: rows of smooth values and step counts first (any
// order, any thread), then the colouring of rows once all are done.
//
// A point escapes when |z|^2 exceeds 1e150.  Its smooth value is
// ln(1 + |z|^2) x weight[n] after n steps (ln |z|^2 when it starts outside),
// its step count Limit - n (Limit when it starts outside, 0 when it never
// escapes).  The pixel's bytes: smooth value x 255 / largest smooth value
// (0 when the largest is 0), step count x 255 / Limit, and 0 or 255 for
// not escaped / escaped, each channel choosing one of them or 0 or 255 by
// its Visualize value and inverting it by its Invert flag.
//
// Values outside the defined ranges: a Limit below 1 counts as 1; a Method
// other than 0 .. 2 computes no point (every value 0, so every byte is 0
// before inversion); a Visualize value other than 0 .. 4 gives 0.  A point
// whose coordinates are too far out to square counts as escaped at the
// start with the largest finite |z|^2.
class TJuliaComputation {
 public:
  static constexpr double kEscape = 1e150;

  TJuliaComputation(const TKWJuliaParam& p, int W, int H);
  int Width() const { return W_; }
  int Height() const { return H_; }
  int Limit() const { return limit_; }

  // Smooth values and step counts of row r; stops early when *cancel turns
  // true (then the row is incomplete).
  void ComputeRow(int r, const std::atomic<bool>* cancel = nullptr);
  // The largest smooth value of all rows (after every row is computed).
  void Finish();
  double MaxSmooth() const { return max_; }
  // Row r of the image, W pixels (after Finish).
  void ColourRow(int r, uint32_t* out) const;

  // One point: its smooth value (rounded to single precision as stored) and
  // step count.
  void Point(double x, double y, double& smooth, int32_t& steps) const;
  double Weight(int n) const;
  // Frees the per-pixel buffers (once the image is coloured or abandoned).
  void ReleaseBuffers();

  // The coordinate of pixel (0, 0) and the steps per column and row.
  double RealStart = 0, ImageTop = 0, RealStep = 0, ImageStep = 0;

  std::vector<float> SmoothValues;
  std::vector<int32_t> StepCounts;

 private:
  int W_, H_;
  int method_, limit_;
  double a_, b_;  // C
  int vis_[3];    // red, green, blue
  bool inv_[3];
  std::vector<double> weights_;  // the first entries of the weight table
  std::vector<double> rowMax_;
  double max_ = 0;
};

class TKWJulia : public TTableProcessor<TKWJuliaParam, TKWBasicGenerator> {
 public:
  // Worker: the unit's thread; null computes on the calling thread.
  TKWJulia(TKWJuliaParam* settings, TJuliaThread* worker)
      : TTableProcessor(settings), worker_(worker) {}
  void Generator(TBitmap* Bitmap) override;
  // The host never previews this generator: the panel has its own preview.
  bool CanPreview() override { return false; }
  TJuliaThread* Worker() const { return worker_; }

 private:
  TJuliaThread* worker_;
};

// The rows of c on the calling thread and the pool's threads (at the
// lowest priority when idle), then the largest smooth value.  rowsDone
// hears of the finished rows on the calling thread.  False when *cancel
// turned true before every row was done.
bool ComputeJuliaRows(TJuliaComputation& c, const std::atomic<bool>* cancel, bool idle,
                      const std::function<void(int done)>& rowsDone = {});
// Runs colourRow(r) for every row of c the same way (after ComputeJuliaRows).
void ColourJuliaRows(const TJuliaComputation& c, bool idle, const std::function<void(int r)>& colourRow);

}  // namespace kwlib
