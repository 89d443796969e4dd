// Scripts run with KW --run as whole processes: they open, process and save
// pictures, and the saved pixels are compared with values computed here.
#include "run_fixture.h"
#include "tests/proclib/geometry_reference.h"
#include "tests/proclib/julia_reference.h"

namespace {
using namespace kwrun;

TEST_F(RunFixture, FiltersWithParametersSetByNameGiveTheComputedPixels) {
  RandomPicture(P("in.bmp"), 37, 23, 1);
  Result r = Run(
      "IMAGE A\nOPEN A \"in.bmp\"\nEXECFILTER NegativeColor A\nSAVE A \"neg.bmp\"\nUNDO A\n"
      "execfilter grayscale a\nSAVE A \"gray.bmp\"\nUNDO A\n"
      "= KWRGB.RED 1.3\n= KWRGB.GREEN 0.5\n= KWRGB.BLUE 2\nFILTER KWRGB A\nSAVE A \"rgb.bmp\"\n"
      "VALUE W\nVALUE H\nWIDTH W A\nHEIGHT H A\nTIMEDLG 0\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  Picture in(P("in.bmp")), neg(P("neg.bmp")), gray(P("gray.bmp")), rgb(P("rgb.bmp"));
  ASSERT_EQ(neg.bmp.Width(), 37);
  ASSERT_EQ(gray.bmp.Height(), 23);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      const uint32_t p = in.at(x, y);
      EXPECT_EQ(neg.at(x, y) & 0xFFFFFF, ~p & 0xFFFFFF) << x << "," << y;
      const int g = Luminance(p);
      EXPECT_EQ(gray.at(x, y) & 0xFFFFFF, uint32_t(g * 0x010101)) << x << "," << y;
      const uint32_t q = rgb.at(x, y);
      EXPECT_EQ(R(q), Scale(1.3f, R(p)));
      EXPECT_EQ(G(q), Scale(0.5f, G(p)));
      EXPECT_EQ(B(q), Scale(2.0f, B(p)));
    }
  }
  ExpectProgramFolderUntouched();
}

TEST_F(RunFixture, LoopsOverFilesAndDocumentsWithNumberedResultsAndAlpha) {
  fs::create_directories(dir / "in");
  for (int i = 0; i < 3; ++i) RandomPicture(P("in/p" + std::to_string(i) + ".bmp"), 5 + i, 4, 10 + i);
  std::ofstream(dir / "in" / "notes.txt") << "not a picture";
  fs::create_directories(dir / "out");
  std::ofstream(dir / "out" / "r000.bmp") << "taken";
  Result r = Run(
      "STRING F\nIMAGE A\nVALUE N\nFINDFIRST F \"in/*.bmp\"\nOPEN A F\nFINDNEXT\n"
      "IMAGE I\nALLIMAGE I\n++ N\nCREATEALPHACHANNELBYVALUE I 300\nSAVENUM I \"out/r.bmp\"\n"
      "SAVEAC I \"out/alpha.bmp\"\nEXECFILTER NegativeColor I\nCLOSE I\nNEXTIMAGE\n"
      // Closing shifted the positions: one of three was skipped and is still open.
      "IMAGE J\nALLIMAGE J\n++ N\nVALUE W\nWIDTH W J\nEXECFILTER NegativeColor J\nCLOSE J\nNEXTIMAGE\n"
      "IMAGE K\nCURIMG K\nIFNOT TRUE END\nEND:\n");
  ASSERT_EQ(r.code, 0) << r.err;
  // Closing modified documents asks nothing.
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
  EXPECT_EQ(ReadAll(dir / "out" / "r000.bmp"), "taken");
  // The newest document comes first: p2, then (after p2 closed) p0 at position 1.
  const std::vector<std::pair<std::string, std::string>> saved = {{"r001.bmp", "in/p2.bmp"},
                                                                  {"r002.bmp", "in/p0.bmp"}};
  for (const auto& [out, src] : saved) {
    ASSERT_TRUE(fs::exists(dir / "out" / out)) << out;
    Picture o(P("out/" + out)), s(P(src));
    ASSERT_EQ(o.bmp.Width(), s.bmp.Width()) << out;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < o.bmp.Width(); ++x) {
        EXPECT_EQ(o.at(x, y) & 0xFFFFFF, s.at(x, y) & 0xFFFFFF);
        EXPECT_EQ(A(o.at(x, y)), 44);  // 300 keeps its low eight bits
      }
  }
  EXPECT_FALSE(fs::exists(dir / "out" / "r003.bmp"));
  Picture alpha(P("out/alpha.bmp"));
  EXPECT_EQ(alpha.at(2, 2) & 0xFFFFFF, 44u * 0x010101);
  ExpectProgramFolderUntouched();
}

