#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/inifile.h"
#include "platform/sysutils.h"
#include "platform/types.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TMemIniFile FromText(const std::string& text) {
  TMemIniFile ini("");
  ini.SetText(text);
  return ini;
}

TEST(IniParsing, SectionsAndKeysWithoutRegardToCaseFirstMatch) {
  auto ini = FromText(
      "; comment\r\n"
      "orphan=before any section\r\n"
      "[Option]\r\n"
      "  Width  =  640 \r\n"
      "width=800\r\n"
      "no equals sign here\r\n"
      "   ; indented comment\r\n"
      "Caption=a=b\r\n"
      "\r\n"
      "[ option ]\r\n"
      "Height=480\r\n"
      "[Other]\n"
      "k=\n");
  EXPECT_EQ(ini.ReadString("OPTION", "WIDTH", "?"), "640");
  EXPECT_EQ(ini.ReadString("option", "Caption", "?"), "a=b");
  // The duplicate section is kept but the first one answers.
  EXPECT_EQ(ini.ReadString("Option", "Height", "none"), "none");
  EXPECT_EQ(ini.ReadString("Other", "k", "def"), "");
  EXPECT_EQ(ini.ReadString("Other", "missing", "def"), "def");
  EXPECT_FALSE(ini.ValueExists("Option", "no equals sign here"));
  EXPECT_FALSE(ini.ValueExists("Option", "orphan"));
  TStringList keys;
  ini.ReadSection("option", keys);
  ASSERT_EQ(keys.Count(), 3);
  EXPECT_EQ(keys.Strings(0), "Width");
  EXPECT_EQ(keys.Strings(1), "width");
  EXPECT_EQ(keys.Strings(2), "Caption");
  TStringList secs;
  ini.ReadSections(secs);
  ASSERT_EQ(secs.Count(), 3);
  EXPECT_EQ(secs.Strings(1), "option");
  TStringList values;
  ini.ReadSectionValues("Other", values);
  ASSERT_EQ(values.Count(), 1);
  EXPECT_EQ(values.Strings(0), "k=");
}

TEST(IniParsing, ByteOrderMarkAndBinaryJunk) {
  auto ini = FromText("\xEF\xBB\xBF[S]\nkey=value\n");
  EXPECT_EQ(ini.ReadString("S", "key", ""), "value");

  std::mt19937 rng(3);
  for (int t = 0; t < 300; ++t) {
    std::string junk;
    const int n = int(rng() % 400);
    const char alphabet[] = {'[', ']', '=', ';', '\r', '\n', ' ', 'a', 'B', '\0', char(0xFF), char(0x80)};
    for (int i = 0; i < n; ++i)
      junk += (rng() % 3) ? alphabet[rng() % sizeof alphabet] : char(rng());
    TMemIniFile a("");
    a.SetText(junk);
    // Whatever was read, writing it out and reading that again is stable.
    const std::string once = a.Text();
    TMemIniFile b("");
    b.SetText(once);
    ASSERT_EQ(b.Text(), once);
  }
}

TEST(IniTypedValues, Integers) {
  auto ini = FromText(
      "[N]\ndec=123\nneg=-45\nplus=+7\nhex1=$1F\nhex2=0x1f\nhex3=0X1F\nall=$FFFFFFFF\n"
      "max=2147483647\nmin=-2147483648\nover=2147483648\nfrac=1.5\ntail=12a\nsp=1 2\n"
      "empty=\nbare=$\nbarex=0x\nlong=$100000000\n");
  EXPECT_EQ(ini.ReadInteger("N", "dec", 0), 123);
  EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -45);
  EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("N", "hex1", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "hex2", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "hex3", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "all", 0), -1);
  EXPECT_EQ(ini.ReadInteger("N", "max", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("N", "min", 0), -2147483647 - 1);
  for (const char* bad : {"over", "frac", "tail", "sp", "empty", "bare", "barex", "long", "missing"})
    EXPECT_EQ(ini.ReadInteger("N", bad, -99), -99) << bad;
}

