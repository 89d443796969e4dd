// The gamma filter: tables, automatic gamma, both modes against the plain
// formulas, and tone-curve files good and bad.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "proclib/kwgamma.h"
#include "testutil.h"
#include "ui/messages.h"

using namespace kwlib;
using namespace kwtest;
namespace fs = std::filesystem;

namespace {

struct Messages {
  std::vector<std::pair<TMsgKind, std::string>> got;
  TMessageHandler old;
  Messages() {
    old = SetMessageHandler([this](TMsgKind k, const std::string&, const std::string& t, bool) {
      got.emplace_back(k, t);
      return TMsgResult::Ok;
    });
  }
  ~Messages() { SetMessageHandler(old); }
};

struct TempDir {
  fs::path dir;
  TempDir() {
    dir = fs::temp_directory_path() / ("kwgamma_" + std::to_string(::getpid()) + "_" +
                                       std::to_string(std::rand()));
    fs::create_directories(dir);
  }
  ~TempDir() { fs::remove_all(dir); }
  std::string file(const std::string& name, const std::string& content) const {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  }
};

std::string ToneFile(bool color, const std::string& rawValue, int lines, int offset = 0) {
  std::ostringstream s;
  s << "Varoka_tone_curve,1.0\r\nRGBColor," << (color ? 1 : 0) << "\r\nRAW," << rawValue
    << "\r\nNumPoint_Y,256\r\nNumPoint_R,0\r\nNumPoint_G,0\r\nNumPoint_B,0\r\n\r\nsome,header\r\ndata\r\n";
  for (int i = 0; i < lines; ++i) {
    if (color)
      s << i << "," << (i + offset) << "," << i << "," << (255 - i) << "," << i << "," << (i * 2) << "\r\n";
    else
      s << i << "," << (255 - i + offset) << "\r\n";
  }
  return s.str();
}

bool SameTable(const TToneTable& a, const TToneTable& b) { return std::equal(a, a + 256, b); }

}  // namespace

TEST(Gamma, MakeTableValues) {
  TToneTable t;
  TKWGamma::MakeTable(t, 1.0f);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(t[i], i);
  TKWGamma::MakeTable(t, 2.0f);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[64], 128);  // 127.75
  EXPECT_EQ(t[255], 255);
  for (int i = 1; i < 256; ++i)
    EXPECT_EQ(t[i], Round(255.0L * std::pow((long double)i / 255.0L, 0.5L))) << i;
  TKWGamma::MakeTable(t, 0.0f);  // only reachable from scripts: no overflow, no crash
  EXPECT_EQ(t[0], 0);
}

TEST(Gamma, AutoGammaOfFlatHistogramIsOne) {
  uint32_t h[256];
  std::fill(h, h + 256, 40u);
  EXPECT_EQ(TKWGamma::CalcAutoGamma(h, 255), 1.0f);
  // A dark image asks for a brightening gamma.
  uint32_t dark[256] = {};
  for (int i = 0; i < 64; ++i) dark[i] = 100;
  EXPECT_GT(TKWGamma::CalcAutoGamma(dark, 255), 1.0f);
  // An empty histogram: every candidate errs 0, so the first one stays.
  uint32_t none[256] = {};
  EXPECT_EQ(TKWGamma::CalcAutoGamma(none, 255), 0.5f);
}

TEST(Gamma, LuminanceModeMatchesPlainFormula) {
  TGammaPack pack;
  pack.Gamma = 1.7f;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  auto src = RandomBmp(211, 63, 11);
  src->Row32(0)[0] = 0x55000000u;  // black stays black (factor 1)
  auto dst = Bmp(211, 63);
  f->ExecFilter(src.get(), dst.get());
  TToneTable t;
  TKWGamma::MakeTable(t, 1.7f);
  EXPECT_EQ(dst->Row32(0)[0], 0x55000000u);
  for (int y = 0; y < 63; ++y)
    for (int x = 0; x < 211; ++x) {
      uint32_t p = src->Row32(y)[x];
      int l = int(Round(Lum(p)));
      double fct = l == 0 ? 1.0 : double(t[l]) / l;
      auto ch = [&](uint32_t v) {
        return uint32_t(std::min<int64_t>(Round((long double)fct * v), 255));
      };
      ASSERT_EQ(dst->Row32(y)[x], (p & 0xFF000000u) | ch(p & 0xFF) | (ch((p >> 8) & 0xFF) << 8) |
                                      (ch((p >> 16) & 0xFF) << 16));
    }
}

TEST(Gamma, ColourModeAndAutoGamma) {
  TGammaPack pack;
  pack.Color = true;
  pack.GammaR = 2.0f;
  pack.GammaG = 0.5f;
  pack.GammaB = 1.0f;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  auto src = RandomBmp(50, 20, 12);
  auto dst = Bmp(50, 20);
  f->ExecFilter(src.get(), dst.get());
  TToneTable r, g;
  TKWGamma::MakeTable(r, 2.0f);
  TKWGamma::MakeTable(g, 0.5f);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 50; ++x) {
      uint32_t p = src->Row32(y)[x];
      ASSERT_EQ(dst->Row32(y)[x], (p & 0xFF0000FFu) | (uint32_t(g[(p >> 8) & 0xFF]) << 8) |
                                      (uint32_t(r[(p >> 16) & 0xFF]) << 16));
    }
  // Auto gamma on a flat image keeps it.
  pack.AutoGamma = true;
  auto flat = Bmp(256, 1);
  for (int x = 0; x < 256; ++x) flat->Row32(0)[x] = BGRA(x, x, x);
  auto out = Bmp(256, 1);
  f->ExecFilter(flat.get(), out.get());
  for (int x = 0; x < 256; ++x) EXPECT_EQ(out->Row32(0)[x], flat->Row32(0)[x]);
}