TEST_F(RunFixture, DamagedFilesMissingFoldersAndUnknownExtensionsNeverCrash) {
  RandomPicture(P("in.bmp"), 9, 7, 3);
  std::string damaged = ReadAll(dir / "in.bmp").substr(0, 70);
  std::ofstream(dir / "damaged.bmp", std::ios::binary) << damaged;
  std::ofstream(dir / "junk.png", std::ios::binary) << "\x89PNG\r\n\x1a\nnot really";

  // A damaged file in OPEN ends the run with the reader's error.
  Result open = Run("IMAGE A\nOPEN A \"damaged.bmp\"\nSAVE A \"never.bmp\"");
  EXPECT_EQ(open.code, 1);
  EXPECT_FALSE(open.err.empty());
  EXPECT_FALSE(fs::exists(dir / "never.bmp"));

  // Into an open document and its alpha channel: reported, the run goes on
  // and the image is as it was.
  Result into = Run("IMAGE A\nOPEN A \"in.bmp\"\nOPENTOIMAGE A \"junk.png\"\nLOADAC A \"damaged.bmp\"\n"
                    "SAVE A \"same.bmp\"");
  EXPECT_EQ(into.code, 0) << into.err;
  EXPECT_NE(into.err.find("画像の読み込みに失敗しました。"), std::string::npos) << into.err;
  Picture in(P("in.bmp")), same(P("same.bmp"));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(same.at(x, y) & 0xFFFFFF, in.at(x, y) & 0xFFFFFF);

  // A folder that does not exist: the writer's error ends the run.
  Result missing = Run("IMAGE A\nOPEN A \"in.bmp\"\nSAVE A \"no/such/folder/x.bmp\"");
  EXPECT_EQ(missing.code, 1);
  EXPECT_FALSE(missing.err.empty());
  // An extension no writer takes is reported, not silently skipped.
  Result ext = Run("IMAGE A\nOPEN A \"in.bmp\"\nSAVE A \"x.xyz\"");
  EXPECT_EQ(ext.code, 1);
  EXPECT_FALSE(ext.err.empty());
  EXPECT_FALSE(fs::exists(dir / "x.xyz"));
  // A script error names its line.
  Result empty = Run("IMAGE A\nSAVE A \"x.bmp\"");
  EXPECT_EQ(empty.code, 1);
  EXPECT_EQ(empty.err, "画像変数が空です。\r\nAt \"SAVE A \"x.bmp\"\"\n");
  ExpectProgramFolderUntouched();
}

TEST_F(RunFixture, MixesAndGeneratedSizesReachTheDocuments) {
  RandomPicture(P("bg.bmp"), 20, 10, 7);
  RandomPicture(P("fg.bmp"), 6, 4, 8);
  // Mode 0 of the average mixer: the mean of background and foreground,
  // rounded down; the foreground at (3, 2) without clipping.
  Result r = Run("IMAGE A\nIMAGE B\nOPEN A \"bg.bmp\"\nOPEN B \"fg.bmp\"\n= AVERAGE.MODE 0\n"
                 "= MIXER.ORIGIN_X 3\n= MIXER.ORIGIN_Y 2\nEXECMIXER Average A B\nSAVE A \"mix.bmp\"\n"
                 "= MIXER.ORIGIN_X 0\n= MIXER.ORIGIN_Y 0\nEXECMIXER Average B B\nSAVE B \"self.bmp\"\n"
                 "= MIXER.ORIGIN_X 100\nEXECMIXER Average A B\nSAVE A \"nooverlap.bmp\"");
  ASSERT_EQ(r.code, 0) << r.err;
  Picture bg(P("bg.bmp")), fg(P("fg.bmp")), mix(P("mix.bmp")), self(P("self.bmp")), none(P("nooverlap.bmp"));
  ASSERT_EQ(mix.bmp.Width(), 20);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const uint32_t b = bg.at(x, y), m = mix.at(x, y);
      const bool inside = x >= 3 && x < 9 && y >= 2 && y < 6;
      if (!inside) {
        EXPECT_EQ(m & 0xFFFFFF, b & 0xFFFFFF) << x << "," << y;
        continue;
      }
      const uint32_t f = fg.at(x - 3, y - 2);
      EXPECT_EQ(R(m), (R(b) + R(f)) / 2) << x << "," << y;
      EXPECT_EQ(G(m), (G(b) + G(f)) / 2);
      EXPECT_EQ(B(m), (B(b) + B(f)) / 2);
      EXPECT_EQ(none.at(x, y) & 0xFFFFFF, m & 0xFFFFFF);  // no overlap: unchanged
    }
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(self.at(x, y) & 0xFFFFFF, fg.at(x, y) & 0xFFFFFF);
}

