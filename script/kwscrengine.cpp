#include "script/kwscrengine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "procdef/kwproc.h"
#include "script/kwscrcmd.h"

namespace {

constexpr const char* kCRLF = "\r\n";

bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

// Upper-cases a token into dst, reusing dst's storage for plain ASCII words.
void UpperInto(std::string& dst, std::string_view src) {
  bool ascii = true;
  for (char c : src) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (!ascii) {
    dst = UpperCase(src);
    return;
  }
  dst.assign(src);
  for (char& c : dst) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
}

}  // namespace

TKWProcessor* TKWScriptHost::FindProcessor(const std::string& name) {
  if (TKWBasicFilter* f = FindFilter(name)) return f;
  if (TKWBasicMixer* m = FindMixer(name)) return m;
  if (TKWBasicGenerator* g = FindGenerator(name)) return g;
  return nullptr;
}

std::string KWSQuote(std::string_view s) {
  std::string r;
  r.reserve(s.size() + 2);
  r += '"';
  r += s;
  r += '"';
  return r;
}

int64_t KWSRound(double v) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(v >= -kLimit && v < kLimit)) throw EInvalidOp();
  // The default rounding mode: halves to even.  Doubles this large are
  // integers already, so the result stays in range.
  return int64_t(std::nearbyint(v));
}

bool KWSTextToFloat(std::string_view text, double& value) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ')) ++b;
  while (e > b && (text[e - 1] == ' ')) --e;
  std::string_view t = text.substr(b, e - b);
  if (t.empty()) return false;
  // Check the grammar first: from_chars alone would also accept "inf", "nan".
  size_t i = 0;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    ++i;
  }
  size_t start = i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t ed = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++ed;
    if (ed == 0) return false;
  }
  if (i != t.size()) return false;
  const char* first = t.data() + start;
  const char* last = t.data() + t.size();
  double d = 0;
  auto res = std::from_chars(first, last, d);
  if (res.ec == std::errc() && res.ptr == last) {
    value = negative ? -d : d;
    return true;
  }
  if (res.ec != std::errc::result_out_of_range) return false;
  // Too small for a double keeps its nearest double (denormal or zero); too
  // large is not a number.
  long double ld = 0;
  auto r2 = std::from_chars(first, last, ld);
  if (r2.ec == std::errc() && std::isfinite(ld) && std::fabs(ld) <= 1.0L) {
    d = double(ld);
    value = negative ? -d : d;
    return true;
  }
  if (r2.ec == std::errc::result_out_of_range) {
    // Beyond even the extended range: tiny when the exponent is negative.
    size_t ep = std::string_view(first, last - first).find_first_of("eE");
    if (ep != std::string_view::npos && first[ep + 1] == '-') {
      value = negative ? -0.0 : 0.0;
      return true;
    }
  }
  return false;
}

// --- TKWScriptVariable ------------------------------------------------------

TKWScriptVariable::TKWScriptVariable() {
  for (auto& k : StackKinds) k = skFree;
}

TKWScriptVariable::~TKWScriptVariable() = default;

void TKWScriptVariable::Push(std::initializer_list<int32_t> values, TKWSStackKind kind) {
  if (StackDepth + int(values.size()) > kKWSStackSize)
    throw EKWSException("スタックがオーバーフローしました。ループのネストが深すぎます。");
  for (int32_t v : values) {
    ++StackDepth;
    Cell(StackDepth) = v;
    CellKind(StackDepth) = kind;
  }
}

void TKWScriptVariable::Pop(int n) {
  for (int i = 0; i < n && StackDepth > 0; ++i) {
    CellKind(StackDepth) = skFree;
    --StackDepth;
  }
}

bool TKWScriptVariable::TopIs(int n, TKWSStackKind kind) const {
  if (StackDepth < n) return false;
  for (int i = 0; i < n; ++i)
    if (StackKinds[StackDepth - 1 - i] != kind) return false;
  return true;
}

// --- TKWScriptEngine --------------------------------------------------------

TKWScriptEngine::TKWScriptEngine(TKWScriptHost* host, TStringList* firstTable,
                                 TStringList* secondTable)
    : host_(host) {
  if (!firstTable) {
    ownFirst_ = std::make_unique<TStringList>();
    firstTable = ownFirst_.get();
  }
  if (!secondTable) {
    ownSecond_ = std::make_unique<TStringList>();
    secondTable = ownSecond_.get();
  }
  first_ = firstTable;
  second_ = secondTable;
  KWSFillKeywordTables(*first_, *second_);
}

