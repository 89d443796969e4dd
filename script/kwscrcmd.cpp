#include "script/kwscrcmd.h"

#include <cfloat>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "procdef/kwdatadir.h"

namespace {

constexpr const char* kStackOverflow = "スタックがオーバーフローしました。ループのネストが深すぎます。";

// --- result variables -------------------------------------------------------

double& NumberVar(TKWScriptEngine& E, const std::string& name) {
  TKWScriptVariable& v = *E.Vars();
  int i = v.ValueNames.IndexOf(name);
  if (i < 0) throw EKWSUnknownName(KWSQuote(name) + "は数値変数ではありません。");
  return v.Values[i];
}

uint8_t& BoolVar(TKWScriptEngine& E, const std::string& name) {
  TKWScriptVariable& v = *E.Vars();
  int i = v.BoolNames.IndexOf(name);
  if (i < 0) throw EKWSUnknownName(KWSQuote(name) + "は論理変数ではありません。");
  return v.Bools[i];
}

const std::string& NameArg(TKWScriptEngine& E) { return E.Args[1].String; }

void Define(TKWScriptEngine& E, TStringList& names, const char* word) {
  const std::string& n = NameArg(E);
  if (names.IndexOf(n) >= 0) throw EKWSSyntaxError(word + KWSQuote(n) + "は既に存在します。");
  if (names.Count() >= kKWSMaxVariables)
    throw EKWSSyntaxError(std::string(word) + "の数が最大値を超えました。");
  names.Add(n);
}

std::mt19937_64& RandomEngine() {
  // Seeded once per program start from the clock.
  static std::mt19937_64 gen(uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                             uint64_t(std::chrono::system_clock::now().time_since_epoch().count()));
  return gen;
}

void EnterOrSkip(TKWScriptEngine& E, bool enter, TKWSStackKind kind, const char* missing) {
  TKWScriptVariable& v = *E.Vars();
  if (v.StackDepth + 1 > kKWSStackSize) throw EKWSException(kStackOverflow);
  if (enter) {
    v.Push({v.CurrentLine - 1}, kind);
    return;
  }
  int match = E.FindMatchingLoop(v.CurrentLine);
  if (match < 0) throw EKWSSyntaxError(missing);
  v.CurrentLine = match + 1;
}

void RepeatEnd(TKWScriptEngine& E, bool again, const char* mismatch) {
  TKWScriptVariable& v = *E.Vars();
  if (!v.TopIs(1, skRepeat)) throw EKWSSyntaxError(mismatch);
  if (again)
    v.CurrentLine = v.Cell(v.StackDepth);
  else
    v.Pop(1);
}

}  // namespace

// --- arithmetic ---------------------------------------------------------------

namespace kws {

double CheckResult(long double r, bool pole) {
  if (std::isnan(r)) throw EInvalidOp();
  if (std::isinf(r)) {
    if (pole) throw EZeroDivide();
    throw EOverflow();
  }
  if (std::fabs(r) > DBL_MAX) throw EOverflow();
  return double(r);
}

double Add(double a, double b) { return CheckResult(a + b, false); }
double Sub(double a, double b) { return CheckResult(a - b, false); }
double Mul(double a, double b) { return CheckResult(a * b, false); }

double Div(double a, double b) {
  if (b == 0) {
    if (a == 0) throw EInvalidOp();
    throw EZeroDivide();
  }
  return CheckResult(a / b, false);
}

double Mod(double a, double b) {
  int64_t x = KWSRound(a);
  int64_t y = KWSRound(b);
  if (y == 0) throw EDivByZero();
  if (y == -1) return 0;  // also for the smallest 64-bit value
  return double(x % y);
}

static long double CheckedLn(double x) {
  if (x == 0) throw EZeroDivide();
  if (x < 0 || std::isnan(x)) throw EInvalidOp();
  return std::log((long double)x);
}

double Log(double base, double x) {
  long double lx = CheckedLn(x);
  long double lb = CheckedLn(base);
  if (lb == 0) {
    if (lx == 0) throw EInvalidOp();
    throw EZeroDivide();
  }
  return CheckResult(lx / lb, false);
}

double Power(double a, double b) {
  if (b == 0) return 1;
  if (a == 0 && b > 0) return 0;
  if (std::trunc(b) == b && std::fabs(b) <= 2147483647.0) {
    int64_t n = int64_t(b);
    uint64_t k = uint64_t(n < 0 ? -n : n);
    long double base = a, y = 1;
    while (k) {  // repeated squaring and multiplication
      if (k & 1) y *= base;
      k >>= 1;
      if (k) base *= base;
    }
    if (std::isinf(y)) throw EOverflow();
    if (n < 0) {
      if (y == 0) throw EZeroDivide();
      y = 1 / y;
    }
    return CheckResult(y, false);
  }
  long double l = CheckedLn(a);
  return CheckResult(std::exp(b * l), false);
}

int32_t Factorial(double a) {
  int32_t n = KWSRound32(a);
  if (n <= 0) return 1;
  // From 34! on the product holds 32 factors of two: its low 32 bits are 0.
  if (n >= 34) return 0;
  uint32_t p = 1;
  for (int32_t i = 2; i <= n; ++i) p *= uint32_t(i);
  return int32_t(p);
}

}  // namespace kws