TEST_F(RunFixture, PolarTransformAndJuliaSetGiveWhatTheFormulasDefine) {
  // The picture comes from another program.
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && convert -size 48x36 gradient:red-blue -swirl 120 "
                         "-fill lime -draw 'circle 30,10 34,12' BMP3:in.bmp").c_str()),
            0);
  const std::string script =
      "IMAGE A\nOPEN A \"in.bmp\"\n"
      "= POLER.METHOD1P 1\n= POLER.A1P 0.01\nEXECFILTER Poler A\nSAVE A \"twist.bmp\"\nUNDO A\n"
      "= POLER.METHOD1P 0\n= POLER.METHOD2R 6\n= POLER.A2R 3\n= POLER.B2R 0.5\n"
      "EXECFILTER Poler A\nSAVE A \"ripple.bmp\"\nUNDO A\n"
      "= POLER.METHOD2R 1\n= POLER.A2R -0.5\n= POLER.ORIGINX 0.25\nEXECFILTER Poler A\nSAVE A \"zoom.bmp\"\n"
      "IMAGE J\n= GENERATOR.WIDTH 64\n= GENERATOR.HEIGHT 40\n= JULIA.METHOD 1\n= JULIA.C_REAL 1.2\n"
      "= JULIA.LIMIT 48\nEXECGENERATOR Julia J\nSAVE J \"julia.bmp\"\n";
  Result r = Run(script);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;

  Picture in(P("in.bmp"));
  kwlib::TKWPolerPack twist, ripple, zoom;
  twist.SetSlot(0, kwlib::psP, kwlib::TPolerSlot{0, 1, 0.01f, 1, 0, 0});
  ripple.SetSlot(1, kwlib::psR, kwlib::TPolerSlot{0, 6, 3, 0.5f, 0, 0});
  zoom.SetSlot(1, kwlib::psR, kwlib::TPolerSlot{0, 1, -0.5f, 0.5f, 0, 0});
  zoom.OriginX = 0.25f;
  for (auto [file, pack] : {std::pair{"twist.bmp", &twist}, {"ripple.bmp", &ripple}, {"zoom.bmp", &zoom}}) {
    TBitmap want;
    want.SetPixelFormat(pf32bit);
    want.SetSize(48, 36);
    kwref::Poler(*pack, in.bmp, want);
    Picture got(P(file));
    int bad = 0;
    for (int y = 0; y < 36; ++y)
      for (int x = 0; x < 48; ++x) bad += (got.at(x, y) & 0xFFFFFF) != (want.Row32(y)[x] & 0xFFFFFF);
    EXPECT_EQ(bad, 0) << file;
  }
  // The radial zoom doubles about the origin: the point 2 px right of it
  // shows the source 1 px right of it.
  EXPECT_EQ(Picture(P("zoom.bmp")).at(14, 18) & 0xFFFFFF, in.at(13, 18) & 0xFFFFFF);

  kwlib::TKWJuliaParam jp;
  jp.Method = 1;
  jp.C_Real = 1.2;
  jp.Limit = 48;
  const std::vector<uint32_t> want = kwref::Julia(jp, 64, 40);
  Picture julia(P("julia.bmp"));
  int bad = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) bad += (julia.at(x, y) & 0xFFFFFF) != want[size_t(y) * 64 + x];
  EXPECT_EQ(bad, 0);

  // One thread gives the same files byte for byte.
  const std::string twistMany = ReadAll(dir / "twist.bmp"), juliaMany = ReadAll(dir / "julia.bmp");
  Result one = Run(script, "KW_THREADS=1 ");
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(ReadAll(dir / "twist.bmp"), twistMany);
  EXPECT_EQ(ReadAll(dir / "julia.bmp"), juliaMany);
  ExpectProgramFolderUntouched();
}

