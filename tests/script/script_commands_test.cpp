// Commands: arithmetic and functions, comparisons and logic, random numbers
// and timing, CALL, IF/IFNOT and the loops.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "script_test_support.h"

namespace {

class Commands : public ScriptFixture, public ::testing::Test {};

// --- arithmetic -------------------------------------------------------------

TEST_F(Commands, ArithmeticInPrefixForm) {
  RunText("VALUE X\nADD X 1 2\nVALUE S\nSUB S 1 2.5\nVALUE M\n* M -3 0.5\nVALUE D\n/ D 1 4\nVALUE I\n++ I\n++ I\n-- I\n"
      "VALUE A\n+ A X X");
  EXPECT_EQ(Value("X"), 3);
  EXPECT_EQ(Value("S"), -1.5);
  EXPECT_EQ(Value("M"), -1.5);
  EXPECT_EQ(Value("D"), 0.25);
  EXPECT_EQ(Value("I"), 1);
  EXPECT_EQ(Value("A"), 6);
}

TEST_F(Commands, ArithmeticErrorsAreRuntimeFaultsWithoutSuffix) {
  EXPECT_EQ(Error("VALUE X\nDIV X 1 0"), std::string(EZeroDivide().what()));
  EXPECT_EQ(Error("VALUE X\nDIV X 0 0"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nMOD X 1 0.4"), std::string(EDivByZero().what()));
  EXPECT_EQ(Error("VALUE X\nMUL X 1e300 1e300"), std::string(EOverflow().what()));
  EXPECT_EQ(Error("VALUE X\nSQRT X -1"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nLN X 0"), std::string(EZeroDivide().what()));
  EXPECT_EQ(Error("VALUE X\nLN X -1"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nLOG10 X 0"), std::string(EZeroDivide().what()));
  EXPECT_EQ(Error("VALUE X\nARCSIN X 1.5"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nARCCOS X -1.0001"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nEXP X 1000"), std::string(EOverflow().what()));
  EXPECT_EQ(Error("VALUE X\nCOSH X 1000"), std::string(EOverflow().what()));
  EXPECT_EQ(Error("VALUE X\nATANH X 1"), std::string(EZeroDivide().what()));
  EXPECT_EQ(Error("VALUE X\nACOSH X 0.5"), std::string(EInvalidOp().what()));
  EXPECT_EQ(Error("VALUE X\nSQR X 1e200"), std::string(EOverflow().what()));
  EXPECT_EQ(Error("VALUE X\nMOD X 1e19 3"), std::string(EInvalidOp().what()));  // beyond 64 bits
  // The name is checked before the arithmetic.
  EXPECT_EQ(Error("DIV X 1 0"), "\"X\"は数値変数ではありません。" + Suffix("DIV X 1 0"));
  EXPECT_EQ(Error("BOOL X\nSQRT X 4"), "\"X\"は数値変数ではありません。" + Suffix("SQRT X 4"));
}

TEST_F(Commands, ModRoundsBothOperandsAndKeepsTheDividendsSign) {
  RunText("VALUE A\nMOD A -7 2\nVALUE B\nMOD B 7.5 2\nVALUE C\nMOD C 7 -3\nVALUE D\nMOD D 2.5 2\nVALUE E\n% E 10 -1");
  EXPECT_EQ(Value("A"), -1);
  EXPECT_EQ(Value("B"), 0);  // 7.5 rounds to 8
  EXPECT_EQ(Value("C"), 1);
  EXPECT_EQ(Value("D"), 0);  // 2.5 rounds to 2
  EXPECT_EQ(Value("E"), 0);
  EXPECT_EQ(kws::Mod(-9223372036854775808.0, -1), 0);  // no trap for the smallest value
}

TEST_F(Commands, MathematicalFunctions) {
  RunText("VALUE A\nABS A -2.5\nVALUE S\nSIN S 0\nVALUE C\nCOS C 0\nVALUE T\nATAN T 1\nVALUE Q\nSQRT Q 2\n"
      "VALUE E\nEXP E 1\nVALUE L\nLOG L 2 1024\nVALUE P\nPOW P -2 3\nVALUE P2\nPOWER P2 2 -2\nVALUE P3\nPOWER P3 0 0\n"
      "VALUE P4\nPOWER P4 0 5\nVALUE P5\nPOWER P5 4 0.5\nVALUE R\nSQR R -3\nVALUE H\nASINH H 0\nVALUE G\nLOG10 G 1000");
  EXPECT_EQ(Value("A"), 2.5);
  EXPECT_EQ(Value("S"), 0);
  EXPECT_EQ(Value("C"), 1);
  EXPECT_EQ(Value("T"), double(std::atan(1.0L)));
  EXPECT_EQ(Value("Q"), std::sqrt(2.0));
  EXPECT_EQ(Value("E"), double(std::exp(1.0L)));
  EXPECT_NEAR(Value("L"), 10, 1e-15);
  EXPECT_EQ(Value("P"), -8);
  EXPECT_EQ(Value("P2"), 0.25);
  EXPECT_EQ(Value("P3"), 1);
  EXPECT_EQ(Value("P4"), 0);
  EXPECT_NEAR(Value("P5"), 2, 1e-15);
  EXPECT_EQ(Value("R"), 9);
  EXPECT_EQ(Value("H"), 0);
  EXPECT_NEAR(Value("G"), 3, 1e-15);
  // A negative base with a fractional exponent, and zero to a negative power.
  EXPECT_THROW(kws::Power(-8, 1.0 / 3), EInvalidOp);
  EXPECT_THROW(kws::Power(0, -1), EZeroDivide);
  EXPECT_THROW(kws::Power(10, 400), EOverflow);
  EXPECT_THROW(kws::Log(1, 5), EZeroDivide);
  EXPECT_THROW(kws::Log(-2, 5), EInvalidOp);
}

TEST_F(Commands, IntegralPowersMatchRepeatedMultiplication) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> base(-3, 3);
  std::uniform_int_distribution<int> expo(-40, 40);
  for (int k = 0; k < 2000; ++k) {
    double a = base(gen);
    int n = expo(gen);
    if (a == 0) continue;
    long double y = 1;
    for (int i = 0; i < std::abs(n); ++i) y *= a;
    if (n < 0) y = 1 / y;
    // Square-and-multiply and plain multiplication agree to extended precision.
    EXPECT_NEAR(kws::Power(a, n), double(y), std::fabs(double(y)) * 1e-15) << a << "^" << n;
  }
}

TEST_F(Commands, FactorialWrapsIn32Bits) {
  RunText("VALUE A\nFACT A 13\nVALUE B\nFACTRIAL B 0\nVALUE C\nFACT C -3\nVALUE D\nFACT D 12\nVALUE E\nFACT E 4.5");
  EXPECT_EQ(Value("A"), 1932053504);
  EXPECT_EQ(Value("B"), 1);
  EXPECT_EQ(Value("C"), 1);
  EXPECT_EQ(Value("D"), 479001600);
  EXPECT_EQ(Value("E"), 24);
  // The shortcut for large n gives what the plain product gives.
  for (int n = 1; n <= 200; ++n) {
    int32_t p = 1;
    for (int i = 2; i <= n; ++i) p = int32_t(uint32_t(p) * uint32_t(i));
    EXPECT_EQ(kws::Factorial(n), p) << n;
  }
  EXPECT_EQ(kws::Factorial(2147483647.0), 0);
  EXPECT_EQ(kws::Factorial(4294967296.0 + 5), 120);  // low 32 bits of the rounded value
}

// --- comparisons and logic ---------------------------------------------------

TEST_F(Commands, Comparisons) {
  RunText("BOOL E\n== E 1 1.0\nBOOL D\n<> D 1 2\nBOOL L\n> L 2 1\nBOOL S\n< S 2 1\nBOOL GE\n>= GE 2 2\nBOOL LE\n"
      "EVENSMALL LE 3 2\nBOOL N\n!= N 5 5\nBOOL B\nBIG B 1 2");
  EXPECT_TRUE(Bool("E"));
  EXPECT_TRUE(Bool("D"));
  EXPECT_TRUE(Bool("L"));
  EXPECT_FALSE(Bool("S"));
  EXPECT_TRUE(Bool("GE"));
  EXPECT_FALSE(Bool("LE"));
  EXPECT_FALSE(Bool("N"));
  EXPECT_FALSE(Bool("B"));
  EXPECT_EQ(Error("VALUE X\nEVEN X 1 1"), "\"X\"は論理変数ではありません。" + Suffix("EVEN X 1 1"));
}

TEST_F(Commands, Logic) {
  const char* ops[] = {"AND", "OR", "XOR", "NAND", "NOR"};
  for (int p = 0; p < 2; ++p) {
    for (int q = 0; q < 2; ++q) {
      std::string text = "BOOL P\nBOOL Q\n= P " + std::string(p ? "TRUE" : "FALSE") + "\n= Q " +
                         (q ? "TRUE" : "FALSE") + "\n";
      for (const char* op : ops) text += std::string("BOOL R") + op + "\n" + op + " R" + op + " P Q\n";
      text += "BOOL NP\n= NP P\n! NP\n";
      RunText(text);
      EXPECT_EQ(Bool("RAND"), p && q);
      EXPECT_EQ(Bool("ROR"), p || q);
      EXPECT_EQ(Bool("RXOR"), p != q);
      EXPECT_EQ(Bool("RNAND"), !(p && q));
      EXPECT_EQ(Bool("RNOR"), !(p || q));
      EXPECT_EQ(Bool("NP"), !p);
    }
  }
  RunText("BOOL R\n& R TRUE MIXER.CLIPPING\nBOOL S\n| S TRUE FALSE");
  EXPECT_FALSE(Bool("R"));
  EXPECT_TRUE(Bool("S"));
  // The vertical bar alone: the empty name is not a boolean variable.
  EXPECT_EQ(Error("|"), "\"\"は無効な識別子です。" + Suffix("|"));
  // With a boolean of the empty name the line computes that variable's OR.
  EXPECT_EQ(Error("BOOL\n|"), "");
  EXPECT_EQ(Error("VALUE N\nNOT N"), "\"N\"は論理変数ではありません。" + Suffix("NOT N"));
}

// --- random numbers, timing --------------------------------------------------

TEST_F(Commands, RandomNumbersStayInTheirRanges) {
  std::string text = "VALUE R\nVALUE F\nVALUE Z\nVALUE NEG\nVALUE I\nBOOL BAD\nBOOL T\n"
                     "FOR I 1 500\nRANDOM R 10 5\nFRANDOM F\nRANDOMINT Z 3 0\nRANDOMINT NEG 0 -3\n"
                     "< T R 10\n| BAD BAD T\n> T R 14\n| BAD BAD T\n< T F 0\n| BAD BAD T\n>= T F 1\n| BAD BAD T\n"
                     "<> T Z 3\n| BAD BAD T\n> T NEG 0\n| BAD BAD T\n< T NEG -2\n| BAD BAD T\n"
                     "VALUE FR\nMOD FR R 1\n<> T FR 0\n| BAD BAD T\nNEXT\n";
  // FR is defined inside the loop only once: define it before instead.
  text = "VALUE FR\n" + text.substr(0, text.find("VALUE FR\nMOD")) + "MOD FR R 1\n<> T FR 0\n| BAD BAD T\nNEXT\n";
  RunText(text);
  EXPECT_FALSE(Bool("BAD"));
}

TEST_F(Commands, RandomIntCoversItsRange) {
  std::string text = "VALUE R\nVALUE I\n";
  for (int k = 0; k < 5; ++k) text += "VALUE C" + std::to_string(k) + "\n";
  text += "BOOL T\nFOR I 1 400\nRANDOM R 10 5\n";
  for (int k = 0; k < 5; ++k)
    text += "== T R " + std::to_string(10 + k) + "\nIFNOT T N" + std::to_string(k) + "\n++ C" + std::to_string(k) +
            "\nN" + std::to_string(k) + ":\n";
  text += "NEXT\n";
  RunText(text);
  for (int k = 0; k < 5; ++k) EXPECT_GT(Value("C" + std::to_string(k)), 0) << k;
}

TEST_F(Commands, TickCountAndTimeDialog) {
  uint32_t before = GetTickCount();
  RunText("VALUE T\nTICK T\nTIMEDLG T");
  uint32_t after = GetTickCount();
  EXPECT_GE(Value("T"), before);
  EXPECT_LE(Value("T"), after);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].rfind("経過時間: ", 0), 0u);
  int ms = std::stoi(host.messages[0].substr(std::string("経過時間: ").size()));
  EXPECT_GE(ms, 0);
  EXPECT_LE(ms, int(after - before));
  EXPECT_EQ(host.messages[0].substr(host.messages[0].size() - 2), "ms");
  host.messages.clear();
  before = GetTickCount();
  RunText("TIMEDLG -1000.4");
  after = GetTickCount();
  const std::string& m = host.messages.at(0);
  ASSERT_EQ(m.rfind("経過時間: ", 0), 0u) << m;
  const int64_t shown = std::stoll(m.substr(std::string("経過時間: ").size()));
  EXPECT_GE(shown, int64_t(before) + 1000) << m;
  EXPECT_LE(shown, int64_t(after) + 1000) << m;
}

// --- CALL ---------------------------------------------------------------------

TEST_F(Commands, CallRunsAFileWithItsOwnTable) {
  TempDir dir;
  std::string sub = dir.File("sub.kws", "VALUE X\n= X 5\nTIMEDLG 0\n");
  RunText("VALUE X\n= X 1\nCALL \"" + sub + "\"\nVALUE Y\n= Y X");
  EXPECT_EQ(Value("Y"), 1);  // the callee's X was its own
  EXPECT_EQ(host.messages.size(), 1u);
  // The callee cannot see the caller's variables or close its loops.
  std::string bad = dir.File("bad.kws", "= X 2\n");
  EXPECT_EQ(Error("VALUE X\nCALL \"" + bad + "\""),
            "\"X\"は無効な識別子です。" + Suffix("= X 2") + Suffix("CALL \"" + bad + "\""));
  std::string next = dir.File("next.kws", "NEXT");
  EXPECT_EQ(Error("VALUE I\nFOR I 1 2\nCALL \"" + next + "\"\nNEXT"),
            "ForとNextが対応していません。" + Suffix("NEXT") + Suffix("CALL \"" + next + "\""));
}

TEST_F(Commands, ErrorInACalledScriptCarriesTwoSuffixes) {
  TempDir dir;
  std::string sub = dir.File("sub.kws", "; one\r\n; two\r\n  = y 1\r\n");
  std::string call = "call \"" + sub + "\"";
  EXPECT_EQ(Error("VALUE X\n" + call), "\"Y\"は無効な識別子です。" + Suffix("  = y 1") + Suffix(call));
  // Runtime faults of a called script keep no suffix at all.
  std::string div = dir.File("div.kws", "VALUE X\nDIV X 1 0\n");
  EXPECT_EQ(Error("CALL \"" + div + "\""), std::string(EZeroDivide().what()));
}

TEST_F(Commands, CallOfAMissingFile) {
  TempDir dir;
  std::string missing = dir.Path("none.kws");
  EXPECT_EQ(Error("CALL \"" + missing + "\""),
            "スクリプトファイル\"" + missing + "\"が見つかりません。" + Suffix("CALL \"" + missing + "\""));
  // A folder is not a script file; an unquoted name is upper-cased.
  EXPECT_EQ(Error("CALL \"" + dir.Path("") + "\""),
            "スクリプトファイル\"" + dir.Path("") + "\"が見つかりません。" + Suffix("CALL \"" + dir.Path("") + "\""));
  EXPECT_EQ(Error("CALL nothing"), "スクリプトファイル\"NOTHING\"が見つかりません。" + Suffix("CALL nothing"));
}

TEST_F(Commands, EndlessRecursionStopsAtAFixedDepth) {
  TempDir dir;
  std::string self = dir.Path("self.kws");
  std::string line = "CALL \"" + self + "\"";
  dir.File("self.kws", "VALUE N\n" + line + "\n");
  std::string msg = Error(line);
  std::string expected = "スクリプトの呼び出しが深すぎます。CALLのネストは64段までです。";
  // One suffix for each of the 64 runs, each stopped at its CALL line.
  for (int i = 0; i < kKWSMaxCallDepth; ++i) expected += Suffix(line);
  EXPECT_EQ(msg, expected);
  // The engine is usable afterwards.
  RunText("VALUE X\n= X 2");
  EXPECT_EQ(Value("X"), 2);
  EXPECT_EQ(engine.CallDepth(), 0);
  EXPECT_EQ(engine.Vars(), nullptr);
}

// --- IF / IFNOT ---------------------------------------------------------------

TEST_F(Commands, IfJumpsToTheFirstMatchingLabel) {
  RunText("VALUE X\nIF TRUE LOOP1\n= X 1\nloop1:\n++ X\nLOOP1:\n++ X\n++ X");
  EXPECT_EQ(Value("X"), 3);
  RunText("VALUE X\nIFNOT FALSE SKIP\n= X 100\nSKIP:\nIFNOT TRUE NOWHERE\nIF FALSE NOWHERE\n++ X");
  EXPECT_EQ(Value("X"), 1);
  // Backwards jumps loop.
  RunText("VALUE X\nBOOL B\nAGAIN:\n++ X\n< B X 5\nIF B AGAIN");
  EXPECT_EQ(Value("X"), 5);
}

TEST_F(Commands, IfLabelsAreCaseSensitiveAndMayComeFromStrings) {
  EXPECT_EQ(Error("IF TRUE \"loop1\"\nloop1:"), "ラベル\"loop1\"が見つかりません。" + Suffix("IF TRUE \"loop1\""));
  EXPECT_EQ(Error("IF TRUE L\nL :"), "ラベル\"L\"が見つかりません。" + Suffix("IF TRUE L"));
  // A string variable named like the label gives its value as the label.
  RunText("VALUE X\nSTRING L\n= L TARGET\nIF TRUE L\n= X 1\nL:\n= X 2\nTARGET:\n++ X");
  EXPECT_EQ(Value("X"), 1);
  // Only token 0 counts; a label inside a quoted token does not.
  EXPECT_EQ(Error("IF TRUE A\n\"A:\"\nX A:"), "ラベル\"A\"が見つかりません。" + Suffix("IF TRUE A"));
  EXPECT_EQ(Error("IF 1 A"), "\"1\"は無効な識別子です。" + Suffix("IF 1 A"));
}

// --- FOR / NEXT ---------------------------------------------------------------

TEST_F(Commands, ForRunsTheBodyWithEachValue) {
  RunText("VALUE I\nVALUE S\nVALUE N\nFOR I 1 3\nADD S S I\n++ N\nNEXT");
  EXPECT_EQ(Value("S"), 6);
  EXPECT_EQ(Value("N"), 3);
  EXPECT_EQ(Value("I"), 3);
  EXPECT_EQ(last.stackDepth, 0);
  RunText("VALUE I\nVALUE N\nFOR I 5 1\n++ N\nNEXT");
  EXPECT_EQ(Value("N"), 1);
  EXPECT_EQ(Value("I"), 5);
  RunText("VALUE I\nVALUE N\nFOR I 1 2.5\n++ N\nNEXT");
  EXPECT_EQ(Value("N"), 2);
  EXPECT_EQ(Value("I"), 2);
  RunText("VALUE I\nVALUE N\nFOR I 1 3\n++ N\n= I 10\nNEXT I ignored words");
  EXPECT_EQ(Value("N"), 1);
  EXPECT_EQ(Value("I"), 10);
  // The start value is rounded; the loop variable is read again at NEXT.
  RunText("VALUE I\nVALUE N\nFOR I 0.5 3\n++ N\nADD I I 0.4\nNEXT");
  EXPECT_EQ(Value("N"), 4);  // 0 -> 0.4 -> 1 -> 1.4 -> 2 ... rounded each time
}

TEST_F(Commands, ForUpToTheLargest32BitValueEnds) {
  RunText("VALUE I\nVALUE N\nFOR I 2147483646 2147483647\n++ N\nNEXT");
  EXPECT_EQ(Value("N"), 2);
  EXPECT_EQ(Value("I"), 2147483647);
}

TEST_F(Commands, NestedForLoopsAndTheirLimit) {
  RunText("VALUE I\nVALUE J\nVALUE N\nFOR I 1 3\nFOR J 1 4\n++ N\nNEXT\nNEXT");
  EXPECT_EQ(Value("N"), 12);
  auto nested = [](int n) {
    std::string t;
    for (int i = 0; i < n; ++i) t += "VALUE I" + std::to_string(i) + "\n";
    for (int i = 0; i < n; ++i) t += "FOR I" + std::to_string(i) + " 1 1\n";
    for (int i = 0; i < n; ++i) t += "NEXT\n";
    return t;
  };
  EXPECT_EQ(Error(nested(21)), "");
  EXPECT_EQ(Error(nested(22)),
            "スタックがオーバーフローしました。ループのネストが深すぎます。" + Suffix("FOR I21 1 1"));
}

TEST_F(Commands, NextWithoutMatchingFor) {
  EXPECT_EQ(Error("NEXT"), "ForとNextが対応していません。" + Suffix("NEXT"));
  EXPECT_EQ(Error("VALUE I\nFOR I 1 2\nWHILE TRUE\nNEXT"), "ForとNextが対応していません。" + Suffix("NEXT"));
  EXPECT_EQ(Error("FOR I 1 2"), "\"I\"は数値変数ではありません。" + Suffix("FOR I 1 2"));
  // A FOR left open at the end is discarded with the table.
  EXPECT_EQ(Error("VALUE I\nFOR I 1 2"), "");
}

// --- WHILE / UNTIL / LOOP -------------------------------------------------------

TEST_F(Commands, WhileAndUntilLoops) {
  RunText("VALUE X\nBOOL B\n= B TRUE\nWHILE B\n++ X\n< B X 4\nLOOP");
  EXPECT_EQ(Value("X"), 4);
  EXPECT_EQ(last.stackDepth, 0);
  RunText("VALUE X\nBOOL B\nUNTIL B\n++ X\n>= B X 3\nLOOP");
  EXPECT_EQ(Value("X"), 3);
}

TEST_F(Commands, FalseWhileSkipsPastItsLoopAndKeepsTheStack) {
  RunText("VALUE I\nVALUE X\nVALUE N\nBOOL B\nFOR I 1 2\nWHILE B\n= X 99\nWHILE TRUE\nLOOP\nUNTIL TRUE\nLOOP\nLOOP\n++ N\n"
      "NEXT");
  EXPECT_EQ(Value("X"), 0);
  EXPECT_EQ(Value("N"), 2);
  EXPECT_EQ(last.stackDepth, 0);
  // The search counts only WHILE, UNTIL and LOOP; REPEAT and FOR are ignored.
  RunText("VALUE X\nUNTIL TRUE\nREPEAT\nFOR X 1 1\nLOOP\n++ X");
  EXPECT_EQ(Value("X"), 1);
}

TEST_F(Commands, WhileWithoutLoop) {
  EXPECT_EQ(Error("VALUE X\nWHILE TRUE\n++ X"), "");  // entering works
  EXPECT_EQ(Error("WHILE FALSE\nWHILE TRUE\nLOOP"), "Wihleに対応するLoopが見つかりません。" + Suffix("WHILE FALSE"));
  EXPECT_EQ(Error("UNTIL TRUE\n\"LOOP\""), "Untilに対応するLoopが見つかりません。" + Suffix("UNTIL TRUE"));
  EXPECT_EQ(Error("LOOP"), "WhileまたはUntilとLoopが対応していません。" + Suffix("LOOP"));
  EXPECT_EQ(Error("REPEAT\nLOOP"), "WhileまたはUntilとLoopが対応していません。" + Suffix("LOOP"));
}

TEST_F(Commands, SixtyFourOneCellLoopsAtMost) {
  std::string t;
  for (int i = 0; i < 64; ++i) t += "WHILE TRUE\n";
  EXPECT_EQ(Error(t), "");
  EXPECT_EQ(Error(t + "UNTIL FALSE"), "スタックがオーバーフローしました。ループのネストが深すぎます。" + Suffix("UNTIL FALSE"));
  // Even a loop that would be skipped needs its cell.
  EXPECT_EQ(Error(t + "WHILE FALSE\nLOOP"),
            "スタックがオーバーフローしました。ループのネストが深すぎます。" + Suffix("WHILE FALSE"));
  std::string r;
  for (int i = 0; i < 65; ++i) r += "REPEAT\n";
  EXPECT_EQ(Error(r), "スタックがオーバーフローしました。ループのネストが深すぎます。" + Suffix("REPEAT"));
}

// --- REPEAT / LOOPWHILE / LOOPUNTIL -------------------------------------------

TEST_F(Commands, RepeatLoops) {
  RunText("VALUE X\nBOOL B\n= B TRUE\nREPEAT\n++ X\nLOOPUNTIL B");
  EXPECT_EQ(Value("X"), 1);
  RunText("VALUE X\nBOOL B\nREPEAT\n++ X\n< B X 5\nLWHILE B");
  EXPECT_EQ(Value("X"), 5);
  EXPECT_EQ(last.stackDepth, 0);
  RunText("VALUE X\nBOOL B\nREPEAT\n++ X\n>= B X 3\nLUNTIL B");
  EXPECT_EQ(Value("X"), 3);
  EXPECT_EQ(Error("LOOPWHILE TRUE"), "RepeatとLoopWhileが対応していません。" + Suffix("LOOPWHILE TRUE"));
  EXPECT_EQ(Error("WHILE TRUE\nLOOPUNTIL TRUE"), "RepeatとLoopUntilが対応していません。" + Suffix("LOOPUNTIL TRUE"));
  EXPECT_EQ(Error("REPEAT\nLOOPWHILE X"), "\"X\"は無効な識別子です。" + Suffix("LOOPWHILE X"));
}

TEST_F(Commands, MixedNestingIsChecked) {
  RunText("VALUE I\nVALUE N\nBOOL B\nFOR I 1 3\nREPEAT\n++ N\n>= B N 100\nLOOPUNTIL TRUE\nWHILE B\nLOOP\nNEXT");
  EXPECT_EQ(Value("N"), 3);
  EXPECT_EQ(Error("VALUE I\nREPEAT\nFOR I 1 2\nLOOPUNTIL TRUE"),
            "RepeatとLoopUntilが対応していません。" + Suffix("LOOPUNTIL TRUE"));
}

}  // namespace