// --- definitions and assignment ----------------------------------------------

void TKWSDefineImage::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  Define(E, v.ImageNames, "画像変数");
  v.Images[v.ImageNames.Count() - 1] = nullptr;
}
void TKWSDefineVal::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  Define(E, v.ValueNames, "数値変数");
  v.Values[v.ValueNames.Count() - 1] = 0;
}
void TKWSDefineStr::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  Define(E, v.StringNames, "文字列変数");
  v.Strings[v.StringNames.Count() - 1].clear();
}
void TKWSDefineBool::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  Define(E, v.BoolNames, "論理変数");
  v.Bools[v.BoolNames.Count() - 1] = 0;
}

void TKWSOpEqual::Execute(TKWScriptEngine& E) {
  const std::string n = E.Args[1].String;
  const std::string val = E.Args[2].String;
  size_t dot = n.find('.');
  if (dot != std::string::npos) {
    E.SetParameter(n.substr(0, dot), n.substr(dot + 1), val);
    return;
  }
  TKWScriptVariable& v = *E.Vars();
  int i;
  if ((i = v.ValueNames.IndexOf(n)) >= 0) {
    double d = E.EvalNumber(val);
    E.Vars()->Values[i] = d;
  } else if ((i = v.StringNames.IndexOf(n)) >= 0) {
    std::string s = E.EvalString(val);
    E.Vars()->Strings[i] = std::move(s);
  } else if ((i = v.ImageNames.IndexOf(n)) >= 0) {
    TKWChild* doc = E.LookupImage(val);
    E.Vars()->Images[i] = doc;
  } else if ((i = v.BoolNames.IndexOf(n)) >= 0) {
    bool b = E.EvalBool(val);
    E.Vars()->Bools[i] = b ? 1 : 0;
  } else {
    throw EKWSUnknownName(KWSQuote(n) + "は無効な識別子です。");
  }
}

// --- number results ------------------------------------------------------------

#define KWS_MATH(Cls, expr)                          \
  void Cls::Execute(TKWScriptEngine& E) {            \
    double& r = NumberVar(E, E.Args[1].String);      \
    const double a = E.Args[2].Number;               \
    const double b = E.Args[3].Number;               \
    (void)a;                                         \
    (void)b;                                         \
    r = (expr);                                      \
  }