TEST(IniTypedValues, BooleansAreIntegers) {
  auto ini = FromText("[B]\nzero=0\none=1\ntwo=2\nneg=-1\nword=true\n");
  EXPECT_FALSE(ini.ReadBool("B", "zero", true));
  EXPECT_TRUE(ini.ReadBool("B", "one", false));
  EXPECT_TRUE(ini.ReadBool("B", "two", false));
  EXPECT_TRUE(ini.ReadBool("B", "neg", false));
  EXPECT_TRUE(ini.ReadBool("B", "word", true));
  EXPECT_FALSE(ini.ReadBool("B", "word", false));
  EXPECT_TRUE(ini.ReadBool("B", "missing", true));
  ini.WriteBool("B", "w", true);
  EXPECT_EQ(ini.ReadString("B", "w", ""), "1");
  ini.WriteBool("B", "w", false);
  EXPECT_EQ(ini.ReadString("B", "w", ""), "0");
}

TEST(IniTypedValues, Floats) {
  auto ini = FromText(
      "[F]\na=1.5\nb=-2e3\nc=.25\nd=7\ncomma=1,5\nword=abc\ntail=1.5x\nnan=nan\ninf=inf\nempty=\n");
  EXPECT_EQ(ini.ReadFloat("F", "a", 0), 1.5);
  EXPECT_EQ(ini.ReadFloat("F", "b", 0), -2000.0);
  EXPECT_EQ(ini.ReadFloat("F", "c", 0), 0.25);
  EXPECT_EQ(ini.ReadFloat("F", "d", 0), 7.0);
  for (const char* bad : {"comma", "word", "tail", "nan", "inf", "empty", "missing"})
    EXPECT_EQ(ini.ReadFloat("F", bad, -3.25), -3.25) << bad;
  ini.WriteFloat("F", "w", 0.1);
  EXPECT_EQ(ini.ReadString("F", "w", ""), "0.1");
  ini.WriteFloat("F", "w", 1e-5);
  EXPECT_EQ(ini.ReadString("F", "w", ""), "1E-5");
  EXPECT_EQ(ini.ReadFloat("F", "w", 0), 1e-5);
  ini.WriteInteger("F", "i", -12);
  EXPECT_EQ(ini.ReadString("F", "i", ""), "-12");
}

// Typed reads and writes go through the virtual string operations.
class PrefixIni : public TMemIniFile {
 public:
  using TMemIniFile::TMemIniFile;
  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def) const override {
    return TMemIniFile::ReadString("u." + section, ident, def);
  }
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override {
    TMemIniFile::WriteString("u." + section, ident, value);
  }
};

TEST(IniTypedValues, TypedAccessUsesTheVirtualStringOperations) {
  PrefixIni ini("");
  ini.SetText("[S]\nn=1\n[u.S]\nn=2\nb=0\nf=2.5\n");
  EXPECT_EQ(ini.ReadInteger("S", "n", 0), 2);
  EXPECT_FALSE(ini.ReadBool("S", "b", true));
  EXPECT_EQ(ini.ReadFloat("S", "f", 0), 2.5);
  ini.WriteInteger("T", "i", 5);
  ini.WriteBool("T", "b", true);
  ini.WriteFloat("T", "f", 0.5);
  EXPECT_TRUE(ini.TMemIniFile::SectionExists("u.T"));
  EXPECT_FALSE(ini.TMemIniFile::SectionExists("T"));
  EXPECT_EQ(ini.TMemIniFile::ReadString("u.T", "f", ""), "0.5");
  EXPECT_EQ(ini.TMemIniFile::ReadString("u.T", "b", ""), "1");
}

