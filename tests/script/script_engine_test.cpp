// The engine: argument conversion, processor parameters and the mixer and
// generator settings, messages and line suffixes, runs and tables.
#include <gtest/gtest.h>

#include "script_test_support.h"

namespace {

class Engine : public ScriptFixture, public ::testing::Test {};

TEST_F(Engine, EmptyScriptsAndNonCommandLinesRunWithoutEffect) {
  EXPECT_EQ(Error(""), "");
  EXPECT_EQ(Error("; comment\r\n\r\n  \t \r\nLOOP1:\r\nX = 5\r\nexecfiltre neg img\r\nSAVEIMAGE a \"b\""), "");
  EXPECT_EQ(last.valueCount, 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Engine, NumbersLiteralsVariablesAndSettings) {
  RunText("VALUE X\nVALUE Y\n= X 1.5E2\n= Y -.5\nVALUE Z\n= Z X\nVALUE 12\n= 12 7\nVALUE W\n= W 12");
  EXPECT_EQ(Value("X"), 150);
  EXPECT_EQ(Value("Y"), -0.5);
  EXPECT_EQ(Value("Z"), 150);
  EXPECT_EQ(Value("12"), 7);
  EXPECT_EQ(Value("W"), 12);  // a literal wins over a variable of the same spelling
  RunText("VALUE A\n= A +3.\nVALUE B\n= B 1e-400\nVALUE C\n= C 2.5e+1");
  EXPECT_EQ(Value("A"), 3);
  EXPECT_EQ(Value("B"), 0);
  EXPECT_EQ(Value("C"), 25);
  // Not literals: looked up as variables.
  EXPECT_EQ(Error("VALUE X\n= X 1e400"), "\"1E400\"は無効な識別子です。" + Suffix("= X 1e400"));
  EXPECT_EQ(Error("VALUE X\n= X INF"), "\"INF\"は無効な識別子です。" + Suffix("= X INF"));
  EXPECT_EQ(Error("VALUE X\n= X 1e"), "\"1E\"は無効な識別子です。" + Suffix("= X 1e"));
  EXPECT_EQ(Error("VALUE X\n= X 0x10"), "\"0X10\"は無効な識別子です。" + Suffix("= X 0x10"));
}

TEST_F(Engine, UnknownNameMessageCarriesTheLineAsWritten) {
  EXPECT_EQ(Error("VALUE X\n  = x abc\t"), "\"ABC\"は無効な識別子です。" + Suffix("  = x abc\t"));
  try {
    RunText("VALUE X\n= X abc");
    FAIL();
  } catch (const EKWSUnknownName&) {
  }
}

TEST_F(Engine, StringsQuotedWordsVariablesAndParameters) {
  RunText("STRING S\n= S hello\nSTRING T\n= T \"hello World\"\nSTRING U\n= U S\nSTRING V\n= V \"\"\nSTRING W\n= W \"x");
  EXPECT_EQ(Str("S"), "HELLO");
  EXPECT_EQ(Str("T"), "hello World");
  EXPECT_EQ(Str("U"), "HELLO");
  EXPECT_EQ(Str("V"), "");
  EXPECT_EQ(Str("W"), "");  // an unclosed quote loses its last character
  filter->Panel.Text = "from panel";
  RunText("STRING S\n= S neg.text\nSTRING T\n= T \"a.b\"");
  EXPECT_EQ(Str("S"), "from panel");
  EXPECT_EQ(Str("T"), "a.b");
  EXPECT_EQ(Error("STRING S\n= S neg.level"),
            "文字列が必要ですが\"NEG.LEVELは文字列型ではありません。" + Suffix("= S neg.level"));
}

TEST_F(Engine, BooleansAreNeverNumbers) {
  filter->Panel.Flag = 1;
  RunText("BOOL B\n= B TRUE\nBOOL C\n= C B\nBOOL D\n= D false");
  EXPECT_TRUE(Bool("B"));
  EXPECT_TRUE(Bool("C"));
  EXPECT_FALSE(Bool("D"));
  EXPECT_EQ(Error("BOOL B\n= B 1"), "\"1\"は無効な識別子です。" + Suffix("= B 1"));
  EXPECT_EQ(Error("BOOL B\n= B \"TRUE\""), "\"\"TRUE\"\"は無効な識別子です。" + Suffix("= B \"TRUE\""));
  EXPECT_EQ(Error("BOOL B\n= B neg.level"),
            "論理値が必要ですが\"NEG.LEVELは論理型ではありません。" + Suffix("= B neg.level"));
  RunText("BOOL B\n= B NEG.FLAG");
  EXPECT_TRUE(Bool("B"));
}

TEST_F(Engine, ParameterReferencesAndTheirErrors) {
  filter->Panel = {12, 0.1f, 2.25, 0, "t"};
  RunText("VALUE A\n= A neg.level\nVALUE B\n= B NEG.GAMMA\nVALUE C\n= C Neg.Ratio");
  EXPECT_EQ(Value("A"), 12);
  EXPECT_EQ(Value("B"), double(0.1f));
  EXPECT_EQ(Value("C"), 2.25);
  EXPECT_EQ(Error("VALUE A\n= A neg.flag"), "数値が必要ですが\"NEG.FLAGは数値型ではありません。" + Suffix("= A neg.flag"));
  EXPECT_EQ(Error("VALUE A\n= A abc.x"), "指定されたプロセッサ\"ABC\"は存在しません。" + Suffix("= A abc.x"));
  // A dot at the end: the processor exists, the empty parameter does not.
  EXPECT_EQ(Error("VALUE A\n= A NEG."),
            "プロセッサ\"NEG\"には\r\n指定されたパラメータ\"\"は存在しません。" + Suffix("= A NEG."));
  EXPECT_EQ(Error("VALUE A\n= A NEG.NOPE"),
            "プロセッサ\"NEG\"には\r\n指定されたパラメータ\"NOPE\"は存在しません。" + Suffix("= A NEG.NOPE"));
  // Split at the first dot only.
  EXPECT_EQ(Error("VALUE A\n= A NEG.A.B"),
            "プロセッサ\"NEG\"には\r\n指定されたパラメータ\"A.B\"は存在しません。" + Suffix("= A NEG.A.B"));
  // An unquoted file name is taken for a parameter reference.
  EXPECT_EQ(Error("STRING F\n= F C:\\A.BMP"),
            "指定されたプロセッサ\"C:\\A\"は存在しません。" + Suffix("= F C:\\A.BMP"));
  // Mixers and generators are found as well; the first entry of a name wins.
  RunText("VALUE A\n= A overlap.alpha\nVALUE B\n= B julia.seed");
  try {
    TKWParameter* p = engine.FindParameter("NEG", "LEVEL");
    EXPECT_EQ(p->ValuePtr, &filter->Cur.Level);
  } catch (...) {
    FAIL();
  }
}

TEST_F(Engine, AssigningParametersByType) {
  RunText("= NEG.LEVEL 2.5\n= NEG.GAMMA 0.1\n= NEG.RATIO 1e-3\n= NEG.FLAG TRUE\n= NEG.TEXT \"Mixed Case\"");
  EXPECT_EQ(filter->Cur.Level, 2);  // halves to even
  EXPECT_EQ(filter->Cur.Gamma, 0.1f);
  EXPECT_EQ(filter->Cur.Ratio, 1e-3);
  EXPECT_EQ(filter->Cur.Flag, 1);
  EXPECT_EQ(filter->Cur.Text, "Mixed Case");
  RunText("= NEG.LEVEL 3.5\n= NEG.TEXT word\n= NEG.LEVEL 4294967301");
  EXPECT_EQ(filter->Cur.Level, 5);  // low 32 bits of the rounded value
  EXPECT_EQ(filter->Cur.Text, "WORD");
  RunText("= NEG.LEVEL -2.5");
  EXPECT_EQ(filter->Cur.Level, -2);
}

TEST_F(Engine, BooleanParameterFailuresBecomeTheAssignmentMessage) {
  const std::string tail = "\"には\r\n指定された値";
  EXPECT_EQ(Error("= NEG.FLAG 1"),
            "論理型のパラメータ\"NEG.FLAG" + tail + "\"1\"は代入できません。" + Suffix("= NEG.FLAG 1"));
  EXPECT_EQ(Error("= NEG.FLAG yes"),
            "論理型のパラメータ\"NEG.FLAG" + tail + "\"YES\"は代入できません。" + Suffix("= NEG.FLAG yes"));
  try {
    RunText("= NEG.FLAG NEG.LEVEL");
    FAIL();
  } catch (const EKWSInvalidValue& e) {
    EXPECT_EQ(std::string(e.what()), "論理型のパラメータ\"NEG.FLAG" + tail + "\"NEG.LEVEL\"は代入できません。" +
                                         Suffix("= NEG.FLAG NEG.LEVEL"));
  }
  // Numeric parameters report the lookup's own error.
  EXPECT_EQ(Error("= NEG.LEVEL abc"), "\"ABC\"は無効な識別子です。" + Suffix("= NEG.LEVEL abc"));
  EXPECT_EQ(Error("= NEG.RATIO TRUE"), "\"TRUE\"は無効な識別子です。" + Suffix("= NEG.RATIO TRUE"));
  EXPECT_EQ(Error("= NOPE.X 1"), "指定されたプロセッサ\"NOPE\"は存在しません。" + Suffix("= NOPE.X 1"));
  EXPECT_EQ(Error("= NEG.X 1"), "プロセッサ\"NEG\"には\r\n指定されたパラメータ\"X\"は存在しません。" + Suffix("= NEG.X 1"));
}

TEST_F(Engine, ParameterCacheCopiesPanelValuesOnlyWhenTurningToAnotherProcessor) {
  filter->Panel.Level = 100;
  int before = filter->UpdateCount;
  RunText("= NEG.LEVEL 1\n= NEG.RATIO 2\n= NEG.TEXT x");
  EXPECT_EQ(filter->UpdateCount, before + 1);
  EXPECT_EQ(filter->Cur.Level, 1);
  EXPECT_EQ(filter->Cur.Ratio, 2);
  // The cache is kept between runs: still no fresh copy of the panel.
  RunText("= NEG.RATIO 3");
  EXPECT_EQ(filter->UpdateCount, before + 1);
  EXPECT_EQ(filter->Cur.Level, 1);
  // A -> B -> A: the second resolution of A copies the panel over the first assignment.
  RunText("= NEG.LEVEL 5\n= OVERLAP.ALPHA 9\n= NEG.RATIO 4");
  EXPECT_EQ(filter->UpdateCount, before + 2);
  EXPECT_EQ(filter->Cur.Level, 100);
  EXPECT_EQ(filter->Cur.Ratio, 4);
  EXPECT_EQ(mixer->Alpha, 9);
  // Unquoted names are upper-cased, so every spelling is the cached name.
  RunText("= neg.ratio 5\n= Neg.Level 6");
  EXPECT_EQ(filter->UpdateCount, before + 2);
}

TEST_F(Engine, MixerAndGeneratorSettings) {
  host.mixX = 11;
  host.mixY = -4;
  host.clip = true;
  RunText("VALUE F\n= F MIXER.FLAG\nVALUE X\n= X MIXER.ORIGIN_X\nBOOL C\n= C MIXER.CLIPPING");
  EXPECT_EQ(Value("F"), 1);
  EXPECT_EQ(Value("X"), 11);
  EXPECT_TRUE(Bool("C"));
  EXPECT_EQ(last.mixerY, -4);
  RunText("= MIXER.FLAG 6\n= MIXER.CLIPPING TRUE");
  EXPECT_EQ(last.mixerFlag, 7);
  RunText("= MIXER.FLAG 6\n= MIXER.CLIPPING TRUE\n= MIXER.CLIPPING FALSE");
  EXPECT_EQ(last.mixerFlag, 6);
  RunText("= MIXER.SOMETHING 5\n= GENERATOR.DEPTH 3\n= GENERATOR.WIDTH 640.5\n= GENERATOR.HEIGHT 481.5\n"
      "= MIXER.ORIGIN_X -3\n= MIXER.ORIGIN_Y 7");
  EXPECT_EQ(last.mixerFlag, 1);  // taken again from the mixer box
  EXPECT_EQ(last.genW, 640);
  EXPECT_EQ(last.genH, 482);
  EXPECT_EQ(last.mixerX, -3);
  EXPECT_EQ(last.mixerY, 7);
  // Exact upper case only: a quoted lower-case name is a processor name.
  EXPECT_EQ(Error("VALUE X\n= X \"mixer.flag\""),
            "指定されたプロセッサ\"\"mixer\"は存在しません。" + Suffix("= X \"mixer.flag\""));
  // A setting in the wrong kind of position is a processor reference.
  EXPECT_EQ(Error("VALUE X\n= X MIXER.CLIPPING"),
            "指定されたプロセッサ\"MIXER\"は存在しません。" + Suffix("= X MIXER.CLIPPING"));
  EXPECT_EQ(Error("= MIXER.CLIPPING 1"), "\"1\"は無効な識別子です。" + Suffix("= MIXER.CLIPPING 1"));
}

TEST_F(Engine, EveryRunStartsWithAFreshTable) {
  RunText("VALUE X\n= X 5");
  EXPECT_EQ(Error("= X 1"), "\"X\"は無効な識別子です。" + Suffix("= X 1"));
  RunText("VALUE X");
  EXPECT_EQ(Value("X"), 0);
}

TEST_F(Engine, ArgumentsAreConvertedInOrderBeforeTheCommand) {
  // Position 2 fails first although position 3 is wrong as well and the
  // result variable does not exist.
  EXPECT_EQ(Error("ADD R a b"), "\"A\"は無効な識別子です。" + Suffix("ADD R a b"));
  EXPECT_EQ(Error("VALUE A\nADD R A b"), "\"B\"は無効な識別子です。" + Suffix("ADD R A b"));
  EXPECT_EQ(Error("ADD R 1 2"), "\"R\"は数値変数ではありません。" + Suffix("ADD R 1 2"));
}

TEST_F(Engine, VariableKindsHaveSeparateNamesAndLimits) {
  RunText("VALUE N\nSTRING N\nBOOL N\nIMAGE N\n= N 3");
  EXPECT_EQ(Value("N"), 3);
  std::string text;
  for (int i = 0; i < 128; ++i) text += "IMAGE I" + std::to_string(i) + "\n";
  RunText(text);
  EXPECT_EQ(last.imageCount, 128);
  // The 129th fails.
  EXPECT_EQ(Error(text + "IMAGE TOO_MANY"), "画像変数の数が最大値を超えました。" + Suffix("IMAGE TOO_MANY"));
  std::string vals;
  for (int i = 0; i < 128; ++i) vals += "VALUE V" + std::to_string(i) + "\n";
  EXPECT_EQ(Error(vals + "VALUE X"), "数値変数の数が最大値を超えました。" + Suffix("VALUE X"));
  EXPECT_EQ(Error("STRING A\nSTRING a"), "文字列変数\"A\"は既に存在します。" + Suffix("STRING a"));
  EXPECT_EQ(Error("BOOL A\nBOOL A"), "論理変数\"A\"は既に存在します。" + Suffix("BOOL A"));
  EXPECT_EQ(Error("VALUE A\nVALUE A"), "数値変数\"A\"は既に存在します。" + Suffix("VALUE A"));
  EXPECT_EQ(Error("IMAGE A\nIMAGE A"), "画像変数\"A\"は既に存在します。" + Suffix("IMAGE A"));
}

TEST_F(Engine, EmptyAndQuotedNamesAreDefinedAsWritten) {
  RunText("IMAGE\nVALUE \"x y\"");
  EXPECT_EQ(last.imageCount, 1);
  EXPECT_TRUE(last.images.count(""));
  EXPECT_EQ(Value("\"x y\""), 0);
  // A quoted token ends the line: the value position of this assignment is empty.
  EXPECT_EQ(Error("VALUE \"x y\"\n= \"x y\" 4"), "\"\"は無効な識別子です。" + Suffix("= \"x y\" 4"));
  EXPECT_EQ(Error("VALUE\nVALUE"), "数値変数\"\"は既に存在します。" + Suffix("VALUE"));
}

TEST_F(Engine, ImageVariablesShareDocuments) {
  EXPECT_EQ(Error("IMAGE A\nVALUE B\n= B A"), "\"A\"は無効な識別子です。" + Suffix("= B A"));
  EXPECT_EQ(Error("IMAGE A\nIMAGE B\n= A C"), "\"C\"は無効な識別子です。" + Suffix("= A C"));
  RunText("IMAGE A\nIMAGE B\n= A B");
  EXPECT_EQ(last.images.at("A"), nullptr);
  EXPECT_EQ(Error("= Q 1"), "\"Q\"は無効な識別子です。" + Suffix("= Q 1"));
}

TEST_F(Engine, OtherErrorsPassWithoutSuffix) {
  EXPECT_EQ(Error("VALUE X\nDIV X 1 0"), EZeroDivide().what());
  try {
    RunText("VALUE X\nDIV X 1 0");
  } catch (const EKWSException&) {
    FAIL() << "arithmetic faults are not script errors";
  } catch (const EZeroDivide&) {
  }
}

}  // namespace