KWS_MATH(TKWSFuncAdd, kws::Add(a, b))
KWS_MATH(TKWSFuncSub, kws::Sub(a, b))
KWS_MATH(TKWSFuncMul, kws::Mul(a, b))
KWS_MATH(TKWSFuncDiv, kws::Div(a, b))
KWS_MATH(TKWSFuncMod, kws::Mod(a, b))
KWS_MATH(TKWSFuncLog, kws::Log(a, b))
KWS_MATH(TKWSFuncPower, kws::Power(a, b))
KWS_MATH(TKWSFuncAbs, std::fabs(a))
KWS_MATH(TKWSFuncSin, kws::CheckResult(std::sin((long double)a), false))
KWS_MATH(TKWSFuncCos, kws::CheckResult(std::cos((long double)a), false))
KWS_MATH(TKWSFuncTan, kws::CheckResult(std::tan((long double)a), false))
KWS_MATH(TKWSFuncArcSin, kws::CheckResult(std::asin((long double)a), false))
KWS_MATH(TKWSFuncArcCos, kws::CheckResult(std::acos((long double)a), false))
KWS_MATH(TKWSFuncArcTan, kws::CheckResult(std::atan((long double)a), false))
KWS_MATH(TKWSFuncSinh, kws::CheckResult(std::sinh((long double)a), false))
KWS_MATH(TKWSFuncCosh, kws::CheckResult(std::cosh((long double)a), false))
KWS_MATH(TKWSFuncTanh, kws::CheckResult(std::tanh((long double)a), false))
KWS_MATH(TKWSFuncArcSinh, kws::CheckResult(std::asinh((long double)a), false))
KWS_MATH(TKWSFuncArcCosh, kws::CheckResult(std::acosh((long double)a), false))
KWS_MATH(TKWSFuncArcTanh, kws::CheckResult(std::atanh((long double)a), true))
KWS_MATH(TKWSFuncSqr, kws::Mul(a, a))
KWS_MATH(TKWSFuncSqrt, kws::CheckResult(std::sqrt((long double)a), false))
KWS_MATH(TKWSFuncExp, kws::CheckResult(std::exp((long double)a), false))
KWS_MATH(TKWSFuncLn, kws::CheckResult(std::log((long double)a), true))
KWS_MATH(TKWSFuncLog10, kws::CheckResult(std::log10((long double)a), true))
KWS_MATH(TKWSFuncFact, double(kws::Factorial(a)))

void TKWSFuncInc::Execute(TKWScriptEngine& E) {
  double& r = NumberVar(E, NameArg(E));
  r = kws::Add(r, 1);
}
void TKWSFuncDec::Execute(TKWScriptEngine& E) {
  double& r = NumberVar(E, NameArg(E));
  r = kws::Sub(r, 1);
}

void TKWSFuncRandomInt::Execute(TKWScriptEngine& E) {
  double& r = NumberVar(E, NameArg(E));
  int64_t base = KWSRound(E.Args[2].Number);
  int32_t n = KWSRound32(E.Args[3].Number);
  int64_t k = 0;
  if (n > 0)
    k = std::uniform_int_distribution<int64_t>(0, n - 1)(RandomEngine());
  else if (n < 0)
    k = std::uniform_int_distribution<int64_t>(int64_t(n) + 1, 0)(RandomEngine());
  r = double(base) + double(k);
}

void TKWSFuncRandom::Execute(TKWScriptEngine& E) {
  double& r = NumberVar(E, NameArg(E));
  r = std::uniform_real_distribution<double>(0.0, 1.0)(RandomEngine());
  if (r >= 1.0) r = 0.0;  // guard against the rare rounding up to 1
}

void TKWSFuncTickCount::Execute(TKWScriptEngine& E) {
  double& r = NumberVar(E, NameArg(E));
  r = double(GetTickCount());
}

// --- comparisons and logic ----------------------------------------------------

#define KWS_COMPARE(Cls, expr)                       \
  void Cls::Execute(TKWScriptEngine& E) {            \
    uint8_t& r = BoolVar(E, E.Args[1].String);       \
    const double a = E.Args[2].Number;               \
    const double b = E.Args[3].Number;               \
    r = (expr) ? 1 : 0;                              \
  }

KWS_COMPARE(TKWSFuncEven, a == b)
KWS_COMPARE(TKWSFuncDifferent, a != b)
KWS_COMPARE(TKWSFuncLarge, a > b)
KWS_COMPARE(TKWSFuncSmall, a < b)
KWS_COMPARE(TKWSFuncEvenLarge, a >= b)
KWS_COMPARE(TKWSFuncEvenSmall, a <= b)

