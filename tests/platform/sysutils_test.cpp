#include <gtest/gtest.h>

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <thread>

#include "platform/sysutils.h"
#include "platform/types.h"

namespace {

TEST(RoundTrunc, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(3.5L), 4);
  EXPECT_EQ(Round(-0.5L), 0);
  EXPECT_EQ(Round(-1.5L), -2);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(254.5L), 254);
  EXPECT_EQ(Round(255.5L), 256);
}

TEST(RoundTrunc, NonHalvesGoToTheNearest) {
  EXPECT_EQ(Round(2.4999999L), 2);
  EXPECT_EQ(Round(2.5000001L), 3);
  EXPECT_EQ(Round(-2.5000001L), -3);
  EXPECT_EQ(Round(-0.4L), 0);
  // 0.5 - 2^-64 is just below one half in extended precision.
  EXPECT_EQ(Round(0.5L - std::ldexp(1.0L, -64)), 0);
  EXPECT_EQ(Round(1e15L + 0.75L), 1000000000000001);
}

TEST(RoundTrunc, TruncCutsTowardZero) {
  EXPECT_EQ(Trunc(2.999L), 2);
  EXPECT_EQ(Trunc(-2.999L), -2);
  EXPECT_EQ(Trunc(-0.5L), 0);
  EXPECT_EQ(Trunc(7.0L), 7);
  EXPECT_EQ(Trunc(std::ldexp(-1.0L, 63)), std::numeric_limits<int64_t>::min());
}

TEST(RoundTrunc, ValuesWithoutAnIntegerRaise) {
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const long double inf = std::numeric_limits<long double>::infinity();
  EXPECT_THROW(Round(nan), Exception);
  EXPECT_THROW(Round(inf), Exception);
  EXPECT_THROW(Round(1e19L), Exception);
  EXPECT_THROW(Trunc(-inf), Exception);
  EXPECT_THROW(Trunc(9.3e18L), Exception);
}

TEST(TickCount, AdvancesInMilliseconds) {
  const uint32_t a = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t b = GetTickCount();
  EXPECT_GE(uint32_t(b - a), 29u);
  EXPECT_LT(uint32_t(b - a), 10000u);
}

TEST(FloatToStr, ShortestTextWithFifteenDigits) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(0.5L), "0.5");
  EXPECT_EQ(FloatToStr(1), "1");
  EXPECT_EQ(FloatToStr(-1.25L), "-1.25");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(static_cast<long double>(0.1f)), "0.100000001490116");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(2.0L / 3), "0.666666666666667");
  EXPECT_EQ(FloatToStr(2.2), "2.2");
  EXPECT_EQ(FloatToStr(123456.789L), "123456.789");
}

TEST(FloatToStr, ExponentFormOutsideTheFixedRange) {
  EXPECT_EQ(FloatToStr(0.0001L), "0.0001");
  EXPECT_EQ(FloatToStr(0.00012L), "0.00012");
  EXPECT_EQ(FloatToStr(1e-5L), "1E-5");
  EXPECT_EQ(FloatToStr(-2.5e-7L), "-2.5E-7");
  EXPECT_EQ(FloatToStr(1.5e20L), "1.5E20");
  EXPECT_EQ(FloatToStr(1e14L), "100000000000000");
  EXPECT_EQ(FloatToStr(999999999999999.0L), "999999999999999");
  EXPECT_EQ(FloatToStr(1e15L), "1E15");
  EXPECT_EQ(FloatToStr(123456789012345678.0L), "1.23456789012346E17");
  // Rounding to 15 digits carries into the next power of ten.
  EXPECT_EQ(FloatToStr(9999999999999999.0L), "1E16");
  EXPECT_EQ(FloatToStr(0.99999999999999999L), "1");
}

TEST(FloatToStr, SpecialValues) {
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::quiet_NaN()), "NAN");
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::infinity()), "INF");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<long double>::infinity()), "-INF");
}

