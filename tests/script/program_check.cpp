// What the assembled program promises, seen through KW --run: the image
// plug-ins of the program folder and of the user's plug-in folder read
// files made by another program, nothing that a processor or a command
// shows waits for a click, and no step makes an image vanish silently.
#include "run_fixture.h"

namespace {
using namespace kwrun;

bool HaveConvert() { return std::system("command -v convert > /dev/null 2>&1") == 0; }

void Convert(const std::string& args) {
  ASSERT_EQ(std::system(("convert " + args + " 2> /dev/null").c_str()), 0) << args;
}

TEST_F(RunFixture, PluginFormatsMadeByAnotherProgramOpen) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  // GIF from the program folder, PBM/PGM/PPM from the user's plug-in folder.
  fs::copy_file(fs::path(KW_BIN_DIR) / "ifgif.spi", dir / "prog" / "ifgif.spi");
  fs::create_directories(dir / "data" / "Varoka" / "Plugins");
  fs::copy_file(fs::path(KW_BIN_DIR) / "ifpnm.spi", dir / "data" / "Varoka" / "Plugins" / "ifpnm.spi");
  RandomPicture(P("src.bmp"), 37, 23, 5);
  const std::string src = P("src.bmp");
  const std::vector<std::pair<std::string, std::string>> made = {
      {"g1.gif", "-monochrome"},
      {"g8.gif", "-colors 64 -fill black -draw 'rectangle 0,0 9,9' -transparent black"},
      {"gi.gif", "-colors 128 -interlace GIF"},
      {"p.pbm", "-monochrome"},
      {"p.pgm", "-colorspace Gray"},
      {"p16.ppm", "-depth 16"}};
  std::string script = "IMAGE A\n";
  for (const auto& [file, how] : made) {
    Convert("'" + src + "' " + how + " '" + P(file) + "'");
    // ImageMagick's own reading of the file is the reference.
    Convert("'" + P(file) + "' -alpha off -type TrueColor 'BMP3:" + P(file + ".ref.bmp") + "'");
    script += "OPEN A \"" + file + "\"\nSAVE A \"" + file + ".out.bmp\"\nCLOSE A\n";
  }
  const std::string userData = "XDG_DATA_HOME='" + (dir / "data").string() + "' ";
  Result r = Run(script, userData);
  ASSERT_EQ(r.code, 0) << r.err;
  for (const auto& [file, how] : made) {
    Picture out(P(file + ".out.bmp")), ref(P(file + ".ref.bmp"));
    ASSERT_EQ(out.bmp.Width(), 37) << file;
    ASSERT_EQ(out.bmp.Height(), 23) << file;
    int differing = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        // The transparent corner of g8.gif comes in with alpha 0.
        if (file == "g8.gif" && x < 10 && y < 10) {
          EXPECT_EQ(A(out.at(x, y)), 0);
          continue;
        }
        differing += (out.at(x, y) & 0xFFFFFF) != (ref.at(x, y) & 0xFFFFFF);
      }
    EXPECT_EQ(differing, 0) << file;
  }
  // Without the user's plug-in folder nothing reads the PGM file.
  Result none = Run("IMAGE A\nOPEN A \"p.pgm\"\n", "XDG_DATA_HOME='" + (dir / "nothing").string() + "' ");
  EXPECT_EQ(none.code, 1);
  EXPECT_NE(none.err.find("認識できない画像形式です"), std::string::npos) << none.err;
}