TKWScriptEngine::~TKWScriptEngine() {
  if (ownFirst_) FreeKeywordTable(*ownFirst_);
  if (ownSecond_) FreeKeywordTable(*ownSecond_);
}

void TKWScriptEngine::FreeKeywordTable(TStringList& table) {
  for (int i = 0; i < table.Count(); ++i) delete table.ObjectAs<TKWScriptCommand>(i);
  table.Clear();
}

void TKWScriptEngine::SetHost(TKWScriptHost* host) {
  host_ = host;
  CachedProcName.clear();
  CachedParams = nullptr;
}

void TKWScriptEngine::BuildKeywordIndex() {
  index_.clear();
  for (TStringList* t : {first_, second_}) {
    for (int i = 0; i < t->Count(); ++i) {
      std::string key(t->Strings(i));
      for (char& c : key)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
      index_.emplace(key, t->ObjectAs<TKWScriptCommand>(i));  // first match wins
    }
  }
  indexedFirst_ = first_->Count();
  indexedSecond_ = second_->Count();
}

TKWScriptCommand* TKWScriptEngine::LookupKeyword(std::string_view word) {
  if (indexedFirst_ != first_->Count() || indexedSecond_ != second_->Count()) BuildKeywordIndex();
  // The tables compare ASCII letters without regard to case.
  lookupKey_.assign(word);
  for (char& c : lookupKey_)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  auto it = index_.find(lookupKey_);
  return it == index_.end() ? nullptr : it->second;
}

void TKWScriptEngine::Tokenize(std::string_view line) {
  for (auto& t : Tokens) t.clear();
  size_t n = line.size();
  size_t i = 0;
  int k = 0;
  while (true) {
    while (i < n && IsSeparator(line[i])) ++i;
    if (i >= n) return;
    if (line[i] == '"') {
      size_t q = line.find('"', i + 1);
      size_t end = q == std::string_view::npos ? n : q + 1;
      Tokens[k].assign(line.substr(i, end - i));
      return;
    }
    size_t j = i;
    while (j < n && !IsSeparator(line[j])) ++j;
    UpperInto(Tokens[k], line.substr(i, j - i));
    if (j >= n || j + 1 >= n) return;
    i = j;
    if (++k == 4) return;
  }
}

void TKWScriptEngine::RunScript(const TKWScript& script, const std::string& fileName) {
  auto table = std::make_unique<TKWScriptVariable>();
  table->ScriptFile = fileName;
  if (host_) {
    bool clip = false;
    host_->GetMixerSettings(table->MixerOriginX, table->MixerOriginY, clip);
    table->MixerFlag = clip ? 1 : 0;
  }
  table->Script = &script;
  TKWScriptVariable* kept = vars_;
  if (!kept) linesRun_ = 0;
  vars_ = table.get();
  ++depth_;
  if (!kept) ErrorLine = -1;
  int32_t at = -1;
  const size_t lines = size_t(std::max(0, script.Count()));
  table->LineTokens.resize(lines);
  table->LineCut.assign(lines, 0);
  table->LoopEnd.assign(lines + 1, -2);
  try {
    while (vars_->CurrentLine >= 0 && vars_->CurrentLine < script.Count()) {
      at = vars_->CurrentLine;
      const bool cut = vars_->LineCut[size_t(at)];
      const std::array<std::string, 4>& t = LineTokens(at);
      // A line read for the first time was charged by LineTokens.
      if (cut) ChargeLine();
      for (int k = 0; k < 4; ++k) Tokens[k] = t[k];
      ExecTokens(script.Strings(at));
    }
    if (OnRunEnd) OnRunEnd(*vars_);
  } catch (...) {
    if (!kept) ErrorLine = at;
    vars_ = kept;
    --depth_;
    throw;
  }
  vars_ = kept;
  --depth_;
}

void TKWScriptEngine::RunFile(const std::string& fileName) {
  TKWScript script = TKWScript::CreateFromFile(fileName);
  RunScript(script, fileName);
}

void TKWScriptEngine::ChargeLine() {
  if (LineBudget && ++linesRun_ > LineBudget) throw Exception("line budget exhausted");
}

const std::array<std::string, 4>& TKWScriptEngine::LineTokens(int i) {
  TKWScriptVariable& v = *vars_;
  const size_t k = size_t(i);
  if (!v.LineCut[k]) {
    ChargeLine();
    // Tokenize works on the engine's slots; the slots of the line being
    // run are already converted into arguments by the time a jump scans.
    std::array<std::string, 4> kept = Tokens;
    Tokenize(v.Script->Strings(i));
    v.LineTokens[k] = Tokens;
    Tokens = std::move(kept);
    v.LineCut[k] = 1;
  }
  return v.LineTokens[k];
}