#define KWS_LOGIC(Cls, expr)                         \
  void Cls::Execute(TKWScriptEngine& E) {            \
    uint8_t& r = BoolVar(E, E.Args[1].String);       \
    const bool p = E.Args[2].Bool;                   \
    const bool q = E.Args[3].Bool;                   \
    r = (expr) ? 1 : 0;                              \
  }

KWS_LOGIC(TKWSFuncAND, p && q)
KWS_LOGIC(TKWSFuncOR, p || q)
KWS_LOGIC(TKWSFuncXOR, p != q)
KWS_LOGIC(TKWSFuncNAND, !(p && q))
KWS_LOGIC(TKWSFuncNOR, !(p || q))

void TKWSFuncNot::Execute(TKWScriptEngine& E) {
  uint8_t& r = BoolVar(E, NameArg(E));
  r = r ? 0 : 1;
}

// --- timing and calls -----------------------------------------------------------

void TKWSFuncTimeDlg::Execute(TKWScriptEngine& E) {
  int64_t elapsed = int64_t(GetTickCount()) - KWSRound(E.Args[1].Number);
  char buf[64];
  std::snprintf(buf, sizeof buf, "経過時間: %" PRId64 "ms", elapsed);
  if (E.Host()) E.Host()->ShowInformation(buf);
}

void TKWSFuncCall::Execute(TKWScriptEngine& E) {
  const std::string f = E.Args[1].String;
  std::error_code ec;
  std::filesystem::path p(f);
  if (f.empty() || !std::filesystem::exists(p, ec) || std::filesystem::is_directory(p, ec))
    throw EKWSException("スクリプトファイル" + KWSQuote(f) + "が見つかりません。");
  if (E.CallDepth() >= kKWSMaxCallDepth)
    throw EKWSException("スクリプトの呼び出しが深すぎます。CALLのネストは" +
                        std::to_string(kKWSMaxCallDepth) + "段までです。");
  E.RunFile(f);
}

// --- runs from the command line ---------------------------------------------------

namespace {

std::string& StringVar(TKWScriptEngine& E, const std::string& name) {
  TKWScriptVariable& v = *E.Vars();
  int i = v.StringNames.IndexOf(name);
  if (i < 0) throw EKWSUnknownName(KWSQuote(name) + "は文字列変数ではありません。");
  return v.Strings[i];
}

std::string WithSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s += '/';
  return s;
}

}  // namespace

void TKWSFuncGetArgument::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  const std::string& name = NameArg(E);
  const int si = v.StringNames.IndexOf(name);
  const int ni = si < 0 ? v.ValueNames.IndexOf(name) : -1;
  if (si < 0 && ni < 0)
    throw EKWSUnknownName(KWSQuote(name) + "は文字列変数でも数値変数でもありません。");
  const size_t count = E.Arguments.size();
  const double n = E.Args[2].Number;
  if (!(n >= 1 && n <= double(count)) || n != std::floor(n)) {
    const std::string given = count == 0 ? std::string("引数は与えられていません")
                                         : "与えられた引数は" + std::to_string(count) + "個です";
    char num[64];
    std::snprintf(num, sizeof num, "%.15g", n);
    throw EKWSInvalidValue(std::string("スクリプトの引数") + num + "がありません（" + given + "）。");
  }
  const std::string& arg = E.Arguments[size_t(n) - 1];
  if (si >= 0) {
    v.Strings[si] = arg;
    return;
  }
  double d = 0;
  if (!KWSTextToFloat(arg, d))
    throw EKWSInvalidValue("スクリプトの引数" + std::to_string(size_t(n)) + KWSQuote(arg) +
                           "は数値ではありません。");
  v.Values[ni] = d;
}

void TKWSFuncArgumentCount::Execute(TKWScriptEngine& E) {
  NumberVar(E, NameArg(E)) = double(E.Arguments.size());
}

