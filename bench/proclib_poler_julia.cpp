// The polar transform of a 6000 x 4000 image with one and with five active
// stages, and the Julia set generated into 6000 x 4000 with the default
// settings at Limit 64 and 256 through the generator's worker, each with
// one thread and with every thread (second argument 1 or 0).  Items
// processed = pixels, so the rate reads as pixels per second; wall time.
//
//   cmake -S . -B build -DKW_BUILD_BENCH=ON && cmake --build build --target proclib_poler_julia_bench
//   build/bin/proclib_poler_julia_bench
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <memory>
#include <random>

#include "procdef/kwparallel.h"
#include "proclib/kwjulia.h"
#include "proclib/kwjuliathread.h"
#include "proclib/kwpoler.h"

using namespace kwlib;

namespace {

constexpr int W = 6000, H = 4000;

std::unique_ptr<TBitmap> Image(bool random) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf32bit);
  b->SetSize(W, H);
  if (random) {
    std::mt19937 rng(1);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) b->Row32(y)[x] = rng();
  }
  return b;
}

void Threads(int n) { KWSetThreadCount(n); }

// Stage tables: 1, one stage (a twist of 0.001 radian per pixel of
// distance, two turns at the image's corners); 2, one stage (a twist of
// 0.01, source pixels far apart: memory bound); 5, five stages (twist,
// ripple, spiral, a sine of the angle and a radial zoom).
void BM_Poler(benchmark::State& state) {
  TKWPolerPack pack;
  pack.SetSlot(0, psP, TPolerSlot{0, 1, state.range(0) == 2 ? 0.01f : 0.001f, 1, 0, 0});
  if (state.range(0) == 5) {
    pack.SetSlot(1, psR, TPolerSlot{0, 6, 3, 0.05f, 0, 0});
    pack.SetSlot(2, psP, TPolerSlot{0, 4, 0.2f, 1, 1, 0});
    pack.SetSlot(3, psR, TPolerSlot{1, 6, 2, 4, 0, 0});
    pack.SetSlot(4, psR, TPolerSlot{0, 1, -0.3f, 1, 0, 0});
  }
  Threads(int(state.range(1)));
  auto f = TKWProcessor::Create<TKWPoler>(&pack);
  auto src = Image(true), dst = Image(false);
  for (auto _ : state) {
    f->Filter(src.get(), dst.get());
    benchmark::DoNotOptimize(dst->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(W) * H);
  state.counters["threads"] = KWThreadCount();
  Threads(0);
}

// Limit 64 or 256, the other settings at their defaults.
void BM_Julia(benchmark::State& state) {
  IsLoadComplete = true;
  TKWJuliaParam pack;
  pack.Limit = int32_t(state.range(0));
  Threads(int(state.range(1)));
  TJuliaThread worker;
  auto gen = TKWProcessor::Create<TKWJulia>(&pack, &worker);
  auto b = Image(false);
  for (auto _ : state) {
    gen->Generator(b.get());
    benchmark::DoNotOptimize(b->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(W) * H);
  state.counters["threads"] = KWThreadCount();
  Threads(0);
}

}  // namespace

BENCHMARK(BM_Poler)->ArgsProduct({{1, 2, 5}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Julia)->Args({64, 1})->Args({64, 0})->Args({256, 1})->Args({256, 0})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char** argv) {
  // The Julia set's generator waits for its worker in an event loop.
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