int TKWScriptEngine::FindFirstLine(const std::string& word) {
  TKWScriptVariable& v = *vars_;
  if (!v.FirstLinesKnown) {
    const int n = v.Script->Count();
    for (int i = 0; i < n; ++i) v.FirstLineOf.emplace(LineTokens(i)[0], i);  // first wins
    v.FirstLinesKnown = true;
  }
  auto it = v.FirstLineOf.find(word);
  return it == v.FirstLineOf.end() ? -1 : it->second;
}

int TKWScriptEngine::FindMatchingLoop(int from) {
  TKWScriptVariable& v = *vars_;
  const int n = v.Script->Count();
  if (from < 0 || from > n) return -1;
  int32_t& known = v.LoopEnd[size_t(from)];
  if (known != -2) return known;
  int depth = 0;
  int found = -1;
  for (int i = from; i < n && found < 0; ++i) {
    const std::string& t = LineTokens(i)[0];
    if (t == "WHILE" || t == "UNTIL") {
      ++depth;
    } else if (t == "LOOP") {
      if (--depth < 0) found = i;
    }
  }
  known = found;
  return found;
}

bool TKWScriptEngine::ExecLine(const std::string& line) {
  ChargeLine();
  Tokenize(line);
  return ExecTokens(line);
}

bool TKWScriptEngine::ExecTokens(const std::string& line) {
  if (Tokens[0].empty()) {
    ++vars_->CurrentLine;
    return false;
  }
  TKWScriptCommand* cmd = LookupKeyword(Tokens[0]);
  if (!cmd) {
    ++vars_->CurrentLine;
    return false;
  }
  try {
    for (int i = 1; i <= 3; ++i) ConvertArgument(i, cmd->ArgKinds[i - 1]);
    ++vars_->CurrentLine;
    cmd->Execute(*this);
  } catch (EKWSException& e) {
    e.AppendMessage(std::string(kCRLF) + "At " + KWSQuote(line));
    throw;
  }
  return true;
}

void TKWScriptEngine::ConvertArgument(int i, TKWSArgKind kind) {
  TKWSArgValue& a = Args[i];
  const std::string& tok = Tokens[i];
  switch (kind) {
    case akNone:
      break;
    case akImage:
      a.Image = LookupImage(tok);
      break;
    case akNumber:
      a.Number = EvalNumber(tok);
      break;
    case akString:
      a.String = EvalString(tok);
      break;
    case akBool:
      a.Bool = EvalBool(tok);
      break;
    case akName:
      a.String = tok;
      break;
  }
}

TKWChild* TKWScriptEngine::LookupImage(const std::string& token) {
  int i = vars_->ImageNames.IndexOf(token);
  if (i < 0) throw EKWSUnknownName(KWSQuote(token) + "は無効な識別子です。");
  TKWChild* doc = vars_->Images[i];
  if (doc && host_ && !host_->DocumentAlive(doc)) {
    vars_->Images[i] = nullptr;  // the document was closed meanwhile
    return nullptr;
  }
  return doc;
}

double TKWScriptEngine::EvalNumber(const std::string& token) {
  TKWScriptVariable& v = *vars_;
  if (token.size() >= 10 && (token[0] == 'M' || token[0] == 'G')) {
    if (token == "MIXER.ORIGIN_X") return v.MixerOriginX;
    if (token == "MIXER.ORIGIN_Y") return v.MixerOriginY;
    if (token == "MIXER.FLAG") return v.MixerFlag;
    if (token == "GENERATOR.WIDTH") return v.GeneratorWidth;
    if (token == "GENERATOR.HEIGHT") return v.GeneratorHeight;
  }
  double d;
  if (KWSTextToFloat(token, d)) return d;
  size_t dot = token.find('.');
  if (dot == std::string::npos) {
    int i = v.ValueNames.IndexOf(token);
    if (i < 0) throw EKWSUnknownName(KWSQuote(token) + "は無効な識別子です。");
    return v.Values[i];
  }
  TKWParameter* p = FindParameter(token.substr(0, dot), token.substr(dot + 1));
  switch (p->ParamType) {
    case TKWParamType::ptInteger:
      return p->AsInteger();
    case TKWParamType::ptSingle:
      return p->AsSingle();
    case TKWParamType::ptDouble:
      return p->AsDouble();
    default:
      throw EKWSInvalidValue("数値が必要ですが\"" + token + "は数値型ではありません。");
  }
}

