// Commands on documents, processors, files and the alpha channel, and the
// loops over files and open documents.  They do no image work of their own:
// every one calls an operation of the host, which runs the document's own
// operation (so each step lands in the document's history and log).
#include <algorithm>
#include <cstdio>

#include "platform/sysutils.h"
#include "script/kwscrcmd.h"

namespace {

constexpr const char* kCRLF = "\r\n";
constexpr const char* kEmptyImage = "画像変数が空です。";

TKWScriptHost& Host(TKWScriptEngine& E) {
  if (!E.Host()) throw ENoDocuments();
  return *E.Host();
}

// Index of the image variable called name; raises "is not an image variable".
int ImageVar(TKWScriptEngine& E, const std::string& name) {
  int i = E.Vars()->ImageNames.IndexOf(name);
  if (i < 0) throw EKWSUnknownName(KWSQuote(name) + "は画像変数ではありません。");
  return i;
}

// The document of an Image argument; an empty variable ends the command.
TKWChild* Doc(TKWScriptEngine& E, int arg) {
  TKWChild* d = E.Args[arg].Image;
  if (!d) throw EKWSInvalidValue(kEmptyImage);
  return d;
}

void RequireFile(const std::string& f) {
  if (!FileExists(f))
    throw EKWSInvalidValue(std::string("ファイルが存在しません。") + kCRLF + KWSQuote(f));
}

void Refresh(TKWScriptEngine& E, TKWChild* doc) {
  if (doc) Host(E).RefreshDocument(doc);
}

void Action(TKWScriptEngine& E, TKWSDocAction a) { Host(E).DocumentAction(Doc(E, 1), a); }

}  // namespace

// --- documents and images ----------------------------------------------------------

void TKWSFuncGetCurImage::Execute(TKWScriptEngine& E) {
  const std::string& n = E.Args[1].String;
  int i = E.Vars()->ImageNames.IndexOf(n);
  if (i < 0) throw EKWSUnknownName(KWSQuote(n) + "は無効な識別子です。");
  E.Vars()->Images[i] = Host(E).ActiveDocument();
}

void TKWSFuncGetSelImage::Execute(TKWScriptEngine& E) {
  int a = ImageVar(E, E.Args[1].String);
  int b = ImageVar(E, E.Args[2].String);
  TKWChild *bg = nullptr, *fg = nullptr;
  Host(E).GetSelectedDocuments(bg, fg);
  E.Vars()->Images[a] = bg;
  E.Vars()->Images[b] = fg;
}

static double& NumberResult(TKWScriptEngine& E) {
  const std::string& n = E.Args[1].String;
  int i = E.Vars()->ValueNames.IndexOf(n);
  if (i < 0) throw EKWSUnknownName(KWSQuote(n) + "は数値変数ではありません。");
  return E.Vars()->Values[i];
}

void TKWSFuncGetWidth::Execute(TKWScriptEngine& E) {
  double& r = NumberResult(E);
  r = Host(E).DocumentWidth(Doc(E, 2));
}

void TKWSFuncGetHeight::Execute(TKWScriptEngine& E) {
  double& r = NumberResult(E);
  r = Host(E).DocumentHeight(Doc(E, 2));
}

void TKWSFileOpen::Execute(TKWScriptEngine& E) {
  int i = ImageVar(E, E.Args[1].String);
  const std::string f = E.Args[2].String;
  RequireFile(f);
  TKWChild* doc = Host(E).OpenDocument(f);
  E.Vars()->Images[i] = doc;
  Refresh(E, doc);
}

void TKWSEditOpen::Execute(TKWScriptEngine& E) {
  TKWChild* doc = Doc(E, 1);
  const std::string f = E.Args[2].String;
  RequireFile(f);
  Host(E).OpenInto(doc, f);
  Refresh(E, doc);
}

void TKWSFileSave::Execute(TKWScriptEngine& E) { Host(E).SaveDocument(Doc(E, 1), E.Args[2].String); }

std::string KWSNumberedName(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  const std::string stem = fileName.substr(0, fileName.size() - ext.size());
  for (uint64_t k = 0;; ++k) {
    char num[32];
    std::snprintf(num, sizeof num, "%.3llu", static_cast<unsigned long long>(k));
    std::string candidate = stem + num + ext;
    if (!FileExists(candidate) && !DirectoryExists(candidate)) return candidate;
  }
}

void TKWSFuncSaveNum::Execute(TKWScriptEngine& E) {
  TKWChild* doc = Doc(E, 1);
  Host(E).SaveDocument(doc, KWSNumberedName(E.Args[2].String));
}

void TKWSFileClone::Execute(TKWScriptEngine& E) {
  int i = ImageVar(E, E.Args[1].String);
  TKWChild* src = E.Args[2].Image;
  if (!src)
    throw EKWSInvalidValue(std::string(kEmptyImage) + kCRLF + "複製元を第2パラメータに指定してください。");
  TKWChild* doc = Host(E).CloneDocument(src);
  E.Vars()->Images[i] = doc;
  Refresh(E, doc);
}

void TKWSFileClose::Execute(TKWScriptEngine& E) {
  const std::string& n = E.Args[1].String;
  int i = ImageVar(E, n);
  TKWChild* doc = E.LookupImage(n);  // a document closed meanwhile reads as empty
  if (!doc) throw EKWSInvalidValue(kEmptyImage);
  Host(E).CloseDocument(doc);
  E.Vars()->Images[i] = nullptr;
}

void TKWSEditUndo::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::Undo); }
void TKWSEditRedo::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::Redo); }
void TKWSEditCopy::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::Copy); }
void TKWSEditPaste::Execute(TKWScriptEngine& E) {
  Action(E, TKWSDocAction::Paste);
  Refresh(E, E.Args[1].Image);
}

