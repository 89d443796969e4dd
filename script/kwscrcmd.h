// Command classes of the script language: definitions, assignment,
// arithmetic, mathematical functions, comparisons, logic, random numbers,
// timing, calls and control flow.  The intermediate classes fix the argument
// kinds of their descendants; the concrete classes implement Execute.
#pragma once

#include "script/kwscrengine.h"

class TKWSDefineCommand : public TKWScriptCommand {
 public:
  TKWSDefineCommand() : TKWScriptCommand(akName) {}
};
class TKWSOperateCommand : public TKWScriptCommand {
 public:
  TKWSOperateCommand() : TKWScriptCommand(akName, akName) {}
};
class TKWSMathCommand : public TKWScriptCommand {
 public:
  TKWSMathCommand() : TKWScriptCommand(akName, akNumber, akNumber) {}
};
class TKWSValueCommand : public TKWScriptCommand {
 public:
  TKWSValueCommand() : TKWScriptCommand(akName, akNumber) {}
};
class TKWSBoolCommand : public TKWScriptCommand {
 public:
  TKWSBoolCommand() : TKWScriptCommand(akName, akBool, akBool) {}
};
class TKWSCtrlCommand : public TKWScriptCommand {
 public:
  TKWSCtrlCommand() : TKWScriptCommand() {}
};
class TKWSLoopCommand : public TKWScriptCommand {
 public:
  TKWSLoopCommand() : TKWScriptCommand(akBool) {}
};
class TKWSConstCommand : public TKWScriptCommand {
 public:
  TKWSConstCommand() : TKWScriptCommand(akNumber) {}
};

class TKWSFuncIf : public TKWScriptCommand {
 public:
  TKWSFuncIf() : TKWScriptCommand(akBool, akString) {}
  void Execute(TKWScriptEngine& E) override;

 protected:
  void Jump(TKWScriptEngine& E, const std::string& label);
};
class TKWSFuncIfNot : public TKWSFuncIf {
 public:
  void Execute(TKWScriptEngine& E) override;
};
class TKWSFuncCall : public TKWScriptCommand {
 public:
  TKWSFuncCall() : TKWScriptCommand(akString) {}
  void Execute(TKWScriptEngine& E) override;
};

#define KWS_COMMAND(Name, Base)                   \
  class Name : public Base {                      \
   public:                                        \
    void Execute(TKWScriptEngine& E) override;    \
  };

KWS_COMMAND(TKWSDefineImage, TKWSDefineCommand)
KWS_COMMAND(TKWSDefineVal, TKWSDefineCommand)
KWS_COMMAND(TKWSDefineStr, TKWSDefineCommand)
KWS_COMMAND(TKWSDefineBool, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncInc, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncDec, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncNot, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncRandom, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncTickCount, TKWSDefineCommand)

KWS_COMMAND(TKWSOpEqual, TKWSOperateCommand)

KWS_COMMAND(TKWSFuncAdd, TKWSMathCommand)
KWS_COMMAND(TKWSFuncSub, TKWSMathCommand)
KWS_COMMAND(TKWSFuncMul, TKWSMathCommand)
KWS_COMMAND(TKWSFuncDiv, TKWSMathCommand)
KWS_COMMAND(TKWSFuncMod, TKWSMathCommand)
KWS_COMMAND(TKWSFuncEven, TKWSMathCommand)
KWS_COMMAND(TKWSFuncDifferent, TKWSMathCommand)
KWS_COMMAND(TKWSFuncLarge, TKWSMathCommand)
KWS_COMMAND(TKWSFuncSmall, TKWSMathCommand)
KWS_COMMAND(TKWSFuncEvenLarge, TKWSMathCommand)
KWS_COMMAND(TKWSFuncEvenSmall, TKWSMathCommand)
KWS_COMMAND(TKWSFuncLog, TKWSMathCommand)
KWS_COMMAND(TKWSFuncPower, TKWSMathCommand)
KWS_COMMAND(TKWSFuncRandomInt, TKWSMathCommand)
KWS_COMMAND(TKWSFuncFor, TKWSMathCommand)

