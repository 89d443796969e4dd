#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sysutils.h"
#include "procdef/multiuserini.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::string tempFile(const std::string& name, const std::string& content) {
  fs::path dir = fs::temp_directory_path() / ("kw_mui_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path p = dir / name;
  std::ofstream(p, std::ios::binary) << content;
  return p.string();
}
std::string slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

TEST(MultiUserIni, UserSectionWinsSharedSectionIsTheFallback) {
  std::string f = tempFile("a.ini",
                           "[Gamma]\r\nGamma=2\r\nColor=1\r\n[bob.Gamma]\r\nGamma=1.5\r\n");
  {
    TMultiUserIni ini(f, "bob");
    EXPECT_EQ(ini.UserPrefix(), "bob.");
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Gamma", "Gamma", 1.0), 1.5);
    EXPECT_TRUE(ini.ReadBool("Gamma", "Color", false));  // only in the shared section
    EXPECT_EQ(ini.ReadInteger("Gamma", "Missing", 77), 77);
    EXPECT_TRUE(ini.ValueExists("Gamma", "Gamma"));
    EXPECT_FALSE(ini.ValueExists("Gamma", "Color"));  // no fallback for existence
    EXPECT_FALSE(ini.IsModified());
    ini.WriteFloat("Gamma", "Gamma_R", 0.5);
    ini.WriteBool("Gamma", "Color", false);
    EXPECT_TRUE(ini.IsModified());
  }
  TMemIniFile plain(f);
  EXPECT_EQ(plain.ReadString("bob.Gamma", "Gamma_R", ""), "0.5");
  EXPECT_EQ(plain.ReadString("bob.Gamma", "Color", ""), "0");
  EXPECT_EQ(plain.ReadString("Gamma", "Color", ""), "1");  // shared section untouched
  EXPECT_FALSE(plain.ValueExists("Gamma", "Gamma_R"));
}

TEST(MultiUserIni, UnchangedFileIsNotRewritten) {
  std::string text = "; hand-written\r\n[Gamma]\r\nGamma=2\r\n";
  std::string f = tempFile("b.ini", text);
  {
    TMultiUserIni ini(f, "alice");
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Gamma", "Gamma", 1.0), 2.0);
  }
  EXPECT_EQ(slurp(f), text);
}

TEST(MultiUserIni, WithoutUserNameSectionsArePlain) {
  std::string f = tempFile("c.ini", "[Negative]\r\nShortCut=Ctrl+I\r\n");
  {
    TMultiUserIni ini(f, "");
    EXPECT_FALSE(ini.UsePrefix());
    EXPECT_EQ(ini.ReadString("Negative", "ShortCut", ""), "Ctrl+I");
    ini.DeleteKey("Negative", "ShortCut");
    EXPECT_TRUE(ini.IsModified());
  }
  TMemIniFile plain(f);
  EXPECT_FALSE(plain.ValueExists("Negative", "ShortCut"));
}

TEST(MultiUserIni, EraseAndDeleteActOnTheUsersSection) {
  std::string f = tempFile("d.ini", "[KWRGB]\r\nRed=2\r\n[eve.KWRGB]\r\nRed=3\r\nBlue=4\r\n");
  {
    TMultiUserIni ini(f, "eve");
    ini.DeleteKey("KWRGB", "Blue");
    EXPECT_FALSE(ini.ValueExists("KWRGB", "Blue"));
    ini.EraseSection("KWRGB");
    EXPECT_FALSE(ini.SectionExists("KWRGB"));
    EXPECT_DOUBLE_EQ(ini.ReadFloat("KWRGB", "Red", 1.0), 2.0);  // back to the shared value
  }
  TMemIniFile plain(f);
  EXPECT_TRUE(plain.SectionExists("KWRGB"));
  EXPECT_FALSE(plain.SectionExists("eve.KWRGB"));
}

TEST(MultiUserIni, MalformedValuesReadAsDefaultsAndWritingCanBeDisabled) {
  std::string text = "[KWBinClr]\r\nThreshold=abc\r\nThMode=0x\r\n\x01\x02garbage\r\n";
  std::string f = tempFile("e.ini", text);
  KWSetSettingsWritable(false);
  {
    TMultiUserIni ini(f, "bob");
    EXPECT_EQ(ini.ReadInteger("KWBinClr", "Threshold", 128), 128);
    EXPECT_EQ(ini.ReadInteger("KWBinClr", "ThMode", 0), 0);
    ini.WriteInteger("KWBinClr", "Threshold", 5);
  }
  KWSetSettingsWritable(true);
  EXPECT_EQ(slurp(f), text);
}

TEST(MultiUserIni, LoggedOnUserIsUsedByDefault) {
  std::string f = tempFile("f.ini", "");
  TMultiUserIni ini(f);
  std::string user = LoggedOnUserName();
  EXPECT_EQ(ini.UsePrefix(), !user.empty());
  if (!user.empty()) {
    EXPECT_EQ(ini.UserPrefix(), user + ".");
  }
}