TEST_F(RunFixture, MessagesOfProcessorsGoToTheStreamsAndTheRunGoesOn) {
  RandomPicture(P("in.bmp"), 16, 9, 2);
  // A shortcut the negative filter cannot take; a tone curve file that is
  // not one; and one that is not of the raw kind.
  std::ofstream(dir / "prog" / "ProcLib" / "KWPrcLib.ini") << "[Negative]\nShortCut=Ctrl+NoSuchKey\n";
  std::ofstream(dir / "bad.tc") << "something else\n";
  std::ofstream(dir / "cooked.tc") << "Varoka_tone_curve\nRGBColor,0\nRAW,0\nNumPoint_Y,0\nNumPoint_R,0\n"
                                      "NumPoint_G,0\nNumPoint_B,0\n";
  Result r = Run(
      "IMAGE A\nOPEN A \"in.bmp\"\n"
      "= AFFINE.ZOOMRATE 0.0\n= AFFINE.EXECZOOM TRUE\nEXECFILTER AFFINE A\nSAVE A \"affine.bmp\"\n"
      "= GAMMA.USETONEFILE TRUE\n= GAMMA.TONEFILENAME \"bad.tc\"\nEXECFILTER GAMMA A\n"
      "= GAMMA.TONEFILENAME \"cooked.tc\"\nEXECFILTER GAMMA A\nSAVE A \"gamma.bmp\"\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("ショートカットキーの割り当てに失敗しました。"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("逆行列を計算できません。"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("フォーマットが正しくありません。\r\nエラーが発生した行： something else"), std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("RAWモードのみサポートしております。"), std::string::npos) << r.out;
  Picture in(P("in.bmp")), affine(P("affine.bmp")), gamma(P("gamma.bmp"));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(affine.at(x, y) & 0xFFFFFF, in.at(x, y) & 0xFFFFFF);
      EXPECT_EQ(gamma.at(x, y) & 0xFFFFFF, in.at(x, y) & 0xFFFFFF);
    }
}

TEST_F(RunFixture, ResizeStartsAt640By480AndRefusesAnEmptyResult) {
  RandomPicture(P("in.bmp"), 8, 6, 4);
  Result r = Run("IMAGE A\nOPEN A \"in.bmp\"\nEXECFILTER RESIZE A\nSAVE A \"big.bmp\"\n"
                 "= RESIZE.WIDTH 0\nEXECFILTER RESIZE A\nSAVE A \"never.bmp\"\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("0 x 480"), std::string::npos) << r.err;
  Picture big(P("big.bmp"));
  EXPECT_EQ(big.bmp.Width(), 640);
  EXPECT_EQ(big.bmp.Height(), 480);
  EXPECT_FALSE(fs::exists(dir / "never.bmp"));
}

}  // namespace

namespace {
using namespace kwrun;

// A picture big enough for the history to go to disk (in the background) and
// for its PNG to be compressed in several bands: every undo step brings back
// exactly what was there, and the PNG decodes in other readers to the pixels.
TEST_F(RunFixture, BigPictureThroughDiskHistoryAndBandedPng) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  Convert("-seed 2 -size 1500x1100 plasma:fractal -type TrueColor 'BMP3:" + P("src.bmp") + "'");
  fs::create_directories(dir / "tmp");
  const std::string script =
      "IMAGE A\nOPEN A \"src.bmp\"\nSAVE A \"start.bmp\"\n"
      "EXECFILTER NegativeColor A\nEXECFILTER GrayScale A\nSAVE A \"mid.bmp\"\n"
      "EXECFILTER NegativeColor A\nEXECFILTER NegativeColor A\nEXECFILTER NegativeColor A\n"
      "EXECFILTER NegativeColor A\nSAVE A \"last.bmp\"\nSAVE A \"last.png\"\n"
      "UNDO A\nUNDO A\nUNDO A\nUNDO A\nSAVE A \"mid2.bmp\"\nUNDO A\nUNDO A\nSAVE A \"start2.bmp\"\n";
  Result r = Run(script, "TMPDIR='" + (dir / "tmp").string() + "' ");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadAll(dir / "start.bmp"), ReadAll(dir / "start2.bmp"));
  EXPECT_EQ(ReadAll(dir / "mid.bmp"), ReadAll(dir / "mid2.bmp"));
  EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "the swap folder is removed at the end";
  Convert("'" + P("last.png") + "' -type TrueColor 'BMP3:" + P("ref.bmp") + "'");
  Picture out(P("last.bmp")), ref(P("ref.bmp"));
  ASSERT_EQ(ref.bmp.Width(), 1500);
  ASSERT_EQ(ref.bmp.Height(), 1100);
  int differing = 0;
  for (int y = 0; y < 1100; ++y)
    for (int x = 0; x < 1500; ++x) differing += (out.at(x, y) & 0xFFFFFF) != (ref.at(x, y) & 0xFFFFFF);
  EXPECT_EQ(differing, 0);
  if (std::system("command -v pngcheck > /dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system(("pngcheck -q '" + P("last.png") + "' > /dev/null").c_str()), 0);
  }
}

}  // namespace