TEST_F(RunFixture, FilterChainGivesTheSameBytesForEveryThreadCount) {
  // A photo-like picture from another program.
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && convert -size 301x203 gradient:orange-navy -swirl 200 "
                         "-fill white -draw 'circle 90,60 120,80' -seed 5 -attenuate 0.3 +noise Uniform "
                         "BMP3:in.bmp").c_str()),
            0);
  const std::string script =
      "IMAGE A\nOPEN A \"in.bmp\"\n"
      "= MEDIAN.RANGE 3\nEXECFILTER Median A\n"
      "= MASK.RANGE 1\n= MASK.OPERATION 3\nEXECFILTER Mask A\n"
      "= MASK.RANGE 3\n= MASK.OPERATION 5\n= MASK.MASK12 1.5\n= MASK.MASK33 2\n= MASK.MASK54 -0.75\n"
      "= MASK.DIVVALUE 2.5\n= MASK.SPRAY TRUE\n= MASK.SPRYPOWER 3\nEXECFILTER Mask A\n"
      "= MINMAX.MINMAX 1\n= MINMAX.RANGE 2\nEXECFILTER MinMax A\n"
      "= AFFINE.ROTATEANGLE 30\n= AFFINE.ZOOMRATE 1.3\n= AFFINE.ORIGINX 0.5\nEXECFILTER Affine A\n"
      "= AXISOPERATE.OPERATE 2\nEXECFILTER AxisOperate A\n= AXISOPERATE.OPERATE 0\nEXECFILTER AxisOperate A\n"
      "= HISTFLAT.METHOD 1\nEXECFILTER HistFlat A\n"
      "= RESIZE.METHOD 1\n= RESIZE.WIDTH 450\n= RESIZE.HEIGHT 97\nEXECFILTER Resize A\n"
      "SAVE A \"chain.bmp\"\n"
      "IMAGE B\n= GENERATOR.WIDTH 450\n= GENERATOR.HEIGHT 300\n= GRADATION.STYLE 1\n"
      "EXECGENERATOR Gradation B\n= MIXER.ORIGIN_X 0\n= MIXER.ORIGIN_Y 150\n= OVERLAP.G_SMOOTH TRUE\n"
      "EXECMIXER Overlap B A\nSAVE B \"mix.bmp\"\n";
  Result one = Run(script, "KW_THREADS=1 ");
  ASSERT_EQ(one.code, 0) << one.err;
  const std::string chain = ReadAll(dir / "chain.bmp"), mix = ReadAll(dir / "mix.bmp");
  ASSERT_EQ(Picture(P("chain.bmp")).bmp.Height(), 97);
  // Three threads from the settings, then every core.
  std::ofstream(dir / "prog" / "KW.ini") << "[Option]\nThreads=3\n";
  for (int run = 0; run < 2; ++run) {
    if (run == 1) fs::remove(dir / "prog" / "KW.ini");
    fs::remove(dir / "chain.bmp");
    fs::remove(dir / "mix.bmp");
    Result many = Run(script);
    ASSERT_EQ(many.code, 0) << many.err;
    EXPECT_EQ(ReadAll(dir / "chain.bmp"), chain) << "run " << run;
    EXPECT_EQ(ReadAll(dir / "mix.bmp"), mix) << "run " << run;
  }
}

TEST_F(RunFixture, ListShowsEveryProcessorOfThePackage) {
  const std::string cmd = "QT_QPA_PLATFORM=offscreen '" + kw.string() + "' --list > '" + P("list.txt") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string list = ReadAll(dir / "list.txt");
  std::vector<std::string> heads;
  std::istringstream lines(list);
  for (std::string l; std::getline(lines, l);)
    if (!l.empty() && l[0] != '\t') heads.push_back(l);
  ASSERT_EQ(heads.size(), 21u) << list;
  EXPECT_EQ(heads[12], "filter\tPoler\t極座標変形");
  EXPECT_EQ(heads[20], "generator\tJulia\tジュリア集合");
  std::string poler = "filter\tPoler\t極座標変形\n\tORIGINX\tsingle\n\tORIGINY\tsingle\n\tMOVEX\tsingle\n\tMOVEY\tsingle\n";
  for (int n = 1; n <= 5; ++n)
    for (const char* side : {"R", "P"}) {
      const std::string t = std::to_string(n) + side;
      poler += "\tVARIABLE" + t + "\tinteger\n\tMETHOD" + t + "\tinteger\n\tA" + t + "\tsingle\n\tB" + t +
               "\tsingle\n\tC" + t + "\tsingle\n\tD" + t + "\tsingle\n";
    }
  EXPECT_NE(list.find(poler + "filter\tGamma"), std::string::npos) << list;
  EXPECT_NE(list.find("generator\tJulia\tジュリア集合\n\tMETHOD\tinteger\n\tVISUALIZE_R\tinteger\n"
                      "\tVISUALIZE_G\tinteger\n\tVISUALIZE_B\tinteger\n\tLIMIT\tinteger\n\tC_REAL\tdouble\n"
                      "\tC_IMAGE\tdouble\n\tRANGE_LEFT\tdouble\n\tRANGE_RIGHT\tdouble\n\tRANGE_TOP\tdouble\n"
                      "\tRANGE_BOTTOM\tdouble\n\tINVERT_R\tboolean\n\tINVERT_G\tboolean\n\tINVERT_B\tboolean\n"),
            std::string::npos)
      << list;
}

}  // namespace
