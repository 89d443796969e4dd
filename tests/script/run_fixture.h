// Scripts run with KW --run as whole processes, in a program folder of
// their own (the program, the framework library and the standard package,
// default settings).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/bitmap.h"

namespace fs = std::filesystem;

namespace kwrun {

struct Result {
  int code = -1;
  std::string out, err;
};

inline std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class RunFixture : public ::testing::Test {
 protected:
  fs::path dir;
  fs::path kw;

  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kwrun_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "prog" / "ProcLib");
    fs::copy_file(KW_EXE, dir / "prog" / "KW");
    fs::copy_file(KW_PRCDEF, dir / "prog" / "libKWPrcDef.so");
    fs::copy_file(KW_PRCLIB, dir / "prog" / "ProcLib" / "KWPrcLib.so");
    kw = dir / "prog" / "KW";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string P(const std::string& name) const { return (dir / name).string(); }

  // env: assignments put before the command ("A=1 B=2 "); every run is
  // bounded by a timeout, so a run that waits for a click fails the test.
  Result Run(const std::string& script, const std::string& env = "") {
    const fs::path s = dir / "t.kws";
    std::ofstream(s, std::ios::binary) << script;
    const std::string cmd = "cd '" + dir.string() + "' && " + env + "QT_QPA_PLATFORM=offscreen timeout 120 '" +
                            kw.string() + "' --run t.kws > out.txt 2> err.txt";
    const int st = std::system(cmd.c_str());
    Result r;
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = ReadAll(dir / "out.txt");
    r.err = ReadAll(dir / "err.txt");
    return r;
  }
  // No swap files and no settings are left in the program folder.
  void ExpectProgramFolderUntouched() {
    EXPECT_FALSE(fs::exists(dir / "prog" / "UndoData"));
    EXPECT_FALSE(fs::exists(dir / "prog" / "Resume"));
    EXPECT_FALSE(fs::exists(dir / "prog" / "KW.ini"));
    EXPECT_FALSE(fs::exists(dir / "prog" / "ProcLib" / "KWPrcLib.ini"));
  }
};

// A picture of random pixels written as a 24-bit BMP.
inline void RandomPicture(const std::string& file, int w, int h, unsigned seed) {
  std::mt19937 gen(seed);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int i = 0; i < w * 3; ++i) row[i] = uint8_t(gen());
  }
  b.SaveToFile(file);
}

struct Picture {
  TBitmap bmp;
  explicit Picture(const std::string& file) {
    bmp.LoadFromFile(file);
    bmp.SetPixelFormat(pf32bit);
  }
  uint32_t at(int x, int y) const { return bmp.PixelBGRA(x, y); }
};

inline int B(uint32_t p) { return p & 0xFF; }
inline int G(uint32_t p) { return (p >> 8) & 0xFF; }
inline int R(uint32_t p) { return (p >> 16) & 0xFF; }
inline int A(uint32_t p) { return p >> 24; }

inline int RoundEven(long double v) { return int(std::nearbyint(v)); }

// Luminance in extended precision, rounded halves to even.
inline int Luminance(uint32_t p) {
  return RoundEven(0.1140105L * B(p) + 0.58701L * G(p) + 0.2989875L * R(p));
}

inline int Scale(float f, int v) { return std::min(255, RoundEven((long double)f * v)); }

}  // namespace kwrun
