// Document, processor, file and alpha-channel commands against a host whose
// documents are plain records: the order of the checks, the messages, the
// loops over files and documents, and what reaches the documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <typeinfo>

#include "platform/sysutils.h"
#include "script_test_support.h"

namespace {

struct FakeDoc {
  int id = 0;
  int width = 0, height = 0;
  bool open = true;
  std::vector<std::string> ops;  // what the host did to it, in order
};

TKWChild* H(FakeDoc* d) { return reinterpret_cast<TKWChild*>(d); }
FakeDoc* D(TKWChild* c) { return reinterpret_cast<FakeDoc*>(c); }

class DocHost : public TestHost {
 public:
  std::vector<std::unique_ptr<FakeDoc>> all;
  std::vector<FakeDoc*> order;  // open documents, the active one first
  TKWChild *selBg = nullptr, *selFg = nullptr;
  std::vector<std::string> refreshed;
  int nextId = 1;

  FakeDoc* Make(int w, int h) {
    all.push_back(std::make_unique<FakeDoc>());
    FakeDoc* d = all.back().get();
    d->id = nextId++;
    d->width = w;
    d->height = h;
    order.insert(order.begin(), d);
    return d;
  }
  static std::string Id(TKWChild* c) { return std::to_string(D(c)->id); }

  bool DocumentAlive(TKWChild* doc) override {
    return std::find(order.begin(), order.end(), D(doc)) != order.end();
  }
  TKWChild* ActiveDocument() override { return order.empty() ? nullptr : H(order.front()); }
  std::vector<TKWChild*> Documents() override {
    std::vector<TKWChild*> r;
    for (FakeDoc* d : order) r.push_back(H(d));
    return r;
  }
  void GetSelectedDocuments(TKWChild*& bg, TKWChild*& fg) override {
    bg = selBg;
    fg = selFg;
  }
  TKWChild* OpenDocument(const std::string& f) override {
    FakeDoc* d = Make(10, 20);
    d->ops.push_back("load " + f);
    return H(d);
  }
  TKWChild* CloneDocument(TKWChild* s) override {
    FakeDoc* d = Make(D(s)->width, D(s)->height);
    d->ops.push_back("clone of " + Id(s));
    return H(d);
  }
  TKWChild* GenerateDocument(TKWBasicGenerator* g, int w, int h) override {
    FakeDoc* d = Make(w, h);
    d->ops.push_back("generate " + g->Name + " " + std::to_string(w) + "x" + std::to_string(h));
    return H(d);
  }
  void CloseDocument(TKWChild* c) override {
    D(c)->open = false;
    order.erase(std::find(order.begin(), order.end(), D(c)));
  }
  int DocumentWidth(TKWChild* c) override { return D(c)->width; }
  int DocumentHeight(TKWChild* c) override { return D(c)->height; }
  void ApplyFilter(TKWChild* c, TKWBasicFilter* f) override { D(c)->ops.push_back("filter " + f->Name); }
  void ApplyMixer(TKWChild* bg, TKWChild* fg, TKWBasicMixer* m, int32_t x, int32_t y, bool clip) override {
    D(bg)->ops.push_back("mix " + m->Name + " fg " + Id(fg) + " at " + std::to_string(x) + "," +
                         std::to_string(y) + (clip ? " clip" : ""));
  }
  void SaveDocument(TKWChild* c, const std::string& f) override {
    D(c)->ops.push_back("save " + f);
    std::ofstream(f) << "x";
  }
  void OpenInto(TKWChild* c, const std::string& f) override { D(c)->ops.push_back("open into " + f); }
  void DocumentAction(TKWChild* c, TKWSDocAction a) override {
    D(c)->ops.push_back("action " + std::to_string(int(a)));
  }
  void CreateAlphaByValue(TKWChild* c, uint8_t v) override {
    D(c)->ops.push_back("alpha " + std::to_string(v));
  }
  void LoadAlpha(TKWChild* c, const std::string& f) override { D(c)->ops.push_back("load alpha " + f); }
  void SaveAlpha(TKWChild* c, const std::string& f) override { D(c)->ops.push_back("save alpha " + f); }
  void RefreshDocument(TKWChild* c) override { refreshed.push_back(Id(c)); }
  std::function<void()> onInfo;
  void ShowInformation(const std::string& text) override {
    if (onInfo) onInfo();
  }
};

class DocCommands : public ::testing::Test {
 protected:
  DocHost host;
  std::unique_ptr<TestFilter> filter = TKWProcessor::Create<TestFilter>();
  std::unique_ptr<TestMixer> mixer = TKWProcessor::Create<TestMixer>();
  std::unique_ptr<TestGenerator> generator = TKWProcessor::Create<TestGenerator>();
  TKWScriptEngine engine{&host};
  std::map<std::string, TKWChild*> images;
  std::map<std::string, std::string> strings;
  std::map<std::string, double> values;
  int depth = 0;
  bool findActive = false;