void TKWSFuncGetFolder::Execute(TKWScriptEngine& E) {
  std::string& s = StringVar(E, NameArg(E));
  const std::string which = UpperCase(E.Args[2].String);
  namespace fs = std::filesystem;
  std::error_code ec;
  if (which == "SCRIPT") {
    const std::string& file = E.Vars()->ScriptFile;
    fs::path dir = file.empty() ? fs::current_path(ec) : fs::absolute(file, ec).parent_path();
    s = WithSlash(dir.lexically_normal().string());
  } else if (which == "PROGRAM") {
    s = ExecutableDir();
  } else if (which == "DATA") {
    s = KWDataDir();
  } else {
    throw EKWSInvalidValue(KWSQuote(E.Args[2].String) +
                           "はフォルダの種類ではありません。SCRIPT、PROGRAM、DATAのどれかを指定してください。");
  }
}

void TKWSFuncConcat::Execute(TKWScriptEngine& E) {
  std::string& s = StringVar(E, NameArg(E));
  s = E.Args[2].String + E.Args[3].String;
}

void TKWSFuncMakeFolder::Execute(TKWScriptEngine& E) {
  const std::string& f = E.Args[1].String;
  std::error_code ec;
  if (f.empty() || (!std::filesystem::create_directories(f, ec) && !std::filesystem::is_directory(f, ec)))
    throw EKWSException("フォルダ" + KWSQuote(f) + "を作成できません。");
}

// --- jumps --------------------------------------------------------------------

void TKWSFuncIf::Jump(TKWScriptEngine& E, const std::string& label) {
  const int line = E.FindFirstLine(label + ":");
  if (line < 0) throw EKWSException("ラベル" + KWSQuote(label) + "が見つかりません。");
  E.Vars()->CurrentLine = line;
}

void TKWSFuncIf::Execute(TKWScriptEngine& E) {
  if (E.Args[1].Bool) Jump(E, E.Args[2].String);
}
void TKWSFuncIfNot::Execute(TKWScriptEngine& E) {
  if (!E.Args[1].Bool) Jump(E, E.Args[2].String);
}

// --- loops --------------------------------------------------------------------

void TKWSFuncFor::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  const std::string& n = NameArg(E);
  int idx = v.ValueNames.IndexOf(n);
  if (idx < 0) throw EKWSUnknownName(KWSQuote(n) + "は数値変数ではありません。");
  int64_t start = KWSRound(E.Args[2].Number);
  int32_t end = KWSRound32(E.Args[3].Number);
  v.Push({idx, end, v.CurrentLine}, skFor);
  v.Values[idx] = double(start);
}

void TKWSFuncNext::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  if (!v.TopIs(3, skFor)) throw EKWSSyntaxError("ForとNextが対応していません。");
  int d = v.StackDepth;
  int idx = v.Cell(d - 2);
  int32_t end = v.Cell(d - 1);
  // Counted in 64 bits so that a loop up to the largest 32-bit value ends.
  int64_t next = int64_t(KWSRound32(v.Values[idx])) + 1;
  if (next <= end) {
    v.Values[idx] = double(next);
    v.CurrentLine = v.Cell(d);
  } else {
    v.Pop(3);
  }
}

void TKWSFuncWhile::Execute(TKWScriptEngine& E) {
  EnterOrSkip(E, E.Args[1].Bool, skWhile, "Wihleに対応するLoopが見つかりません。");
}
void TKWSFuncUntil::Execute(TKWScriptEngine& E) {
  EnterOrSkip(E, !E.Args[1].Bool, skUntil, "Untilに対応するLoopが見つかりません。");
}

void TKWSFuncLoop::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  if (v.StackDepth < 1 ||
      (v.CellKind(v.StackDepth) != skWhile && v.CellKind(v.StackDepth) != skUntil))
    throw EKWSSyntaxError("WhileまたはUntilとLoopが対応していません。");
  int target = v.Cell(v.StackDepth);
  v.Pop(1);
  v.CurrentLine = target;
}

