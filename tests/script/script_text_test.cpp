// Script text: reading and writing files, tokenizing lines, the log script.
#include <gtest/gtest.h>

#include "image/kwbitmap.h"
#include "script_test_support.h"

namespace {

std::vector<std::string> Lines(const TKWScript& s) {
  std::vector<std::string> v;
  for (int i = 0; i < s.Count(); ++i) v.push_back(s.Strings(i));
  return v;
}

std::vector<std::string> Tok(TKWScriptEngine& e, const std::string& line) {
  e.Tokenize(line);
  return {e.Tokens[0], e.Tokens[1], e.Tokens[2], e.Tokens[3]};
}

using V = std::vector<std::string>;

TEST(ScriptReading, SplitsAtEveryLineEndAndStopsAtNul) {
  TKWScript s;
  s.LoadFromText("a\r\nb\rc\nd");
  EXPECT_EQ(Lines(s), (V{"a", "b", "c", "d"}));
  s.LoadFromText("a\r\n\r\nb\r\n");
  EXPECT_EQ(Lines(s), (V{"a", "", "b"}));
  s.LoadFromText("\n\r\n");
  EXPECT_EQ(Lines(s), (V{"", ""}));
  s.LoadFromText(std::string("x\r\ny\0z\r\nw", 10));
  EXPECT_EQ(Lines(s), (V{"x", "y"}));
  s.LoadFromText("");
  EXPECT_EQ(s.Count(), 0);
  // A CR directly followed by LF is one line end, LF CR are two.
  s.LoadFromText("a\n\rb");
  EXPECT_EQ(Lines(s), (V{"a", "", "b"}));
}

TEST(ScriptReading, Utf8IsKeptAndShiftJisIsConverted) {
  TKWScript s;
  s.LoadFromText("STRING \"日本語\"\r\n");
  EXPECT_EQ(s.Strings(0), "STRING \"日本語\"");
  // "日本" in Shift-JIS: 93 FA 96 7B.
  s.LoadFromText("= S \"\x93\xFA\x96\x7B\"\r\nNEXT");
  EXPECT_EQ(Lines(s), (V{"= S \"日本\"", "NEXT"}));
  // A second byte 0x5C ("\") of a Shift-JIS character does not cut the text:
  // "表" is 95 5C.
  s.LoadFromText("\x95\x5C\"x\"");
  EXPECT_EQ(s.Strings(0), "表\"x\"");
  // A byte that is no Shift-JIS either becomes a replacement character.
  s.LoadFromText("a\xA0" "b");
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(s.Strings(0).front(), 'a');
  EXPECT_EQ(s.Strings(0).back(), 'b');
  // A leading byte-order mark is dropped.
  s.LoadFromText("\xEF\xBB\xBFVALUE X");
  EXPECT_EQ(s.Strings(0), "VALUE X");
}

TEST(ScriptReading, Utf8Validation) {
  EXPECT_TRUE(TKWScript::IsValidUtf8("plain"));
  EXPECT_TRUE(TKWScript::IsValidUtf8("\xE6\x97\xA5"));
  EXPECT_FALSE(TKWScript::IsValidUtf8("\xC0\x80"));          // overlong
  EXPECT_FALSE(TKWScript::IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(TKWScript::IsValidUtf8("\xE6\x97"));          // truncated
  EXPECT_FALSE(TKWScript::IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(ScriptFiles, WritesCrLfAfterEveryLineAndReadsBack) {
  TempDir dir;
  TKWScript s;
  s.Add("VALUE X");
  s.Add("");
  s.Add("= X 1");
  std::string path = dir.Path("out.kws");
  s.SaveToFile(path);
  std::ifstream f(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "VALUE X\r\n\r\n= X 1\r\n");
  EXPECT_EQ(Lines(TKWScript::CreateFromFile(path)), Lines(s));
}

TEST(ScriptFiles, MissingOrUnwritableFilesRaiseFileErrors) {
  TempDir dir;
  EXPECT_THROW(TKWScript::CreateFromFile(dir.Path("none.kws")), EInOutError);
  EXPECT_THROW(TKWScript::CreateFromFile(dir.Path("")), EInOutError);  // a folder
  TKWScript s;
  EXPECT_THROW(s.SaveToFile(dir.Path("no/such/folder.kws")), EInOutError);
}

TEST(Tokenizer, CutsAtBlanksAndTabsAndUpperCases) {
  TKWScriptEngine e(nullptr);
  EXPECT_EQ(Tok(e, "execfilter  NegativeColor\tcurimg"), (V{"EXECFILTER", "NEGATIVECOLOR", "CURIMG", ""}));
  EXPECT_EQ(Tok(e, "  \t  "), (V{"", "", "", ""}));
  EXPECT_EQ(Tok(e, ""), (V{"", "", "", ""}));
  EXPECT_EQ(Tok(e, "a b c d e f"), (V{"A", "B", "C", "D"}));
  EXPECT_EQ(Tok(e, "\tx\t"), (V{"X", "", "", ""}));
  // Full-width Latin letters are upper-cased as well; other text is kept.
  EXPECT_EQ(Tok(e, "ａｂ 日本"), (V{"ＡＢ", "日本", "", ""}));
}

TEST(Tokenizer, QuotedTokenIsLastAndKeepsItsLetters) {
  TKWScriptEngine e(nullptr);
  EXPECT_EQ(Tok(e, "open img \"C:\\My Pics\\a.bmp\" more words"),
            (V{"OPEN", "IMG", "\"C:\\My Pics\\a.bmp\"", ""}));
  EXPECT_EQ(Tok(e, "\"quoted\" x y"), (V{"\"quoted\"", "", "", ""}));
  EXPECT_EQ(Tok(e, "open i \"no end"), (V{"OPEN", "I", "\"no end", ""}));
  // A quote inside an unquoted token is an ordinary character.
  EXPECT_EQ(Tok(e, "a\"b c"), (V{"A\"B", "C", "", ""}));
  EXPECT_EQ(Tok(e, "x \""), (V{"X", "\"", "", ""}));
}

TEST(Tokenizer, KeywordLookupIgnoresCaseAndKnowsEveryAlias) {
  TKWScriptEngine e(nullptr);
  EXPECT_NE(e.LookupKeyword("add"), nullptr);
  EXPECT_EQ(e.LookupKeyword("ADD"), e.LookupKeyword("Add"));
  EXPECT_NE(e.LookupKeyword("ADD"), e.LookupKeyword("+"));  // one object per keyword
  EXPECT_NE(e.LookupKeyword("|"), nullptr);
  EXPECT_EQ(e.LookupKeyword("SAVEIMAGE"), nullptr);
  EXPECT_EQ(e.LookupKeyword("LOOP1:"), nullptr);
  EXPECT_EQ(e.LookupKeyword(""), nullptr);
  // Every keyword occurs once.
  TStringList& t = e.SecondKeywordTable();
  for (int i = 0; i < t.Count(); ++i)
    for (int j = i + 1; j < t.Count(); ++j) EXPECT_FALSE(SameText(t.Strings(i), t.Strings(j))) << t.Strings(i);
  EXPECT_EQ(t.Count(), 136);  // the language's 126 and 10 for command-line runs
  EXPECT_EQ(e.FirstKeywordTable().Count(), 31);
  // Argument kinds of a few rows.
  EXPECT_EQ(e.LookupKeyword("FOR")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akNumber, akNumber}));
  EXPECT_EQ(e.LookupKeyword("IFN")->ArgKinds, (std::array<TKWSArgKind, 3>{akBool, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("NOR")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akBool, akBool}));
  EXPECT_EQ(e.LookupKeyword("TIMEDLG")->ArgKinds, (std::array<TKWSArgKind, 3>{akNumber, akNone, akNone}));
  EXPECT_EQ(e.LookupKeyword("CALL")->ArgKinds, (std::array<TKWSArgKind, 3>{akString, akNone, akNone}));
  EXPECT_EQ(e.LookupKeyword("=")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akName, akNone}));
  EXPECT_EQ(e.LookupKeyword("SQRT")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akNumber, akNone}));
  EXPECT_EQ(e.LookupKeyword("LWHILE")->ArgKinds, (std::array<TKWSArgKind, 3>{akBool, akNone, akNone}));
}