  DocCommands() {
    filter->Name = "NegativeColor";
    mixer->Name = "Overlap";
    generator->Name = "Julia";
    host.filters["NEG"] = host.filters["NEGATIVECOLOR"] = filter.get();
    host.mixers["OVERLAP"] = mixer.get();
    host.generators["JULIA"] = generator.get();
    engine.OnRunEnd = [this](const TKWScriptVariable& v) {
      if (engine.CallDepth() != 1) return;
      images.clear();
      for (int i = 0; i < v.ImageNames.Count(); ++i) images[v.ImageNames.Strings(i)] = v.Images[i];
      for (int i = 0; i < v.StringNames.Count(); ++i) strings[v.StringNames.Strings(i)] = v.Strings[i];
      for (int i = 0; i < v.ValueNames.Count(); ++i) values[v.ValueNames.Strings(i)] = v.Values[i];
      depth = v.StackDepth;
      findActive = v.FindActive != 0;
    };
  }
  void Run(const std::string& text) {
    TKWScript s;
    s.LoadFromText(text);
    engine.RunScript(s);
  }
  std::string Error(const std::string& text) {
    try {
      Run(text);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  FakeDoc* Img(const std::string& n) { return D(images.at(n)); }
};

const std::string kEmpty = "画像変数が空です。";

// --- keyword table ---------------------------------------------------------------

TEST(KeywordTable, AllRowsWithTheirAliasesAndTheDocumentCommandsInTheFirstTable) {
  // The rows of the language's keyword list: the aliases of one row share a
  // command class, different rows have different classes.
  const std::vector<std::vector<std::string>> rows = {
      {"IMAGE"}, {"VALUE"}, {"STRING", "STR"}, {"BOOL"}, {"EXECFILTER", "FILTER"},
      {"EXECMIXER", "MIXER", "MIX"}, {"EXECGENERATOR", "GENERATOR", "GENERATE", "GEN"},
      {"GETCURRENTIMAGE", "CURIMG"}, {"GETSELECTEDIMAGE", "SELIMG"}, {"EQUAL", "EQU", "="},
      {"ADD", "+"}, {"SUB", "-"}, {"MUL", "*"}, {"DIV", "/"}, {"MOD", "%"}, {"INC", "++"},
      {"DEC", "--"}, {"NOT", "!"}, {"AND", "&"}, {"OR", "|"}, {"XOR", "EXOR"}, {"NAND"}, {"NOR"},
      {"GETWIDTH", "WIDTH"}, {"GETHEIGHT", "HEIGHT"}, {"TICKCOUNT", "TICK"}, {"EVEN", "=="},
      {"DIFFERENT", "!=", "<>"}, {"LARGER", "LARGE", "BIGGER", "BIG", ">"}, {"SMALL", "SMALLER", "<"},
      {"EVENLARGE", ">="}, {"EVENSMALL", "<="}, {"ABS"}, {"SIN"}, {"COS"}, {"TAN"},
      {"ARCSIN", "ASIN"}, {"ARCCOS", "ACOS"}, {"ARCTAN", "ATAN"}, {"SINH"}, {"COSH"}, {"TANH"},
      {"ARCSINH", "ASINH"}, {"ARCCOSH", "ACOSH"}, {"ARCTANH", "ATANH"}, {"SQR"}, {"SQRT"}, {"EXP"},
      {"LN"}, {"LOG10"}, {"LOG"}, {"POWER", "POW"}, {"FACTRIAL", "FACT"}, {"RANDOMINT", "RANDOM"},
      {"RANDOMFLOAT", "FRANDOM"}, {"SAVENUM"}, {"CALL"}, {"IF"}, {"IFNOT", "IFN"}, {"FOR"}, {"NEXT"},
      {"WHILE"}, {"UNTIL"}, {"LOOP"}, {"REPEAT"}, {"LOOPWHILE", "LWHILE"}, {"LOOPUNTIL", "LUNTIL"},
      {"FINDFIRST", "FIND"}, {"FINDNEXT", "FNEXT"}, {"ALLIMAGE", "ALLIMG", "ALL"},
      {"NEXTIMAGE", "NEXTIMG"}, {"TIMEDLG"}, {"OPEN"}, {"SAVE"}, {"CLONE"}, {"CLOSE"}, {"UNDO"},
      {"REDO"}, {"COPYFROMIMAGE", "COPY"}, {"PASTETOIMAGE", "PASTE"}, {"OPENTOIMAGE", "OPENTO"},
      {"DISABLEALPHACHANNEL", "DISABLEAC", "CLEARAC"}, {"LOADTOALPHACHANNEL", "LOADAC"},
      {"SAVEALPHACHANNEL", "SAVEAC"}, {"CREATEALPHACHANNELBYVALUE", "VALUEAC"},
      {"CREATEALPHACHANNELFROMIMAGE", "IMAGEAC"}, {"CREATEALPHACHANNELBYHARF", "HARFAC"},
      {"INVERTALPHACHANNEL", "INVAC"}, {"COPYFROMALPHACHANNEL", "COPYAC"},
      {"PASTETOALPHACHANNEL", "PASTEAC"}};
  ASSERT_EQ(rows.size(), 90u);
  TKWScriptEngine e(nullptr);
  std::vector<std::string> all;
  std::set<std::string> classes;
  for (const auto& row : rows) {
    const TKWScriptCommand* primary = e.LookupKeyword(row[0]);
    ASSERT_NE(primary, nullptr) << row[0];
    EXPECT_TRUE(classes.insert(typeid(*primary).name()).second) << row[0];
    for (const std::string& k : row) {
      const TKWScriptCommand* c = e.LookupKeyword(k);
      ASSERT_NE(c, nullptr) << k;
      EXPECT_EQ(typeid(*c), typeid(*primary)) << k;
      EXPECT_EQ(c->ArgKinds, primary->ArgKinds) << k;
      all.push_back(k);
    }
  }
  EXPECT_EQ(all.size(), 157u);
  // The first table: the 31 keywords from OPEN on, in list order; the
  // second: the other 126 in list order.
  const auto open = std::find(all.begin(), all.end(), "OPEN");
  std::vector<std::string> first(open, all.end()), second(all.begin(), open);
  ASSERT_EQ(first.size(), 31u);
  for (int i = 0; i < 31; ++i) EXPECT_EQ(e.FirstKeywordTable().Strings(i), first[size_t(i)]);
  // After them, at the end of the second table, the commands that runs from
  // the command line use: arguments, folders, joined names.
  const std::vector<std::vector<std::string>> added = {
      {"GETARGUMENT", "ARGUMENT", "ARG"}, {"ARGUMENTCOUNT", "ARGCOUNT"}, {"GETFOLDER"},
      {"CONCAT", "STRCAT"}, {"MAKEFOLDER", "MKDIR"}};
  for (const auto& row : added) {
    EXPECT_TRUE(classes.insert(typeid(*e.LookupKeyword(row[0])).name()).second) << row[0];
    for (const std::string& k : row) {
      second.push_back(k);
      EXPECT_EQ(typeid(*e.LookupKeyword(k)), typeid(*e.LookupKeyword(row[0]))) << k;
    }
  }
  ASSERT_EQ(e.SecondKeywordTable().Count(), 136);
  for (int i = 0; i < 136; ++i) EXPECT_EQ(e.SecondKeywordTable().Strings(i), second[size_t(i)]);
  EXPECT_EQ(e.LookupKeyword("ARG")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akNumber, akNone}));
  EXPECT_EQ(e.LookupKeyword("GETFOLDER")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("CONCAT")->ArgKinds, (std::array<TKWSArgKind, 3>{akName, akString, akString}));
  EXPECT_EQ(e.LookupKeyword("MKDIR")->ArgKinds, (std::array<TKWSArgKind, 3>{akString, akNone, akNone}));
}

TEST(KeywordTable, ArgumentKindsOfTheDocumentCommands) {
  TKWScriptEngine e(nullptr);
  using K = std::array<TKWSArgKind, 3>;
  EXPECT_EQ(e.LookupKeyword("EXECFILTER")->ArgKinds, (K{akName, akImage, akNone}));
  EXPECT_EQ(e.LookupKeyword("CLONE")->ArgKinds, (K{akName, akImage, akNone}));
  EXPECT_EQ(e.LookupKeyword("WIDTH")->ArgKinds, (K{akName, akImage, akNone}));
  EXPECT_EQ(e.LookupKeyword("MIX")->ArgKinds, (K{akName, akImage, akImage}));
  EXPECT_EQ(e.LookupKeyword("GEN")->ArgKinds, (K{akName, akName, akNone}));
  EXPECT_EQ(e.LookupKeyword("SELIMG")->ArgKinds, (K{akName, akName, akNone}));
  EXPECT_EQ(e.LookupKeyword("CURIMG")->ArgKinds, (K{akName, akNone, akNone}));
  EXPECT_EQ(e.LookupKeyword("OPEN")->ArgKinds, (K{akName, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("FIND")->ArgKinds, (K{akName, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("SAVENUM")->ArgKinds, (K{akImage, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("LOADAC")->ArgKinds, (K{akImage, akString, akNone}));
  EXPECT_EQ(e.LookupKeyword("VALUEAC")->ArgKinds, (K{akImage, akNumber, akNone}));
  EXPECT_EQ(e.LookupKeyword("PASTEAC")->ArgKinds, (K{akImage, akNone, akNone}));
  EXPECT_EQ(e.LookupKeyword("CLOSE")->ArgKinds, (K{akName, akNone, akNone}));
  EXPECT_EQ(e.LookupKeyword("NEXTIMG")->ArgKinds, (K{akNone, akNone, akNone}));
}

// --- empty variables and the order of the checks ----------------------------------------

TEST_F(DocCommands, EveryImageArgumentRefusesAnEmptyVariable) {
  TempDir dir;
  const std::string f = dir.File("a.bmp", "x");
  for (const std::string& line : std::vector<std::string>{
        "SAVE A \"out.bmp\"", "SAVENUM A \"out.bmp\"", "UNDO A", "REDO A", "COPY A", "PASTE A",
        "OPENTO A \"" + f + "\"", "OPENTO A \"/no/such/file\"", "CLEARAC A", "LOADAC A \"x.bmp\"",
        "SAVEAC A \"x.bmp\"", "VALUEAC A 5", "IMAGEAC A", "HARFAC A", "INVAC A", "COPYAC A",
        "PASTEAC A", "EXECFILTER NEG A", "EXECMIXER OVERLAP A A", "CLOSE A", "VALUE W\nWIDTH W A",
        "VALUE W\nHEIGHT W A"}) {
    const std::string last = line.substr(line.rfind('\n') + 1);
    EXPECT_EQ(Error("IMAGE A\n" + line), kEmpty + Suffix(last)) << line;
  }
  EXPECT_TRUE(host.all.empty());  // nothing was done to any document
}

TEST_F(DocCommands, ChecksComeInTheirOrder) {
  // A mixer's name given to EXECFILTER: the filter message, although the
  // processor exists and the variable is empty.
  EXPECT_EQ(Error("IMAGE A\nEXECFILTER Overlap A"),
            "フィルタ\"OVERLAP\"は存在しません。" + Suffix("EXECFILTER Overlap A"));
  EXPECT_EQ(Error("IMAGE A\nEXECMIXER NEG A A"), "ミキサー\"NEG\"は存在しません。" + Suffix("EXECMIXER NEG A A"));
  EXPECT_EQ(Error("EXECGENERATOR NEG X"), "ジェネレータ\"NEG\"は存在しません。" + Suffix("EXECGENERATOR NEG X"));
  EXPECT_EQ(Error("EXECGENERATOR JULIA X"), "\"X\"は画像変数ではありません。" + Suffix("EXECGENERATOR JULIA X"));
  // The number variable before the empty image.
  EXPECT_EQ(Error("IMAGE A\nGETWIDTH W A"), "\"W\"は数値変数ではありません。" + Suffix("GETWIDTH W A"));
  // An undefined image name fails in the conversion, before the command.
  EXPECT_EQ(Error("EXECFILTER NOSUCH B"), "\"B\"は無効な識別子です。" + Suffix("EXECFILTER NOSUCH B"));
  EXPECT_EQ(Error("GETCURRENTIMAGE X"), "\"X\"は無効な識別子です。" + Suffix("GETCURRENTIMAGE X"));
  EXPECT_EQ(Error("IMAGE A\nSELIMG X A"), "\"X\"は画像変数ではありません。" + Suffix("SELIMG X A"));
  EXPECT_EQ(Error("IMAGE A\nSELIMG A Y"), "\"Y\"は画像変数ではありません。" + Suffix("SELIMG A Y"));
  EXPECT_EQ(Error("OPEN X \"a.bmp\""), "\"X\"は画像変数ではありません。" + Suffix("OPEN X \"a.bmp\""));
  EXPECT_EQ(Error("IMAGE A\nCLONE X A"), "\"X\"は画像変数ではありません。" + Suffix("CLONE X A"));
  EXPECT_EQ(Error("IMAGE A\nCLONE A A"),
            kEmpty + "\r\n複製元を第2パラメータに指定してください。" + Suffix("CLONE A A"));
  EXPECT_EQ(Error("CLOSE X"), "\"X\"は画像変数ではありません。" + Suffix("CLOSE X"));
  EXPECT_EQ(Error("ALLIMAGE X"), "\"X\"は画像変数ではありません。" + Suffix("ALLIMAGE X"));
  EXPECT_EQ(Error("FINDFIRST X \"*\""), "\"X\"は文字列変数ではありません。" + Suffix("FINDFIRST X \"*\""));
  EXPECT_TRUE(host.all.empty());
}

TEST_F(DocCommands, OpenNeedsAnExistingFile) {
  TempDir dir;
  const std::string missing = dir.Path("missing.bmp");
  EXPECT_EQ(Error("IMAGE A\nOPEN A \"" + missing + "\""),
            "ファイルが存在しません。\r\n\"" + missing + "\"" + Suffix("OPEN A \"" + missing + "\""));
  // A folder is not a file.
  const std::string folder = dir.Path("");
  EXPECT_EQ(Error("IMAGE A\nOPEN A \"" + folder + "\"").rfind("ファイルが存在しません。\r\n\"", 0), 0u);
  EXPECT_TRUE(host.all.empty());
  const std::string f = dir.File("a.bmp", "x");
  Run("IMAGE A\nOPEN A \"" + f + "\"\nIMAGE B\nOPENTO A \"" + f + "\"");
  EXPECT_EQ(Img("A")->ops, (std::vector<std::string>{"load " + f, "open into " + f}));
  EXPECT_EQ(host.refreshed, (std::vector<std::string>{"1", "1"}));
  // OPENTOIMAGE checks the file after the image.
  EXPECT_EQ(Error("IMAGE A\nCURIMG A\nOPENTO A \"" + missing + "\""),
            "ファイルが存在しません。\r\n\"" + missing + "\"" + Suffix("OPENTO A \"" + missing + "\""));
}

// --- processors --------------------------------------------------------------------------

TEST_F(DocCommands, ProcessorsRunOnTheirDocumentsWithTheRunsSettings) {
  host.mixX = 5;
  host.mixY = -3;
  host.clip = true;
  FakeDoc* bg = host.Make(100, 50);
  FakeDoc* fg = host.Make(10, 10);
  Run("IMAGE B\nIMAGE X\nCURIMG B\nSELIMG B X");
  EXPECT_EQ(images["B"], nullptr);  // the box chose nothing
  EXPECT_EQ(images["X"], nullptr);
  host.selBg = H(bg);
  host.selFg = H(fg);
  Run("IMAGE B\nIMAGE F\nSELIMG B F\nexecfilter neg b\nFILTER NegativeColor F\nMIX overlap B F\n"
      "= MIXER.ORIGIN_X 7\n= MIXER.CLIPPING FALSE\nEXECMIXER OVERLAP B B\n"
      "= GENERATOR.WIDTH 32\n= GENERATOR.HEIGHT 16.5\nIMAGE G\nGEN JULIA G\nVALUE W\nVALUE HH\nWIDTH W G\nHEIGHT HH G");
  EXPECT_EQ(bg->ops, (std::vector<std::string>{"filter NegativeColor", "mix Overlap fg 2 at 5,-3 clip",
                                               "mix Overlap fg 1 at 7,-3"}));
  EXPECT_EQ(fg->ops, (std::vector<std::string>{"filter NegativeColor"}));
  EXPECT_EQ(Img("G")->ops, (std::vector<std::string>{"generate Julia 32x16"}));  // 16.5 rounds to 16
  EXPECT_EQ(values["W"], 32);
  EXPECT_EQ(values["HH"], 16);
  EXPECT_EQ(host.refreshed, (std::vector<std::string>{"1", "2", "1", "1", "3"}));
  EXPECT_EQ(host.ActiveDocument(), images["G"]);  // the generated document is the active one
}

TEST_F(DocCommands, LogScriptReplaysOnTheActiveDocument) {
  FakeDoc* doc = host.Make(8, 8);
  generator->Seed = 0;
  Run(";====== Varoka Log Script ======\n\nImage CurrentImage\nCurImg CurrentImage\n\n;----\n\n"
      "Equal NegativeColor.LEVEL 3\nExecFilter NegativeColor CurrentImage\n\n;----\n\n"
      "SaveImage CurrentImage \"/x/y.bmp\"\n\n;----\n\nUndo CurrentImage\n\n;----\n\n"
      "Equal Generator.Width 4\nEqual Generator.Height 2\nExecGenerator Julia CurrentImage\n\n;----\n\n"
      "ExecFilter NegativeColor CurrentImage\nCreateAlphaChannelByValue CurrentImage 200");
  EXPECT_EQ(filter->Cur.Level, 3);
  EXPECT_EQ(doc->ops, (std::vector<std::string>{"filter NegativeColor", "action 0"}));
  FakeDoc* gen = Img("CURRENTIMAGE");
  EXPECT_NE(gen, doc);
  EXPECT_EQ(gen->ops, (std::vector<std::string>{"generate Julia 4x2", "filter NegativeColor", "alpha 200"}));
}

// --- documents ----------------------------------------------------------------------------

TEST_F(DocCommands, AlphaValueIsRoundedToItsLowEightBits) {
  host.Make(4, 4);
  Run("IMAGE A\nCURIMG A\nVALUEAC A 300\nCREATEALPHACHANNELBYVALUE A -1\nVALUEAC A 2.5\nVALUEAC A 255.5\n"
      "VALUEAC A 256");
  EXPECT_EQ(Img("A")->ops,
            (std::vector<std::string>{"alpha 44", "alpha 255", "alpha 2", "alpha 0", "alpha 0"}));
  EXPECT_EQ(Error("IMAGE A\nCURIMG A\nVALUEAC A 1e30"), std::string(EInvalidOp().what()));
}

TEST_F(DocCommands, ActionsReachTheirDocument) {
  host.Make(4, 4);
  Run("IMAGE A\nCURIMG A\nUNDO A\nREDO A\nCOPY A\nPASTE A\nCLEARAC A\nINVAC A\nIMAGEAC A\nHARFAC A\n"
      "COPYAC A\nPASTEAC A\nLOADAC A \"in.bmp\"\nSAVEAC A \"out.bmp\"");
  std::vector<std::string> expect;
  for (int a = 0; a < 10; ++a) expect.push_back("action " + std::to_string(a));
  expect.push_back("load alpha in.bmp");
  expect.push_back("save alpha out.bmp");
  EXPECT_EQ(Img("A")->ops, expect);
  EXPECT_EQ(host.refreshed, (std::vector<std::string>{"1"}));  // after PASTE only
}

TEST_F(DocCommands, CloseEmptiesTheVariableAndOtherReferencesReadAsEmpty) {
  FakeDoc* doc = host.Make(4, 4);
  EXPECT_EQ(Error("IMAGE A\nCURIMG A\nIMAGE B\n= B A\nCLOSE A\nSAVE B \"x.bmp\""), kEmpty + Suffix("SAVE B \"x.bmp\""));
  EXPECT_FALSE(doc->open);
  EXPECT_TRUE(doc->ops.empty());
  host.Make(4, 4);
  EXPECT_EQ(Error("IMAGE A\nCURIMG A\nIMAGE B\n= B A\nCLOSE B\nCLOSE A"), kEmpty + Suffix("CLOSE A"));
  // CLONE copies the current image into a new document.
  FakeDoc* d3 = host.Make(4, 4);
  Run("IMAGE A\nCURIMG A\nIMAGE B\nCLONE B A");
  EXPECT_EQ(D(images["B"])->ops, (std::vector<std::string>{"clone of " + std::to_string(d3->id)}));
  // A document the user closed while the script held it reads as empty.
  host.onInfo = [&] { host.order.erase(std::find(host.order.begin(), host.order.end(), d3)); };
  EXPECT_EQ(Error("IMAGE A\n= A B\nIMAGE K\n= K A\n= K A\nTIMEDLG 0\nSAVE K \"x.bmp\""), "\"B\"は無効な識別子です。" + Suffix("= A B"));
  host.Make(4, 4);
  FakeDoc* d5 = host.order.front();
  host.onInfo = [&] { host.order.erase(std::find(host.order.begin(), host.order.end(), d5)); };
  EXPECT_EQ(Error("IMAGE K\nCURIMG K\nTIMEDLG 0\nSAVE K \"x.bmp\""), kEmpty + Suffix("SAVE K \"x.bmp\""));
  EXPECT_TRUE(d5->ops.empty());
}

TEST_F(DocCommands, GetCurrentImageIsEmptyWithoutDocuments) {
  Run("IMAGE A\nCURIMG A");
  EXPECT_EQ(images["A"], nullptr);
  FakeDoc* d = host.Make(1, 1);
  Run("IMAGE A\nGETCURRENTIMAGE A");
  EXPECT_EQ(Img("A"), d);
}

// --- SAVENUM -----------------------------------------------------------------------------

TEST_F(DocCommands, SaveNumTakesTheFirstFreeNumber) {
  TempDir dir;
  dir.File("out000.bmp", "x");
  dir.File("out001.bmp", "x");
  dir.File("out003.bmp", "x");
  host.Make(2, 2);
  const std::string f = dir.Path("out.bmp");
  Run("IMAGE A\nCURIMG A\nSAVENUM A \"" + f + "\"\nSAVENUM A \"" + f + "\"\nSAVENUM A \"" + f + "\"");
  EXPECT_EQ(Img("A")->ops, (std::vector<std::string>{"save " + dir.Path("out002.bmp"),
                                                     "save " + dir.Path("out004.bmp"),
                                                     "save " + dir.Path("out005.bmp")}));
  // No extension; a dot in a folder name is not an extension.
  EXPECT_EQ(KWSNumberedName(dir.Path("plain")), dir.Path("plain000"));
  TempDir dotted;
  std::filesystem::create_directories(dotted.Path("a.b"));
  EXPECT_EQ(KWSNumberedName(dotted.Path("a.b/name")), dotted.Path("a.b/name000"));
  // Past 999 the number simply grows.
  for (int k = 0; k < 1000; ++k) {
    char n[16];
    std::snprintf(n, sizeof n, "%03d", k);
    dotted.File(std::string("n") + n + ".png", "");
  }
  EXPECT_EQ(KWSNumberedName(dotted.Path("n.png")), dotted.Path("n1000.png"));
}

// --- FINDFIRST / FINDNEXT --------------------------------------------------------------------

TEST_F(DocCommands, FindLoopVisitsEveryMatchWithTheFolderPart) {
  TempDir dir;
  for (const char* n : {"b.bmp", "a.bmp", "c.BMP", "skip.txt"}) dir.File(n, "x");
  std::filesystem::create_directories(dir.Path("sub.bmp"));
  const std::string folder = dir.Path("");
  Run("STRING S\nSTRING ALLS\nVALUE N\nFINDFIRST S \"" + folder + "*.bmp\"\n++ N\n= ALLS S\nFINDNEXT\n");
  EXPECT_EQ(values["N"], 4);  // a folder matches like a file; the case of letters does not matter
  EXPECT_EQ(strings["S"], folder + "sub.bmp");  // the last match stays in the variable
  EXPECT_EQ(depth, 0);
  EXPECT_FALSE(findActive);
  // One match: the body runs once and FINDNEXT falls through.
  Run("STRING S\nVALUE N\nFIND S \"" + folder + "a.*\"\n++ N\nFNEXT\n++ N\n++ N");
  EXPECT_EQ(values["N"], 3);
  EXPECT_EQ(strings["S"], folder + "a.bmp");
  // No match fails at once.
  const std::string p = folder + "*.gif";
  EXPECT_EQ(Error("STRING S\nFINDFIRST S \"" + p + "\""),
            "\"" + p + "\"に一致するファイルが見つかりません。" + Suffix("FINDFIRST S \"" + p + "\""));
}

TEST_F(DocCommands, FindLoopsDoNotNest) {
  TempDir dir;
  dir.File("a.bmp", "x");
  const std::string pat = "\"" + dir.Path("*.bmp") + "\"";
  EXPECT_EQ(Error("STRING S\nFINDFIRST S " + pat + "\nFINDFIRST S " + pat),
            "Findループ同士はネストできません。" + Suffix("FINDFIRST S " + pat));
  // Also from inside another loop construct.
  EXPECT_EQ(Error("STRING S\nVALUE I\nFINDFIRST S " + pat + "\nFOR I 1 2\nFIND S " + pat + "\nNEXT\nFINDNEXT"),
            "Findループ同士はネストできません。" + Suffix("FIND S " + pat));
  // After a loop has ended a new one may start.
  Run("STRING S\nVALUE N\nFINDFIRST S " + pat + "\nFINDNEXT\nFINDFIRST S " + pat + "\n++ N\nFINDNEXT");
  EXPECT_EQ(values["N"], 1);
  EXPECT_EQ(Error("FINDNEXT"), "FindFirstとFindNextが対応していません。" + Suffix("FINDNEXT"));
  EXPECT_EQ(Error("STRING S\nFINDFIRST S " + pat + "\nREPEAT\nFINDNEXT"),
            "FindFirstとFindNextが対応していません。" + Suffix("FINDNEXT"));
  // A called script has its own table and may open its own loop.
  const std::string sub = dir.File("sub.kws", "STRING T\nVALUE M\nFIND T " + pat + "\n++ M\nFNEXT\n");
  Run("STRING S\nVALUE N\nFINDFIRST S " + pat + "\nCALL \"" + sub + "\"\n++ N\nFINDNEXT");
  EXPECT_EQ(values["N"], 1);
}

TEST_F(DocCommands, LoopFramesThatDoNotFitRaiseTheOverflowError) {
  TempDir dir;
  dir.File("a.bmp", "x");
  host.Make(1, 1);
  std::string repeats;
  for (int i = 0; i < 63; ++i) repeats += "REPEAT\n";
  const std::string overflow = "スタックがオーバーフローしました。ループのネストが深すぎます。";
  const std::string pat = "\"" + dir.Path("*.bmp") + "\"";
  EXPECT_EQ(Error("STRING S\n" + repeats + "FINDFIRST S " + pat), overflow + Suffix("FINDFIRST S " + pat));
  EXPECT_EQ(Error("IMAGE A\nREPEAT\n" + repeats + "ALLIMAGE A").substr(0, overflow.size()), overflow);
  // 61 cells and a frame of three fit exactly.
  std::string r61;
  for (int i = 0; i < 61; ++i) r61 += "REPEAT\n";
  Run("IMAGE A\n" + r61 + "ALLIMAGE A");
  EXPECT_EQ(depth, 64);
}

// --- ALLIMAGE / NEXTIMAGE ----------------------------------------------------------------------

TEST_F(DocCommands, AllImageRunsOverTheOpenDocumentsActiveFirst) {
  EXPECT_EQ(Error("IMAGE A\nALLIMAGE A"), "画像が1枚も開かれていません。" + Suffix("ALLIMAGE A"));
  FakeDoc* a = host.Make(1, 1);
  FakeDoc* b = host.Make(2, 2);
  FakeDoc* c = host.Make(3, 3);  // active
  Run("IMAGE I\nVALUE N\nVALUE W\nALLIMAGE I\n++ N\nWIDTH W I\nEXECFILTER NEG I\nNEXTIMAGE");
  EXPECT_EQ(values["N"], 3);
  EXPECT_EQ(values["W"], 1);
  for (FakeDoc* d : {a, b, c}) EXPECT_EQ(d->ops, (std::vector<std::string>{"filter NegativeColor"}));
  EXPECT_EQ(depth, 0);
  // Closing the variable's document inside the body shifts the positions:
  // the document after it is skipped.
  Run("IMAGE I\nVALUE N\nALLIMG I\n++ N\nCLOSE I\nNEXTIMG");
  EXPECT_EQ(values["N"], 2);
  EXPECT_FALSE(c->open);
  EXPECT_TRUE(b->open);
  EXPECT_FALSE(a->open);
  EXPECT_EQ(Error("NEXTIMAGE"), "AllImageとNextImageが対応していません。" + Suffix("NEXTIMAGE"));
  EXPECT_EQ(Error("IMAGE I\nALL I\nREPEAT\nNEXTIMAGE"),
            "AllImageとNextImageが対応していません。" + Suffix("NEXTIMAGE"));
}

TEST(DocumentlessHost, DocumentCommandsReportThatThereAreNoDocuments) {
  TestHost host;
  TKWScriptEngine e(&host);
  TKWScript s;
  TempDir dir;
  s.LoadFromText("IMAGE A\nOPEN A \"" + dir.File("a.bmp", "x") + "\"");
  try {
    e.RunScript(s);
    FAIL();
  } catch (const std::exception& ex) {
    EXPECT_EQ(std::string(ex.what()), ENoDocuments().what());
  }
}

}  // namespace
