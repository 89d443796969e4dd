// The script engine: runs a TKWScript line by line, converts the argument
// tokens of each line, keeps the variables and the loop stack of the running
// script and resolves processor parameters written PROC.PARAM.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/stringlist.h"
#include "platform/sysutils.h"
#include "script/kwscrerrors.h"
#include "script/kwscrhost.h"
#include "script/kwscript.h"

class TKWParameter;
class TKWScriptEngine;

enum TKWSArgKind : uint8_t { akNone = 0, akImage = 1, akNumber = 2, akString = 3, akBool = 4, akName = 5 };
enum TKWSStackKind : uint8_t {
  skFor = 0, skWhile = 1, skUntil = 2, skRepeat = 3, skFind = 4, skAllImage = 5, skFree = 6
};

constexpr int kKWSMaxVariables = 128;
constexpr int kKWSStackSize = 64;
// Nested "CALL"s deeper than this stop with an error instead of exhausting
// the process stack.
constexpr int kKWSMaxCallDepth = 64;

// The converted value of one argument position of the line being run.
struct TKWSArgValue {
  double Number = 0;
  std::string String;  // akString: the text; akName: the token
  bool Bool = false;
  TKWChild* Image = nullptr;
};

// Base of every command class.  A command object keeps no state between two
// lines; the run-time state lives in the variable table.
class TKWScriptCommand {
 public:
  explicit TKWScriptCommand(TKWSArgKind k1 = akNone, TKWSArgKind k2 = akNone,
                            TKWSArgKind k3 = akNone)
      : ArgKinds{k1, k2, k3} {}
  virtual ~TKWScriptCommand() = default;
  virtual void Execute(TKWScriptEngine& E) = 0;

  std::array<TKWSArgKind, 3> ArgKinds;
};

// The variables, the loop stack and the position of one running script.
class TKWScriptVariable {
 public:
  TKWScriptVariable();
  ~TKWScriptVariable();

  int32_t CurrentLine = 0;
  int32_t StackDepth = 0;
  int32_t StackValues[kKWSStackSize] = {};
  uint8_t StackKinds[kKWSStackSize];
  TKWChild* Images[kKWSMaxVariables] = {};
  double Values[kKWSMaxVariables] = {};
  std::string Strings[kKWSMaxVariables];
  uint8_t Bools[kKWSMaxVariables] = {};
  TStringList ImageNames, ValueNames, StringNames, BoolNames;
  int32_t MixerOriginX = 0;
  int32_t MixerOriginY = 0;
  int32_t MixerFlag = 0;
  int32_t GeneratorWidth = 0;
  int32_t GeneratorHeight = 0;
  const TKWScript* Script = nullptr;
  // Each line of Script is cut into tokens once per run, when it is first
  // read (run, or scanned by a jump); labels and the ends of skipped loops
  // are found from tables instead of reading the text again.
  std::vector<std::array<std::string, 4>> LineTokens;
  std::vector<uint8_t> LineCut;
  // Token 0 of every line -> the first line that has it; built on the first
  // jump to a label.
  std::unordered_map<std::string, int32_t> FirstLineOf;
  bool FirstLinesKnown = false;
  // For a search from line i: the matching "LOOP" line (-1: none; -2: not
  // searched yet).
  std::vector<int32_t> LoopEnd;
  // The file the script was read from ("" for a text not read from a file).
  std::string ScriptFile;
  // State of the open file loop.
  std::vector<TSearchRec> FindRec;
  size_t FindIndex = 0;
  uint8_t FindActive = 0;
  std::string FindDir;

  // Loop stack cells are numbered 1 to 64.
  int32_t& Cell(int n) { return StackValues[n - 1]; }
  uint8_t& CellKind(int n) { return StackKinds[n - 1]; }
  // Pushes a frame of the given values, all of one kind; raises the overflow
  // error when the stack would exceed 64 cells.
  void Push(std::initializer_list<int32_t> values, TKWSStackKind kind);
  // Releases the top n cells.
  void Pop(int n);
  // Whether the top n cells exist and are all of the given kind.
  bool TopIs(int n, TKWSStackKind kind) const;
};

class TKWScriptEngine {
 public:
  // Fills the two keyword tables (the document commands go into the first,
  // all others into the second).  The tables normally belong to the
  // processor manager; with null the engine keeps tables of its own.  The
  // command objects are freed by FreeKeywordTable (the engine does so for
  // its own tables).
  TKWScriptEngine(TKWScriptHost* host, TStringList* firstTable = nullptr,
                  TStringList* secondTable = nullptr);
  ~TKWScriptEngine();
  TKWScriptEngine(const TKWScriptEngine&) = delete;
  TKWScriptEngine& operator=(const TKWScriptEngine&) = delete;