// --- processors ----------------------------------------------------------------------

void TKWSFuncExecFilter::Execute(TKWScriptEngine& E) {
  const std::string& p = E.Args[1].String;
  TKWBasicFilter* f = Host(E).FindFilter(p);
  if (!f) throw EKWSProcNotExist("フィルタ" + KWSQuote(p) + "は存在しません。");
  TKWChild* doc = Doc(E, 2);
  Host(E).ApplyFilter(doc, f);
  Refresh(E, doc);
}

void TKWSFuncExecMixer::Execute(TKWScriptEngine& E) {
  const std::string& p = E.Args[1].String;
  TKWBasicMixer* m = Host(E).FindMixer(p);
  if (!m) throw EKWSProcNotExist("ミキサー" + KWSQuote(p) + "は存在しません。");
  TKWChild* bg = Doc(E, 2);
  TKWChild* fg = Doc(E, 3);
  const TKWScriptVariable& v = *E.Vars();
  Host(E).ApplyMixer(bg, fg, m, v.MixerOriginX, v.MixerOriginY, (v.MixerFlag & 1) != 0);
  Refresh(E, bg);
}

void TKWSFuncExecGenerator::Execute(TKWScriptEngine& E) {
  const std::string& p = E.Args[1].String;
  TKWBasicGenerator* g = Host(E).FindGenerator(p);
  if (!g) throw EKWSProcNotExist("ジェネレータ" + KWSQuote(p) + "は存在しません。");
  int i = ImageVar(E, E.Args[2].String);
  const TKWScriptVariable& v = *E.Vars();
  TKWChild* doc = Host(E).GenerateDocument(g, v.GeneratorWidth, v.GeneratorHeight);
  E.Vars()->Images[i] = doc;
  Refresh(E, doc);
}

// --- alpha channel ---------------------------------------------------------------------

void TKWSACClear::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACDisable); }
void TKWSACInvert::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACInvert); }
void TKWSACCreateImage::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACCreateFromImage); }
void TKWSACCreateHarf::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACCreateHarf); }
void TKWSACCopy::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACCopy); }
void TKWSACPaste::Execute(TKWScriptEngine& E) { Action(E, TKWSDocAction::ACPaste); }

void TKWSACCreateValue::Execute(TKWScriptEngine& E) {
  TKWChild* doc = Doc(E, 1);
  // Rounded, low 8 bits: 300 gives 44, -1 gives 255.
  const uint8_t value = uint8_t(uint64_t(KWSRound(E.Args[2].Number)) & 0xFF);
  Host(E).CreateAlphaByValue(doc, value);
}

void TKWSACLoad::Execute(TKWScriptEngine& E) { Host(E).LoadAlpha(Doc(E, 1), E.Args[2].String); }
void TKWSACSave::Execute(TKWScriptEngine& E) { Host(E).SaveAlpha(Doc(E, 1), E.Args[2].String); }

// --- loops over files and documents -------------------------------------------------------

void TKWSFuncFindFirst::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  const std::string& s = E.Args[1].String;
  int idx = v.StringNames.IndexOf(s);
  if (idx < 0) throw EKWSUnknownName(KWSQuote(s) + "は文字列変数ではありません。");
  if (v.FindActive) throw EKWSSyntaxError("Findループ同士はネストできません。");
  const std::string pattern = E.Args[2].String;
  std::vector<TSearchRec> found = FindFiles(pattern);
  if (found.empty())
    throw EKWSInvalidValue(KWSQuote(pattern) + "に一致するファイルが見つかりません。");
  // The file system's order is arbitrary; by name the runs are repeatable.
  std::stable_sort(found.begin(), found.end(),
                   [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
  v.Push({idx, v.CurrentLine}, skFind);
  v.FindRec = std::move(found);
  v.FindIndex = 0;
  v.FindDir = ExtractFilePath(pattern);
  v.FindActive = 1;
  v.Strings[idx] = v.FindDir + v.FindRec[0].Name;
}

void TKWSFuncFindNext::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  if (!v.TopIs(2, skFind)) throw EKWSSyntaxError("FindFirstとFindNextが対応していません。");
  const int d = v.StackDepth;
  if (v.FindActive && v.FindIndex + 1 < v.FindRec.size()) {
    ++v.FindIndex;
    v.Strings[v.Cell(d - 1)] = v.FindDir + v.FindRec[v.FindIndex].Name;
    v.CurrentLine = v.Cell(d);
    return;
  }
  v.FindRec.clear();
  v.FindIndex = 0;
  v.FindActive = 0;
  v.Pop(2);
}

void TKWSFuncAllImage::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  int idx = ImageVar(E, E.Args[1].String);
  std::vector<TKWChild*> docs = Host(E).Documents();
  if (docs.empty()) throw EKWSInvalidValue("画像が1枚も開かれていません。");
  v.Push({idx, 0, v.CurrentLine}, skAllImage);
  v.Images[idx] = docs[0];
}

void TKWSFuncNextImage::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  if (!v.TopIs(3, skAllImage)) throw EKWSSyntaxError("AllImageとNextImageが対応していません。");
  const int d = v.StackDepth;
  const int32_t k = v.Cell(d - 1) + 1;
  std::vector<TKWChild*> docs = Host(E).Documents();
  if (k >= 0 && size_t(k) < docs.size()) {
    v.Images[v.Cell(d - 2)] = docs[size_t(k)];
    v.Cell(d - 1) = k;
    v.CurrentLine = v.Cell(d);
    return;
  }
  v.Pop(3);
}