TEST(Gamma, ParametersAsRegistered) {
  TGammaPack pack;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  const char* names[] = {"Gamma", "Color", "GammaR", "GammaG", "GammaB", "AutoGamma", "UseToneFile",
                         "ToneFileName"};
  ASSERT_EQ(f->Params.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(f->Params.Strings(i), names[i]);
  EXPECT_EQ(f->Param(7)->ParamType, TKWParamType::ptString);
  EXPECT_TRUE(pack.YCurve && pack.BCurve);
  EXPECT_EQ(pack.Gamma, 1.0f);
}

TEST(ToneFile, SaveLoadRoundTripAndColourWrap) {
  Messages msgs;
  TempDir tmp;
  TGammaPack pack;
  pack.Gamma = 2.2f;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  std::string name = (tmp.dir / "y.csv").string();
  f->SaveToneCurve(name);
  TToneTable expect;
  TKWGamma::MakeTable(expect, 2.2f);
  std::fill(f->TableY, f->TableY + 256, 0);
  ASSERT_TRUE(f->LoadToneCurve(name));
  EXPECT_TRUE(SameTable(f->TableY, expect));
  EXPECT_FALSE(f->LoadedColor);
  std::ifstream in(name, std::ios::binary);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "Varoka_tone_curve,1.0\r");

  // A colour file with outputs beyond 255 wraps to eight bits in colour mode.
  std::string col = tmp.file("c.csv", ToneFile(true, "1", 256, 256));
  pack.UseToneFile = true;
  pack.ToneFileName = col;
  auto src = Bmp(3, 1);
  src->Row32(0)[0] = BGRA(10, 20, 30);
  auto dst = Bmp(3, 1);
  f->ExecFilter(src.get(), dst.get());
  // R = low byte of 30 + 256, G = 255 - 20, B = 10 * 2
  EXPECT_EQ(dst->Row32(0)[0], BGRA(20, 235, 30));
  EXPECT_TRUE(msgs.got.empty());
}

TEST(ToneFile, ReloadsOnlyWhenNameOrDateChanges) {
  TempDir tmp;
  TGammaPack pack;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  std::string name = tmp.file("a.csv", ToneFile(false, "1", 256, 0));
  ASSERT_TRUE(f->LoadToneCurve(name));
  EXPECT_EQ(f->TableY[0], 255);
  auto stamp = fs::last_write_time(name);
  tmp.file("a.csv", ToneFile(false, "1", 256, -10));
  fs::last_write_time(name, stamp);  // same date: not read again
  ASSERT_TRUE(f->LoadToneCurve(name));
  EXPECT_EQ(f->TableY[0], 255);
  fs::last_write_time(name, stamp + std::chrono::seconds(5));
  ASSERT_TRUE(f->LoadToneCurve(name));
  EXPECT_EQ(f->TableY[0], 245);
}

TEST(ToneFile, MalformedFilesLeaveTheCurveUnchanged) {
  Messages msgs;
  TempDir tmp;
  TGammaPack pack;
  auto f = TKWProcessor::Create<TKWGamma>(&pack);
  ASSERT_TRUE(f->LoadToneCurve(tmp.file("good.csv", ToneFile(false, "1", 256, 0))));
  TToneTable before;
  std::copy(f->TableY, f->TableY + 256, before);

  std::string bad = ToneFile(false, "1", 256, 0);
  bad.replace(0, 7, "Bogus_x");
  std::string noData = ToneFile(false, "1", 256, 0);
  noData.replace(noData.find("data"), 4, "dat_");
  std::string binary(4096, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 37 + 11);
  struct Case {
    const char* name;
    std::string text;
    TMsgKind kind;
  } cases[] = {
      {"header.csv", bad, TMsgKind::Error},
      {"short.csv", ToneFile(false, "1", 255, 0), TMsgKind::Error},
      {"nodata.csv", noData, TMsgKind::Error},
      {"binary.csv", binary, TMsgKind::Error},
      {"lines.csv", "Varoka_tone_curve,1.0\r\nRGBColor,0\r\n", TMsgKind::Error},
      {"raw0.csv", ToneFile(false, "0", 256, 5), TMsgKind::Info},
  };
  for (const Case& c : cases) {
    msgs.got.clear();
    EXPECT_FALSE(f->LoadToneCurve(tmp.file(c.name, c.text))) << c.name;
    ASSERT_EQ(msgs.got.size(), 1u) << c.name;
    EXPECT_EQ(msgs.got[0].first, c.kind) << c.name;
    EXPECT_TRUE(SameTable(f->TableY, before)) << c.name;
  }
  // The first-line error names the first field, then the whole line.
  msgs.got.clear();
  f->LoadToneCurve(tmp.file("h2.csv", "Nope,1.0\r\n"));
  ASSERT_EQ(msgs.got.size(), 1u);
  EXPECT_EQ(msgs.got[0].second, std::string(kToneFormatError) + "Nope\r\nNope,1.0");
  // Non-numeric fields read as 0.
  std::string text = ToneFile(false, "1", 256, 0);
  text.replace(text.find("\r\n0,255\r\n"), 9, "\r\n0,abc\r\n");
  msgs.got.clear();
  ASSERT_TRUE(f->LoadToneCurve(tmp.file("nan.csv", text)));
  EXPECT_EQ(f->TableY[0], 0);
  EXPECT_EQ(f->TableY[1], 254);
  EXPECT_TRUE(msgs.got.empty());
  // A missing file is an error the caller sees.
  EXPECT_THROW(f->LoadToneCurve((tmp.dir / "missing.csv").string()), EInOutError);
}