TEST(Tokenizer, EngineFillsTablesItIsGiven) {
  TStringList first, second;
  {
    TKWScriptEngine e(nullptr, &first, &second);
    EXPECT_EQ(first.Count(), 31);
    EXPECT_EQ(second.Count(), 136);
    EXPECT_EQ(e.LookupKeyword("paste"), first.Objects(first.IndexOf("PASTE")));
    EXPECT_EQ(e.LookupKeyword("while"), second.Objects(second.IndexOf("WHILE")));
  }
  // The tables and their commands outlive the engine; their owner frees them.
  EXPECT_GT(second.Count(), 0);
  TKWScriptEngine::FreeKeywordTable(first);
  TKWScriptEngine::FreeKeywordTable(second);
  EXPECT_EQ(first.Count(), 0);
  EXPECT_EQ(second.Count(), 0);
}

// --- log script -------------------------------------------------------------

class LogFixture : public ::testing::Test {
 protected:
  std::vector<std::unique_ptr<TKWParamPack>> log;
  std::unique_ptr<TestFilter> filter = TKWProcessor::Create<TestFilter>();
};

TEST_F(LogFixture, EmptyLogGivesTheFourHeaderLines) {
  EXPECT_EQ(Lines(TKWScript::CreateLog(log)),
            (V{";====== Varoka Log Script ======", "", "Image CurrentImage", "CurImg CurrentImage"}));
}