void TKWSFuncRepeat::Execute(TKWScriptEngine& E) {
  TKWScriptVariable& v = *E.Vars();
  v.Push({v.CurrentLine}, skRepeat);
}

void TKWSFuncLoopWhile::Execute(TKWScriptEngine& E) {
  RepeatEnd(E, E.Args[1].Bool, "RepeatとLoopWhileが対応していません。");
}
void TKWSFuncLoopUntil::Execute(TKWScriptEngine& E) {
  RepeatEnd(E, !E.Args[1].Bool, "RepeatとLoopUntilが対応していません。");
}

// --- keyword table ----------------------------------------------------------------

namespace {

template <class T>
TKWScriptCommand* Make() {
  return new T();
}

struct KeywordRow {
  const char* keyword;
  TKWScriptCommand* (*make)();
};

// The keywords in the order of the language's keyword list: the document
// and alpha-channel commands (the last rows of the list) in the first table,
// all others in the second.
const KeywordRow kFirstTable[] = {
    {"OPEN", Make<TKWSFileOpen>},
    {"SAVE", Make<TKWSFileSave>},
    {"CLONE", Make<TKWSFileClone>},
    {"CLOSE", Make<TKWSFileClose>},
    {"UNDO", Make<TKWSEditUndo>},
    {"REDO", Make<TKWSEditRedo>},
    {"COPYFROMIMAGE", Make<TKWSEditCopy>},
    {"COPY", Make<TKWSEditCopy>},
    {"PASTETOIMAGE", Make<TKWSEditPaste>},
    {"PASTE", Make<TKWSEditPaste>},
    {"OPENTOIMAGE", Make<TKWSEditOpen>},
    {"OPENTO", Make<TKWSEditOpen>},
    {"DISABLEALPHACHANNEL", Make<TKWSACClear>},
    {"DISABLEAC", Make<TKWSACClear>},
    {"CLEARAC", Make<TKWSACClear>},
    {"LOADTOALPHACHANNEL", Make<TKWSACLoad>},
    {"LOADAC", Make<TKWSACLoad>},
    {"SAVEALPHACHANNEL", Make<TKWSACSave>},
    {"SAVEAC", Make<TKWSACSave>},
    {"CREATEALPHACHANNELBYVALUE", Make<TKWSACCreateValue>},
    {"VALUEAC", Make<TKWSACCreateValue>},
    {"CREATEALPHACHANNELFROMIMAGE", Make<TKWSACCreateImage>},
    {"IMAGEAC", Make<TKWSACCreateImage>},
    {"CREATEALPHACHANNELBYHARF", Make<TKWSACCreateHarf>},
    {"HARFAC", Make<TKWSACCreateHarf>},
    {"INVERTALPHACHANNEL", Make<TKWSACInvert>},
    {"INVAC", Make<TKWSACInvert>},
    {"COPYFROMALPHACHANNEL", Make<TKWSACCopy>},
    {"COPYAC", Make<TKWSACCopy>},
    {"PASTETOALPHACHANNEL", Make<TKWSACPaste>},
    {"PASTEAC", Make<TKWSACPaste>},
};

const KeywordRow kSecondTable[] = {
    {"IMAGE", Make<TKWSDefineImage>},
    {"VALUE", Make<TKWSDefineVal>},
    {"STRING", Make<TKWSDefineStr>},
    {"STR", Make<TKWSDefineStr>},
    {"BOOL", Make<TKWSDefineBool>},
    {"EXECFILTER", Make<TKWSFuncExecFilter>},
    {"FILTER", Make<TKWSFuncExecFilter>},
    {"EXECMIXER", Make<TKWSFuncExecMixer>},
    {"MIXER", Make<TKWSFuncExecMixer>},
    {"MIX", Make<TKWSFuncExecMixer>},
    {"EXECGENERATOR", Make<TKWSFuncExecGenerator>},
    {"GENERATOR", Make<TKWSFuncExecGenerator>},
    {"GENERATE", Make<TKWSFuncExecGenerator>},
    {"GEN", Make<TKWSFuncExecGenerator>},
    {"GETCURRENTIMAGE", Make<TKWSFuncGetCurImage>},
    {"CURIMG", Make<TKWSFuncGetCurImage>},
    {"GETSELECTEDIMAGE", Make<TKWSFuncGetSelImage>},
    {"SELIMG", Make<TKWSFuncGetSelImage>},
    {"EQUAL", Make<TKWSOpEqual>},
    {"EQU", Make<TKWSOpEqual>},
    {"=", Make<TKWSOpEqual>},
    {"ADD", Make<TKWSFuncAdd>},
    {"+", Make<TKWSFuncAdd>},
    {"SUB", Make<TKWSFuncSub>},
    {"-", Make<TKWSFuncSub>},
    {"MUL", Make<TKWSFuncMul>},
    {"*", Make<TKWSFuncMul>},
    {"DIV", Make<TKWSFuncDiv>},
    {"/", Make<TKWSFuncDiv>},
    {"MOD", Make<TKWSFuncMod>},
    {"%", Make<TKWSFuncMod>},
    {"INC", Make<TKWSFuncInc>},
    {"++", Make<TKWSFuncInc>},
    {"DEC", Make<TKWSFuncDec>},
    {"--", Make<TKWSFuncDec>},
    {"NOT", Make<TKWSFuncNot>},
    {"!", Make<TKWSFuncNot>},
    {"AND", Make<TKWSFuncAND>},
    {"&", Make<TKWSFuncAND>},
    {"OR", Make<TKWSFuncOR>},
    {"|", Make<TKWSFuncOR>},
    {"XOR", Make<TKWSFuncXOR>},
    {"EXOR", Make<TKWSFuncXOR>},
    {"NAND", Make<TKWSFuncNAND>},
    {"NOR", Make<TKWSFuncNOR>},
    {"GETWIDTH", Make<TKWSFuncGetWidth>},
    {"WIDTH", Make<TKWSFuncGetWidth>},
    {"GETHEIGHT", Make<TKWSFuncGetHeight>},
    {"HEIGHT", Make<TKWSFuncGetHeight>},
    {"TICKCOUNT", Make<TKWSFuncTickCount>},
    {"TICK", Make<TKWSFuncTickCount>},
    {"EVEN", Make<TKWSFuncEven>},
    {"==", Make<TKWSFuncEven>},
    {"DIFFERENT", Make<TKWSFuncDifferent>},
    {"!=", Make<TKWSFuncDifferent>},
    {"<>", Make<TKWSFuncDifferent>},
    {"LARGER", Make<TKWSFuncLarge>},
    {"LARGE", Make<TKWSFuncLarge>},
    {"BIGGER", Make<TKWSFuncLarge>},
    {"BIG", Make<TKWSFuncLarge>},
    {">", Make<TKWSFuncLarge>},
    {"SMALL", Make<TKWSFuncSmall>},
    {"SMALLER", Make<TKWSFuncSmall>},
    {"<", Make<TKWSFuncSmall>},
    {"EVENLARGE", Make<TKWSFuncEvenLarge>},
    {">=", Make<TKWSFuncEvenLarge>},
    {"EVENSMALL", Make<TKWSFuncEvenSmall>},
    {"<=", Make<TKWSFuncEvenSmall>},
    {"ABS", Make<TKWSFuncAbs>},
    {"SIN", Make<TKWSFuncSin>},
    {"COS", Make<TKWSFuncCos>},
    {"TAN", Make<TKWSFuncTan>},
    {"ARCSIN", Make<TKWSFuncArcSin>},
    {"ASIN", Make<TKWSFuncArcSin>},
    {"ARCCOS", Make<TKWSFuncArcCos>},
    {"ACOS", Make<TKWSFuncArcCos>},
    {"ARCTAN", Make<TKWSFuncArcTan>},
    {"ATAN", Make<TKWSFuncArcTan>},
    {"SINH", Make<TKWSFuncSinh>},
    {"COSH", Make<TKWSFuncCosh>},
    {"TANH", Make<TKWSFuncTanh>},
    {"ARCSINH", Make<TKWSFuncArcSinh>},
    {"ASINH", Make<TKWSFuncArcSinh>},
    {"ARCCOSH", Make<TKWSFuncArcCosh>},
    {"ACOSH", Make<TKWSFuncArcCosh>},
    {"ARCTANH", Make<TKWSFuncArcTanh>},
    {"ATANH", Make<TKWSFuncArcTanh>},
    {"SQR", Make<TKWSFuncSqr>},
    {"SQRT", Make<TKWSFuncSqrt>},
    {"EXP", Make<TKWSFuncExp>},
    {"LN", Make<TKWSFuncLn>},
    {"LOG10", Make<TKWSFuncLog10>},
    {"LOG", Make<TKWSFuncLog>},
    {"POWER", Make<TKWSFuncPower>},
    {"POW", Make<TKWSFuncPower>},
    {"FACTRIAL", Make<TKWSFuncFact>},
    {"FACT", Make<TKWSFuncFact>},
    {"RANDOMINT", Make<TKWSFuncRandomInt>},
    {"RANDOM", Make<TKWSFuncRandomInt>},
    {"RANDOMFLOAT", Make<TKWSFuncRandom>},
    {"FRANDOM", Make<TKWSFuncRandom>},
    {"SAVENUM", Make<TKWSFuncSaveNum>},
    {"CALL", Make<TKWSFuncCall>},
    {"IF", Make<TKWSFuncIf>},
    {"IFNOT", Make<TKWSFuncIfNot>},
    {"IFN", Make<TKWSFuncIfNot>},
    {"FOR", Make<TKWSFuncFor>},
    {"NEXT", Make<TKWSFuncNext>},
    {"WHILE", Make<TKWSFuncWhile>},
    {"UNTIL", Make<TKWSFuncUntil>},
    {"LOOP", Make<TKWSFuncLoop>},
    {"REPEAT", Make<TKWSFuncRepeat>},
    {"LOOPWHILE", Make<TKWSFuncLoopWhile>},
    {"LWHILE", Make<TKWSFuncLoopWhile>},
    {"LOOPUNTIL", Make<TKWSFuncLoopUntil>},
    {"LUNTIL", Make<TKWSFuncLoopUntil>},
    {"FINDFIRST", Make<TKWSFuncFindFirst>},
    {"FIND", Make<TKWSFuncFindFirst>},
    {"FINDNEXT", Make<TKWSFuncFindNext>},
    {"FNEXT", Make<TKWSFuncFindNext>},
    {"ALLIMAGE", Make<TKWSFuncAllImage>},
    {"ALLIMG", Make<TKWSFuncAllImage>},
    {"ALL", Make<TKWSFuncAllImage>},
    {"NEXTIMAGE", Make<TKWSFuncNextImage>},
    {"NEXTIMG", Make<TKWSFuncNextImage>},
    {"TIMEDLG", Make<TKWSFuncTimeDlg>},
    // Beyond the language's original list: what runs from the command line
    // need (arguments, the program's folders, building file names).
    {"GETARGUMENT", Make<TKWSFuncGetArgument>},
    {"ARGUMENT", Make<TKWSFuncGetArgument>},
    {"ARG", Make<TKWSFuncGetArgument>},
    {"ARGUMENTCOUNT", Make<TKWSFuncArgumentCount>},
    {"ARGCOUNT", Make<TKWSFuncArgumentCount>},
    {"GETFOLDER", Make<TKWSFuncGetFolder>},
    {"CONCAT", Make<TKWSFuncConcat>},
    {"STRCAT", Make<TKWSFuncConcat>},
    {"MAKEFOLDER", Make<TKWSFuncMakeFolder>},
    {"MKDIR", Make<TKWSFuncMakeFolder>},
};

}  // namespace

void KWSFillKeywordTables(TStringList& first, TStringList& second) {
  for (const KeywordRow& r : kFirstTable) first.AddObject(r.keyword, r.make());
  for (const KeywordRow& r : kSecondTable) second.AddObject(r.keyword, r.make());
}
