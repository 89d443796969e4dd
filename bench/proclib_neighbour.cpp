// Neighbourhood and geometric filters of the standard package on a
// 2000 x 1500 image (quarter turns also on a 6000 x 4000 one); items
// processed = pixels (of the source for resize).
// Threads: every core, or KW_THREADS=N from the environment (KW_THREADS=1
// for the one-core figures); rates from the wall clock.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "proclib/kwaffine.h"
#include "proclib/kwaxis.h"
#include "proclib/kwmask.h"
#include "proclib/kwmedian.h"
#include "proclib/kwminmax.h"
#include "proclib/kwresize.h"

using namespace kwlib;

namespace {

constexpr int W = 2000, H = 1500;

std::unique_ptr<TBitmap> Image(int w, int h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf32bit);
  b->SetSize(w, h);
  return b;
}

TBitmap& Source() {
  static std::unique_ptr<TBitmap> b = [] {
    auto b = Image(W, H);
    std::mt19937 rng(1);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        b->Row32(y)[x] = ((x + (rng() & 15)) & 0xFF) | (((y + (rng() & 15)) & 0xFF) << 8) |
                         ((rng() & 0xFF) << 16);
    return b;
  }();
  return *b;
}

template <class F>
void Run(benchmark::State& state, F& f, int dw = W, int dh = H) {
  auto dst = Image(dw, dh);
  for (auto _ : state) {
    f.Filter(&Source(), dst.get());
    benchmark::DoNotOptimize(dst->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(W) * H);
}

void BM_Median(benchmark::State& state) {
  TKWMedianPack p;
  p.Range = int(state.range(0));
  auto f = TKWProcessor::Create<TKWMedian>(&p);
  Run(state, *f);
}
BENCHMARK(BM_Median)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MinMax(benchmark::State& state) {
  TKWMinMaxParam p;
  p.MinMax = 1;
  p.Range = int(state.range(0));
  auto f = TKWProcessor::Create<TKWMinMax>(&p);
  Run(state, *f);
}
BENCHMARK(BM_MinMax)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: range, operation (5 = a free mask), centre-weighting correction.
void BM_Mask(benchmark::State& state) {
  TMaskPack p;
  p.Range = int(state.range(0));
  p.Operation = int(state.range(1));
  p.Spray = state.range(2) != 0;
  p.SprayPower = 3;
  for (int a = 0; a < 5; ++a)
    for (int b = 0; b < 5; ++b) p.Mask(a, b) = float((a * 7 + b * 3) % 5) - 1.5f;
  p.DivValue = 3;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  Run(state, *f);
}
BENCHMARK(BM_Mask)
    ->Args({1, 0, 0})
    ->Args({1, 3, 0})
    ->Args({3, 0, 0})
    ->Args({3, 1, 0})
    ->Args({1, 5, 0})
    ->Args({3, 5, 0})
    ->Args({1, 3, 1})
    ->Args({3, 3, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Axis(benchmark::State& state) {
  TKWAxisPack p;
  p.Operate = int(state.range(0));
  auto f = TKWProcessor::Create<TKWAxisOperate>(&p);
  const bool turn = p.Operate == 2 || p.Operate == 3;
  Run(state, *f, turn ? H : W, turn ? W : H);
}
BENCHMARK(BM_Axis)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Quarter turns of a 6000 x 4000 photo (arg: 2 clockwise, 3 counter-
// clockwise): its height is a multiple of 16, so the destination rows take
// whole lines; the 2000 x 1500 rows above show the other case.
void BM_AxisPhoto(benchmark::State& state) {
  constexpr int PW = 6000, PH = 4000;
  static std::unique_ptr<TBitmap> src = [] {
    auto b = Image(PW, PH);
    for (int y = 0; y < PH; ++y)
      for (int x = 0; x < PW; ++x) b->Row32(y)[x] = uint32_t(x * 2654435761u ^ y);
    return b;
  }();
  TKWAxisPack p;
  p.Operate = int(state.range(0));
  auto f = TKWProcessor::Create<TKWAxisOperate>(&p);
  auto dst = Image(PH, PW);
  for (auto _ : state) {
    f->Filter(src.get(), dst.get());
    benchmark::DoNotOptimize(dst->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(PW) * PH);
}
BENCHMARK(BM_AxisPhoto)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg: the rotation in degrees.
void BM_Affine(benchmark::State& state) {
  TAffinePack p;
  p.RotateAngle = float(state.range(0));
  p.ZoomRate = 1.3f;
  p.OriginX = p.OriginY = 0.5f;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  Run(state, *f);
}
BENCHMARK(BM_Affine)->Arg(30)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ResizeTile(benchmark::State& state) {
  TResizePack p;
  p.Width = 4000;
  p.Height = 3000;
  p.OffsetX = 37;
  auto f = TKWProcessor::Create<TKWResize>(&p);
  Run(state, *f, 4000, 3000);
}
BENCHMARK(BM_ResizeTile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Stretch to half and to double the size; items = source pixels.
void BM_ResizeStretch(benchmark::State& state) {
  TResizePack p;
  p.Method = 1;
  p.Width = int(W * state.range(0) / 2);
  p.Height = int(H * state.range(0) / 2);
  auto f = TKWProcessor::Create<TKWResize>(&p);
  Run(state, *f, p.Width, p.Height);
}
BENCHMARK(BM_ResizeStretch)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