std::string TKWScriptEngine::EvalString(const std::string& token) {
  if (!token.empty() && token[0] == '"') {
    if (token.size() < 2) return std::string();
    return token.substr(1, token.size() - 2);
  }
  size_t dot = token.find('.');
  if (dot != std::string::npos) {
    TKWParameter* p = FindParameter(token.substr(0, dot), token.substr(dot + 1));
    if (p->ParamType != TKWParamType::ptString)
      throw EKWSInvalidValue("文字列が必要ですが\"" + token + "は文字列型ではありません。");
    return p->AsString();
  }
  int i = vars_->StringNames.IndexOf(token);
  if (i >= 0) return vars_->Strings[i];
  return token;
}

bool TKWScriptEngine::EvalBool(const std::string& token) {
  if (token == "MIXER.CLIPPING") return (vars_->MixerFlag & 1) != 0;
  if (token == "TRUE") return true;
  if (token == "FALSE") return false;
  size_t dot = token.find('.');
  if (dot != std::string::npos) {
    TKWParameter* p = FindParameter(token.substr(0, dot), token.substr(dot + 1));
    if (p->ParamType != TKWParamType::ptBoolean)
      throw EKWSInvalidValue("論理値が必要ですが\"" + token + "は論理型ではありません。");
    return p->AsBoolean();
  }
  int i = vars_->BoolNames.IndexOf(token);
  if (i < 0) throw EKWSUnknownName(KWSQuote(token) + "は無効な識別子です。");
  return vars_->Bools[i] != 0;
}

TStringList* TKWScriptEngine::ResolveParams(const std::string& proc) {
  if (proc != CachedProcName || !CachedParams) {
    TKWProcessor* p = host_ ? host_->FindProcessor(proc) : nullptr;
    if (!p) throw EKWSProcNotExist("指定されたプロセッサ" + KWSQuote(proc) + "は存在しません。");
    CachedParams = p->GetParams(nullptr);
    CachedProcName = proc;
  }
  return CachedParams;
}

TKWParameter* TKWScriptEngine::FindParameter(const std::string& proc, const std::string& param) {
  TStringList* params = ResolveParams(proc);
  int i = params ? params->IndexOf(param) : -1;
  if (i < 0)
    throw EKWSParamNotExist("プロセッサ" + KWSQuote(proc) + "には" + kCRLF + "指定されたパラメータ" +
                            KWSQuote(param) + "は存在しません。");
  return params->ObjectAs<TKWParameter>(i);
}

void TKWScriptEngine::SetParameter(const std::string& proc, const std::string& param,
                                   const std::string& valueToken) {
  TKWScriptVariable& v = *vars_;
  if (proc == "MIXER") {
    if (param == "ORIGIN_X")
      v.MixerOriginX = KWSRound32(EvalNumber(valueToken));
    else if (param == "ORIGIN_Y")
      v.MixerOriginY = KWSRound32(EvalNumber(valueToken));
    else if (param == "FLAG")
      v.MixerFlag = KWSRound32(EvalNumber(valueToken));
    else if (param == "CLIPPING") {
      if (EvalBool(valueToken))
        v.MixerFlag |= 1;
      else
        v.MixerFlag &= ~1;
    }
    return;
  }
  if (proc == "GENERATOR") {
    if (param == "WIDTH")
      v.GeneratorWidth = KWSRound32(EvalNumber(valueToken));
    else if (param == "HEIGHT")
      v.GeneratorHeight = KWSRound32(EvalNumber(valueToken));
    return;
  }
  TKWParameter* p = FindParameter(proc, param);
  switch (p->ParamType) {
    case TKWParamType::ptBoolean: {
      bool b;
      try {
        b = EvalBool(valueToken);
      } catch (const std::exception&) {
        throw EKWSInvalidValue("論理型のパラメータ\"" + proc + "." + param + "\"には" + kCRLF +
                               "指定された値" + KWSQuote(valueToken) + "は代入できません。");
      }
      p->SetBoolean(b);
      break;
    }
    case TKWParamType::ptInteger:
      // A failed literal falls through to the variable and parameter
      // lookups, whose own errors are reported as they are.
      p->SetInteger(KWSRound32(EvalNumber(valueToken)));
      break;
    case TKWParamType::ptSingle: {
      float f = float(EvalNumber(valueToken));
      if (std::isinf(f)) throw EOverflow();
      p->SetSingle(f);
      break;
    }
    case TKWParamType::ptDouble:
      p->SetDouble(EvalNumber(valueToken));
      break;
    case TKWParamType::ptString:
      p->SetString(EvalString(valueToken));
      break;
  }
}