KWS_COMMAND(TKWSFuncAbs, TKWSValueCommand)
KWS_COMMAND(TKWSFuncSin, TKWSValueCommand)
KWS_COMMAND(TKWSFuncCos, TKWSValueCommand)
KWS_COMMAND(TKWSFuncTan, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcSin, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcCos, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcTan, TKWSValueCommand)
KWS_COMMAND(TKWSFuncSinh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncCosh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncTanh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcSinh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcCosh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncArcTanh, TKWSValueCommand)
KWS_COMMAND(TKWSFuncSqr, TKWSValueCommand)
KWS_COMMAND(TKWSFuncSqrt, TKWSValueCommand)
KWS_COMMAND(TKWSFuncExp, TKWSValueCommand)
KWS_COMMAND(TKWSFuncLn, TKWSValueCommand)
KWS_COMMAND(TKWSFuncLog10, TKWSValueCommand)
KWS_COMMAND(TKWSFuncFact, TKWSValueCommand)

KWS_COMMAND(TKWSFuncAND, TKWSBoolCommand)
KWS_COMMAND(TKWSFuncOR, TKWSBoolCommand)
KWS_COMMAND(TKWSFuncXOR, TKWSBoolCommand)
KWS_COMMAND(TKWSFuncNAND, TKWSBoolCommand)
KWS_COMMAND(TKWSFuncNOR, TKWSBoolCommand)

KWS_COMMAND(TKWSFuncNext, TKWSCtrlCommand)
KWS_COMMAND(TKWSFuncLoop, TKWSCtrlCommand)
KWS_COMMAND(TKWSFuncRepeat, TKWSCtrlCommand)

KWS_COMMAND(TKWSFuncWhile, TKWSLoopCommand)
KWS_COMMAND(TKWSFuncUntil, TKWSLoopCommand)
KWS_COMMAND(TKWSFuncLoopWhile, TKWSLoopCommand)
KWS_COMMAND(TKWSFuncLoopUntil, TKWSLoopCommand)

KWS_COMMAND(TKWSFuncTimeDlg, TKWSConstCommand)

// --- runs from the command line: arguments, folders, names ---------------------

// GETARGUMENT N I: argument I (from 1) of the run into the string or number
// variable N.  ARGUMENTCOUNT N: their number.  GETFOLDER S W: a folder of
// the program (W is SCRIPT, PROGRAM or DATA) with a trailing '/'.  CONCAT S
// A B: S := A followed by B.  MAKEFOLDER F: creates folder F and its
// parents.
class TKWSFuncGetArgument : public TKWScriptCommand {
 public:
  TKWSFuncGetArgument() : TKWScriptCommand(akName, akNumber) {}
  void Execute(TKWScriptEngine& E) override;
};
KWS_COMMAND(TKWSFuncArgumentCount, TKWSDefineCommand)
class TKWSFuncGetFolder : public TKWScriptCommand {
 public:
  TKWSFuncGetFolder() : TKWScriptCommand(akName, akString) {}
  void Execute(TKWScriptEngine& E) override;
};
class TKWSFuncConcat : public TKWScriptCommand {
 public:
  TKWSFuncConcat() : TKWScriptCommand(akName, akString, akString) {}
  void Execute(TKWScriptEngine& E) override;
};
class TKWSFuncMakeFolder : public TKWScriptCommand {
 public:
  TKWSFuncMakeFolder() : TKWScriptCommand(akString) {}
  void Execute(TKWScriptEngine& E) override;
};

// --- documents, processors, files and the alpha channel -------------------------