  // Frees the command objects of a keyword table and clears it.
  static void FreeKeywordTable(TStringList& table);

  // fileName: the file the script was read from, if any (GETFOLDER SCRIPT).
  void RunScript(const TKWScript& script, const std::string& fileName = std::string());
  // The caller checks that the file exists.
  void RunFile(const std::string& fileName);

  // The arguments of the run, as strings: the words after the script on
  // KW --run's command line (none in the program's own runs).  Read with
  // GETARGUMENT and ARGUMENTCOUNT, also by the scripts a run calls.
  std::vector<std::string> Arguments;

  // Runs line Line of the current script; whether a command was executed.
  bool ExecLine(const std::string& line);
  void Tokenize(std::string_view line);
  // The tokens of line i of the running script, cut on its first reading in
  // this run (each first reading counts against LineBudget).
  const std::array<std::string, 4>& LineTokens(int i);
  // The first line of the running script whose token 0 is word; -1 if none.
  int FindFirstLine(const std::string& word);
  // The line of the "LOOP" that matches a "WHILE"/"UNTIL" whose body starts
  // at line from (nested WHILE/UNTIL ... LOOP counted); -1 if none.
  int FindMatchingLoop(int from);
  // The command of a word, or null.
  TKWScriptCommand* LookupKeyword(std::string_view word);

  double EvalNumber(const std::string& token);
  std::string EvalString(const std::string& token);
  bool EvalBool(const std::string& token);
  TKWChild* LookupImage(const std::string& token);
  TKWParameter* FindParameter(const std::string& proc, const std::string& param);
  void SetParameter(const std::string& proc, const std::string& param, const std::string& valueToken);

  // Called with the table of every run that reaches its end, just before the
  // table is freed (used to look at the variables after a run).
  std::function<void(const TKWScriptVariable&)> OnRunEnd;

  // Index of the line of the outermost script on which the last run that
  // failed stopped (for a CALL, the CALL line); -1 after a run that ended.
  int32_t ErrorLine = -1;

  // When not 0, a run (with the runs it calls) that reads more lines than
  // this (every line run, and every line a jump scans) stops with an
  // exception; used to bound runs of generated scripts.
  uint64_t LineBudget = 0;

  // The current variable table; null between runs.
  TKWScriptVariable* Vars() const { return vars_; }
  TKWScriptHost* Host() const { return host_; }
  void SetHost(TKWScriptHost* host);
  int CallDepth() const { return depth_; }

  // Token slots 0 to 3 of the last tokenized line.
  std::array<std::string, 4> Tokens;
  // Converted arguments 1 to 3 of the line being run (index 0 unused).
  std::array<TKWSArgValue, 4> Args;

  // The processor name last resolved by FindParameter and its list.
  std::string CachedProcName;
  TStringList* CachedParams = nullptr;

  TStringList& FirstKeywordTable() { return *first_; }
  TStringList& SecondKeywordTable() { return *second_; }

 private:
  void ConvertArgument(int i, TKWSArgKind kind);
  void ChargeLine();
  // Runs the tokens in Tokens as line `line`.
  bool ExecTokens(const std::string& line);
  TStringList* ResolveParams(const std::string& proc);
  void BuildKeywordIndex();

  TKWScriptHost* host_;
  TKWScriptVariable* vars_ = nullptr;
  int depth_ = 0;
  uint64_t linesRun_ = 0;
  std::unique_ptr<TStringList> ownFirst_, ownSecond_;
  TStringList* first_;
  TStringList* second_;
  // Upper-case keyword -> command, equivalent to the first-match search of
  // the two tables; rebuilt when a table's size changes.
  std::unordered_map<std::string, TKWScriptCommand*> index_;
  int indexedFirst_ = -1, indexedSecond_ = -1;
  std::string lookupKey_;
};

// Nearest integer, halves to even, as a 64-bit integer; values beyond the
// 64-bit range (and NaN) raise the invalid-operation error.
int64_t KWSRound(double v);
// The low 32 bits of the rounded value.
inline int32_t KWSRound32(double v) { return int32_t(uint32_t(uint64_t(KWSRound(v)))); }
// Reads a decimal floating-point literal (optional sign, digits with an
// optional fraction, optional exponent; blanks around it allowed).  False
// when the text is not such a literal or lies beyond the range of a double.
bool KWSTextToFloat(std::string_view text, double& value);

// Messages shared by the commands.
std::string KWSQuote(std::string_view s);