TEST(IniEditing, ModifiedOnlyByRealChanges) {
  TMemIniFile fresh("/nonexistent/folder/x.ini");
  EXPECT_FALSE(fresh.Modified());
  // A loaded file starts unmodified.
  const std::string path = "/tmp/kw_ini_mod_" + std::to_string(getpid()) + ".ini";
  std::ofstream(path) << "[S]\r\nk=v\r\n";
  TMemIniFile loaded(path);
  EXPECT_FALSE(loaded.Modified());
  loaded.WriteString("s", "K", "v");
  EXPECT_FALSE(loaded.Modified());
  loaded.DeleteKey("S", "missing");
  loaded.DeleteKey("missing", "k");
  loaded.EraseSection("missing");
  EXPECT_FALSE(loaded.Modified());
  loaded.WriteString("S", "k", "w");
  EXPECT_TRUE(loaded.Modified());
  std::remove(path.c_str());
}

TEST(IniEditing, WriteDeleteEraseKeepOrder) {
  auto ini = FromText("[A]\nk1=1\nk2=2\nk3=3\n[B]\nx=1\n[a]\nk1=dup\n");
  ini.WriteString("a", "K2", "two");
  ini.WriteString("A", "k4", "4");
  ini.WriteString("C", "new", "n");
  ini.DeleteKey("A", "k1");
  EXPECT_EQ(ini.Text(),
            "[A]\r\nk2=two\r\nk3=3\r\nk4=4\r\n\r\n[B]\r\nx=1\r\n\r\n[a]\r\nk1=dup\r\n\r\n"
            "[C]\r\nnew=n\r\n\r\n");
  // Erasing removes the first of the duplicate sections; the second shows.
  ini.EraseSection("A");
  EXPECT_EQ(ini.ReadString("A", "k1", ""), "dup");
  EXPECT_TRUE(ini.SectionExists("a"));
  ini.EraseSection("A");
  EXPECT_FALSE(ini.SectionExists("a"));
}

TEST(IniEditing, LineBreaksInValuesCannotForgeLines) {
  TMemIniFile ini("");
  ini.WriteString("S", "k", "a\r\n[X]\r\nb=c");
  TMemIniFile back("");
  back.SetText(ini.Text());
  EXPECT_FALSE(back.SectionExists("X"));
  EXPECT_EQ(back.ReadString("S", "k", ""), "a  [X]  b=c");
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kwiniXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = std::string(tmpl) + "/";
  }
  void TearDown() override { std::system(("chmod -R u+w '" + dir_ + "'; rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

TEST_F(IniFileTest, UpdateFileWritesOnlyWhenModified) {
  const std::string path = dir_ + "KW.ini";
  std::ofstream(path, std::ios::binary) << "[Option]\nA=1\n";
  TMemIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Option", "A", 0), 1);
  // Someone else changes the file; an unmodified UpdateFile leaves it alone.
  std::ofstream(path, std::ios::binary) << "changed";
  ini.UpdateFile();
  EXPECT_EQ(ReadAll(path), "changed");
  ini.WriteInteger("Option", "B", 2);
  ini.UpdateFile();
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(ReadAll(path), "[Option]\r\nA=1\r\nB=2\r\n\r\n");
  EXPECT_FALSE(FileExists(path + ".tmp"));
  TMemIniFile again(path);
  EXPECT_EQ(again.ReadInteger("option", "b", 0), 2);
}

TEST_F(IniFileTest, UpdateFileFailureRaisesAndKeepsChanges) {
  TMemIniFile ini(dir_ + "missing/folder/x.ini");
  ini.WriteString("S", "k", "v");
  EXPECT_THROW(ini.UpdateFile(), EInOutError);
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
}

TEST_F(IniFileTest, WritableFileInReadOnlyFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  const std::string sub = dir_ + "ro/";
  ASSERT_TRUE(ForceDirectories(sub));
  std::ofstream(sub + "x.ini") << "[S]\nk=1\n";
  chmod(sub.c_str(), 0555);
  TMemIniFile ini(sub + "x.ini");
  ini.WriteString("S", "k", "2");
  ini.UpdateFile();
  EXPECT_EQ(ReadAll(sub + "x.ini"), "[S]\r\nk=2\r\n\r\n");
}

}  // namespace
