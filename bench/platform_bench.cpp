// Throughput of the platform bitmap: BMP reading and writing of a 6000 x 4000
// 32-bit picture (in memory and through a file in /tmp), the canvas copies,
// and a plain memcpy of the same bytes as the yardstick.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace {

constexpr int kW = 6000, kH = 4000;

const TBitmap& Picture() {
  static TBitmap* b = [] {
    auto* p = new TBitmap;
    p->SetPixelFormat(pf32bit);
    p->SetSize(kW, kH);
    std::mt19937 rng(1);
    for (int y = 0; y < kH; ++y) {
      uint32_t* r = p->Row32(y);
      for (int x = 0; x < kW; ++x) r[x] = rng();
    }
    return p;
  }();
  return *b;
}

int64_t PictureBytes() { return int64_t(kW) * kH * 4; }

std::string TempFile() { return "/tmp/kw_platform_bench_" + std::to_string(getpid()) + ".bmp"; }

void BM_Memcpy(benchmark::State& state) {
  const TBitmap& src = Picture();
  std::vector<uint8_t> dst(src.ByteSize());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.Bits(), src.ByteSize());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

void BM_BmpWriteMemory(benchmark::State& state) {
  const TBitmap& src = Picture();
  for (auto _ : state) {
    auto data = src.SaveToMemory();
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

void BM_BmpReadMemory(benchmark::State& state) {
  const auto data = Picture().SaveToMemory();
  TBitmap dst;
  for (auto _ : state) {
    dst.LoadFromMemory(data.data(), data.size());
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

void BM_BmpWriteFile(benchmark::State& state) {
  const TBitmap& src = Picture();
  const std::string path = TempFile();
  for (auto _ : state) src.SaveToFile(path);
  std::remove(path.c_str());
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

void BM_BmpReadFile(benchmark::State& state) {
  const std::string path = TempFile();
  Picture().SaveToFile(path);
  TBitmap dst;
  for (auto _ : state) {
    dst.LoadFromFile(path);
    benchmark::DoNotOptimize(dst.Bits());
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

TBitmap& Target(int w, int h) {
  static TBitmap* t = new TBitmap;
  t->SetPixelFormat(pf32bit);
  t->SetSize(w, h);
  return *t;
}

void BM_Draw(benchmark::State& state) {
  TBitmap& dst = Target(kW, kH);
  dst.Canvas().CopyMode = uint32_t(state.range(0));
  for (auto _ : state) {
    dst.Canvas().Draw(0, 0, Picture());
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

void BM_StretchDraw(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  TBitmap& dst = Target(w, h);
  dst.Canvas().CopyMode = cmSrcCopy;
  for (auto _ : state) {
    dst.Canvas().StretchDraw(Rect(0, 0, w, h), Picture());
    benchmark::DoNotOptimize(dst.Bits());
  }
  // Bytes written to the destination.
  state.SetBytesProcessed(state.iterations() * int64_t(w) * h * 4);
}

void BM_CopyRect(benchmark::State& state) {
  TBitmap src;
  src.Assign(Picture());
  TBitmap& dst = Target(kW, kH);
  dst.Canvas().CopyMode = cmSrcCopy;
  const TRect r = Rect(0, 0, kW, kH);
  for (auto _ : state) {
    dst.Canvas().CopyRect(r, src.Canvas(), r);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetBytesProcessed(state.iterations() * PictureBytes());
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpWriteMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpReadMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpWriteFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw)
    ->Arg(cmSrcCopy)
    ->Arg(cmNotSrcCopy)
    ->Arg(cmSrcAnd)
    ->Arg(cmSrcPaint)
    ->Arg(cmSrcInvert)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchDraw)->Args({kW / 2, kH / 2})->Args({kW * 2, kH * 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyRect)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