TEST(FloatToStr, ReadsBackToFifteenDigits) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  std::uniform_int_distribution<int> ex(-30, 30);
  for (int i = 0; i < 2000; ++i) {
    const double v = std::ldexp(mant(rng), ex(rng));
    const std::string s = FloatToStr(v);
    const double back = std::strtod(s.c_str(), nullptr);
    EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << s;
    EXPECT_EQ(s.find(' '), std::string::npos);
  }
}

// Plain recursive matcher used as the reference.
bool RefMatch(const std::string& n, size_t i, const std::string& m, size_t j) {
  if (j == m.size()) return i == n.size();
  if (m[j] == '*') {
    for (size_t k = i; k <= n.size(); ++k)
      if (RefMatch(n, k, m, j + 1)) return true;
    return false;
  }
  if (i == n.size()) return false;
  if (m[j] == '?' || std::toupper(uint8_t(m[j])) == std::toupper(uint8_t(n[i])))
    return RefMatch(n, i + 1, m, j + 1);
  return false;
}

TEST(MatchesMask, Wildcards) {
  EXPECT_TRUE(MatchesMask("photo.BMP", "*.bmp"));
  EXPECT_TRUE(MatchesMask("PHOTO.bmp", "photo.*"));
  EXPECT_FALSE(MatchesMask("photo.bmpx", "*.bmp"));
  EXPECT_TRUE(MatchesMask("a1.txt", "a?.txt"));
  EXPECT_FALSE(MatchesMask("a.txt", "a?.txt"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_FALSE(MatchesMask("", "?"));
  EXPECT_TRUE(MatchesMask("", ""));
  EXPECT_FALSE(MatchesMask("x", ""));
  EXPECT_TRUE(MatchesMask("abcabcabd", "*abd"));
  // "?" takes one whole UTF-8 character.
  EXPECT_TRUE(MatchesMask("\xE7\x94\xBB.bmp", "?.bmp"));
  EXPECT_FALSE(MatchesMask("\xE7\x94\xBB.bmp", "???.bmp"));
  EXPECT_TRUE(MatchesMask("\xE7\x94\xBB\xE5\x83\x8F.bmp", "*\xE5\x83\x8F.bmp"));
}

TEST(MatchesMask, AgreesWithReferenceOnRandomPairs) {
  std::mt19937 rng(42);
  const std::string nameChars = "abAB.", maskChars = "abAB.*?";
  for (int t = 0; t < 20000; ++t) {
    std::string n, m;
    const int nl = int(rng() % 9), ml = int(rng() % 7);
    for (int i = 0; i < nl; ++i) n += nameChars[rng() % nameChars.size()];
    for (int i = 0; i < ml; ++i) m += maskChars[rng() % maskChars.size()];
    ASSERT_EQ(MatchesMask(n, m), RefMatch(n, 0, m, 0)) << n << " / " << m;
  }
}

TEST(MatchesMask, ManyStarsStayFast) {
  const std::string name(5000, 'a');
  EXPECT_FALSE(MatchesMask(name, "*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesMask(name + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kwplatformXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    dir_ += '/';
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  void Touch(const std::string& name, size_t bytes) {
    std::ofstream(dir_ + name, std::ios::binary) << std::string(bytes, 'x');
  }
  std::string dir_;
};

using FindFilesTest = TempDir;

TEST_F(FindFilesTest, MatchesInDirectoryOrderWithSizes) {
  Touch("a.bmp", 10);
  Touch("b.BMP", 20);
  Touch("c.txt", 5);
  Touch("noext", 1);
  ASSERT_TRUE(ForceDirectories(dir_ + "sub.bmp"));
  // The order the file system gives.
  std::vector<std::string> order;
  DIR* d = opendir(dir_.c_str());
  while (dirent* e = readdir(d)) order.push_back(e->d_name);
  closedir(d);

  const auto found = FindFiles(dir_ + "*.bmp");
  std::vector<std::string> expect;
  for (const auto& n : order)
    if (n == "a.bmp" || n == "b.BMP" || n == "sub.bmp") expect.push_back(n);
  ASSERT_EQ(found.size(), expect.size());
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].Name, expect[i]);
    if (found[i].Name == "a.bmp") {
      EXPECT_EQ(found[i].Size, 10);
    }
    if (found[i].Name == "b.BMP") {
      EXPECT_EQ(found[i].Size, 20);
    }
    EXPECT_EQ(found[i].Directory, found[i].Name == "sub.bmp");
    EXPECT_GT(found[i].Time, 0);
  }
}

TEST_F(FindFilesTest, StarDotStarFindsEverythingIncludingDots) {
  Touch("a.bmp", 1);
  Touch("noext", 1);
  std::set<std::string> names;
  for (const auto& r : FindFiles(dir_ + "*.*")) names.insert(r.Name);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.bmp", "noext"}));
  // "name.*" finds the name without extension too.
  const auto ne = FindFiles(dir_ + "NOEXT.*");
  ASSERT_EQ(ne.size(), 1u);
  EXPECT_EQ(ne[0].Name, "noext");
  EXPECT_TRUE(FindFiles(dir_ + "missing/*.*").empty());
  EXPECT_TRUE(FindFiles(dir_ + "*.png").empty());
  EXPECT_TRUE(FindFiles(dir_).empty());
}

using PathTest = TempDir;

TEST_F(PathTest, FileNameParts) {
  EXPECT_EQ(ExtractFileExt("/x/y/a.b.bmp"), ".bmp");
  EXPECT_EQ(ExtractFileExt("/x.y/noext"), "");
  EXPECT_EQ(ExtractFileExt("name."), ".");
  EXPECT_EQ(ExtractFileName("/x/y/a.bmp"), "a.bmp");
  EXPECT_EQ(ExtractFileName("a.bmp"), "a.bmp");
  EXPECT_EQ(ExtractFilePath("/x/y/a.bmp"), "/x/y/");
  EXPECT_EQ(ExtractFilePath("a.bmp"), "");
  EXPECT_EQ(ChangeFileExt("/x/y/a.bmp", ".ini"), "/x/y/a.ini");
  EXPECT_EQ(ChangeFileExt("/x.d/KW", ".ini"), "/x.d/KW.ini");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
}

TEST_F(PathTest, CreateTestAndDelete) {
  const std::string deep = dir_ + "p/q/r";
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep + "/"));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_FALSE(FileExists(deep));
  Touch("p/f.txt", 3);
  EXPECT_TRUE(FileExists(dir_ + "p/f.txt"));
  EXPECT_FALSE(ForceDirectories(dir_ + "p/f.txt/sub"));
  EXPECT_TRUE(DeleteFile(dir_ + "p/f.txt"));
  EXPECT_FALSE(FileExists(dir_ + "p/f.txt"));
  EXPECT_FALSE(DeleteFile(dir_ + "p/f.txt"));
  EXPECT_FALSE(ForceDirectories(""));
}

TEST(ProgramPaths, ExecutableDirAndOverride) {
  const std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(FileExists(dir + program_invocation_short_name));
  SetExecutableDir("/opt/kw");
  EXPECT_EQ(ExecutableDir(), "/opt/kw/");
  SetExecutableDir("");
  EXPECT_EQ(ExecutableDir(), dir);
}

TEST(ProgramPaths, LoggedOnUserIsTheEffectiveUser) {
  std::string expect;
  if (FILE* p = popen("id -un", "r")) {
    char buf[256] = {};
    if (fgets(buf, sizeof buf, p)) expect = buf;
    pclose(p);
  }
  while (!expect.empty() && (expect.back() == '\n' || expect.back() == '\r')) expect.pop_back();
  ASSERT_FALSE(expect.empty());
  EXPECT_EQ(LoggedOnUserName(), expect);
}

}  // namespace