TEST_F(LogFixture, OneFilterRunWithOneIntegerParameter) {
  class OneParam : public TKWBasicFilter {
   public:
    int32_t v = -42;
    void MakeList() override { AddParam("LEVEL", TKWParamType::ptInteger, &v); }
    void Filter(TBitmap*, TBitmap*) override {}
  };
  auto f = TKWProcessor::Create<OneParam>();
  f->Name = "NegativeColor";
  log.emplace_back(f->CreateParamPack());
  EXPECT_EQ(Lines(TKWScript::CreateLog(log)),
            (V{";====== Varoka Log Script ======", "", "Image CurrentImage", "CurImg CurrentImage", "", ";----",
               "", "Equal NegativeColor.LEVEL -42", "ExecFilter NegativeColor CurrentImage"}));
}

// A processor whose pack carries its own values, as the packages do.
class PackFilter : public TKWBasicFilter {
 public:
  struct Pack : TKWParamPack {
    using TKWParamPack::TKWParamPack;
    TestFilterSettings s;
  };
  TestFilterSettings cur;
  void MakeList() override {
    AddParam("FLAG", TKWParamType::ptBoolean, &cur.Flag);
    AddParam("LEVEL", TKWParamType::ptInteger, &cur.Level);
    AddParam("GAMMA", TKWParamType::ptSingle, &cur.Gamma);
    AddParam("RATIO", TKWParamType::ptDouble, &cur.Ratio);
    AddParam("TEXT", TKWParamType::ptString, &cur.Text);
  }
  TStringList* GetParams(TKWParamPack* p) override {
    if (p) cur = static_cast<Pack*>(p)->s;
    return &Params;
  }
  TKWParamPack* CreateParamPack() override {
    auto* p = new Pack(this);
    p->s = cur;
    return p;
  }
  void Filter(TBitmap*, TBitmap*) override {}
};

TEST_F(LogFixture, ParameterLinesByTypeAndPacksCopiedIntoTheProcessor) {
  auto f = TKWProcessor::Create<PackFilter>();
  f->Name = "Tone";
  f->cur = {7, 0.1f, 0.1, 1, "a b.c"};
  log.emplace_back(f->CreateParamPack());
  log.emplace_back(new TKWGenericParamPack("Undo CurrentImage"));
  f->cur = {-3, 1e20f, 1234567.5, 0, ""};
  log.emplace_back(f->CreateParamPack());
  f->cur = {};  // the current values are changed afterwards
  auto lines = Lines(TKWScript::CreateLog(log));
  V expected{";====== Varoka Log Script ======", "", "Image CurrentImage", "CurImg CurrentImage",
             "", ";----", "",
             "Equal Tone.FLAG True", "Equal Tone.LEVEL 7", "Equal Tone.GAMMA 0.100000001490116",
             "Equal Tone.RATIO 0.1", "Equal Tone.TEXT a b.c", "ExecFilter Tone CurrentImage",
             "", ";----", "", "Undo CurrentImage",
             "", ";----", "",
             "Equal Tone.FLAG False", "Equal Tone.LEVEL -3", "Equal Tone.GAMMA " + FloatToStr((double)1e20f),
             "Equal Tone.RATIO 1234567.5", "Equal Tone.TEXT ", "ExecFilter Tone CurrentImage"};
  EXPECT_EQ(lines, expected);
  // The processor holds the values of its last logged run.
  EXPECT_EQ(f->cur.Level, -3);
  EXPECT_EQ(f->cur.Ratio, 1234567.5);
}

TEST_F(LogFixture, MixerAndGeneratorEntries) {
  auto m = TKWProcessor::Create<TestMixer>();
  m->Name = "Overlap";
  m->Alpha = 5;
  auto* mp = static_cast<TKWMixerPack*>(m->CreateParamPack());
  mp->OriginX = -10;
  mp->OriginY = 20;
  mp->Flag = 3;
  log.emplace_back(mp);
  auto g = TKWProcessor::Create<TestGenerator>();
  g->Name = "Julia";
  g->Seed = 2.5;
  auto* gp = static_cast<TKWGeneratorPack*>(g->CreateParamPack());
  gp->Width = 640;
  gp->Height = 0;
  log.emplace_back(gp);
  auto lines = Lines(TKWScript::CreateLog(log));
  V tail(lines.begin() + 4, lines.end());
  EXPECT_EQ(tail, (V{"", ";----", "", "Equal Overlap.ALPHA 5", "Equal Mixer.Origin_X -10",
                     "Equal Mixer.Origin_Y 20", "Equal Mixer.Clipping True",
                     "ExecMixer Overlap CurrentImage CurrentImage", "", ";----", "", "Equal Julia.SEED 2.5",
                     "Equal Generator.Width 640", "Equal Generator.Height 0",
                     "ExecGenerator Julia CurrentImage"}));
  mp->Flag = 2;
  EXPECT_EQ(Lines(TKWScript::CreateLog(log))[10], "Equal Mixer.Clipping False");
}

}  // namespace