// Commands on one document: Image.
class TKWSEditCommand : public TKWScriptCommand {
 public:
  TKWSEditCommand() : TKWScriptCommand(akImage) {}
};
// A document and a file name: Image, String.
class TKWSFileCommand : public TKWScriptCommand {
 public:
  TKWSFileCommand() : TKWScriptCommand(akImage, akString) {}
};
// An image variable to fill and a file name: Name, String.
class TKWSOpenCommand : public TKWScriptCommand {
 public:
  TKWSOpenCommand() : TKWScriptCommand(akName, akString) {}
};
// Image, Number.
class TKWSACCreateValue : public TKWScriptCommand {
 public:
  TKWSACCreateValue() : TKWScriptCommand(akImage, akNumber) {}
  void Execute(TKWScriptEngine& E) override;
};
// Name, Image: the filter command and the commands that share its kinds.
class TKWSFuncExecFilter : public TKWScriptCommand {
 public:
  TKWSFuncExecFilter() : TKWScriptCommand(akName, akImage) {}
  void Execute(TKWScriptEngine& E) override;
};
// Name, Image, Image.
class TKWSFuncExecMixer : public TKWScriptCommand {
 public:
  TKWSFuncExecMixer() : TKWScriptCommand(akName, akImage, akImage) {}
  void Execute(TKWScriptEngine& E) override;
};
// Name, Name.
class TKWSFuncExecGenerator : public TKWScriptCommand {
 public:
  TKWSFuncExecGenerator() : TKWScriptCommand(akName, akName) {}
  void Execute(TKWScriptEngine& E) override;
};

KWS_COMMAND(TKWSEditUndo, TKWSEditCommand)
KWS_COMMAND(TKWSEditRedo, TKWSEditCommand)
KWS_COMMAND(TKWSEditCopy, TKWSEditCommand)
KWS_COMMAND(TKWSEditPaste, TKWSEditCommand)
KWS_COMMAND(TKWSACClear, TKWSEditCommand)
KWS_COMMAND(TKWSACInvert, TKWSEditCommand)
KWS_COMMAND(TKWSACCreateImage, TKWSEditCommand)
KWS_COMMAND(TKWSACCreateHarf, TKWSEditCommand)
KWS_COMMAND(TKWSACCopy, TKWSEditCommand)
KWS_COMMAND(TKWSACPaste, TKWSEditCommand)

KWS_COMMAND(TKWSFileSave, TKWSFileCommand)
KWS_COMMAND(TKWSEditOpen, TKWSFileCommand)
KWS_COMMAND(TKWSFuncSaveNum, TKWSFileCommand)
KWS_COMMAND(TKWSACLoad, TKWSFileCommand)
KWS_COMMAND(TKWSACSave, TKWSFileCommand)

KWS_COMMAND(TKWSFileOpen, TKWSOpenCommand)
KWS_COMMAND(TKWSFuncFindFirst, TKWSOpenCommand)

KWS_COMMAND(TKWSFileClone, TKWSFuncExecFilter)
KWS_COMMAND(TKWSFuncGetWidth, TKWSFuncExecFilter)
KWS_COMMAND(TKWSFuncGetHeight, TKWSFuncExecFilter)

KWS_COMMAND(TKWSFuncGetCurImage, TKWSDefineCommand)
KWS_COMMAND(TKWSFileClose, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncAllImage, TKWSDefineCommand)
KWS_COMMAND(TKWSFuncGetSelImage, TKWSOperateCommand)
KWS_COMMAND(TKWSFuncFindNext, TKWSCtrlCommand)
KWS_COMMAND(TKWSFuncNextImage, TKWSCtrlCommand)

// The first free numbered name for SAVENUM: F without its extension, k with
// at least three digits, F's extension; k counts up from 0 while a file of
// that name exists.
std::string KWSNumberedName(const std::string& fileName);

// Fills the two keyword tables in the order of the keyword list: the
// document and alpha-channel commands into first, the others into second.
void KWSFillKeywordTables(TStringList& first, TStringList& second);

// Pure arithmetic of the commands, shared with the tests: each raises the
// runtime's floating-point or integer error where the command does.
namespace kws {
double Add(double a, double b);
double Sub(double a, double b);
double Mul(double a, double b);
double Div(double a, double b);
double Mod(double a, double b);
double Log(double base, double x);
double Power(double a, double b);
int32_t Factorial(double a);
// Result of a library function: NaN is an invalid operation, an infinite
// value a division by zero at a pole or else an overflow.
double CheckResult(long double r, bool pole);
}  // namespace kws
