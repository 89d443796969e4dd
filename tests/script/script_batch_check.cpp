// .kws files run through the batch runner: exit codes, stdout and stderr
// byte for byte.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "script_test_support.h"

namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Whether the scripts run through the program itself (KW --run, with the
// standard package) or through the stand-in with the test processors.
bool gThroughProgram = false;

// Runs the runner in the folder of the .kws files with the given arguments.
Outcome RunBatch(const std::vector<std::string>& args) {
  TempDir tmp;
  std::string outFile = tmp.Path("out"), errFile = tmp.Path("err");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(KWS_DIR) != 0) _exit(120);
    if (!freopen(outFile.c_str(), "wb", stdout) || !freopen(errFile.c_str(), "wb", stderr)) _exit(121);
    const char* exe = gThroughProgram ? KW_EXE : KWS_RUNNER;
    std::vector<char*> argv{const_cast<char*>(exe)};
    if (gThroughProgram) argv.push_back(const_cast<char*>("--run"));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe, argv.data());
    _exit(122);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome o;
  o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = ReadAll(outFile);
  o.err = ReadAll(errFile);
  return o;
}

std::string At(const std::string& line) { return "\r\nAt \"" + line + "\""; }

class BatchRun : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { gThroughProgram = GetParam(); }
};

TEST_P(BatchRun, ScriptThatChecksItselfEndsWithZero) {
  Outcome o = RunBatch({"selfcheck.kws"});
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.code, 0);
}

TEST_P(BatchRun, ScriptErrorsGiveExitOneAndTheMessage) {
  Outcome o = RunBatch({"unknown_name.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "\"ABC\"は無効な識別子です。" + At("  = x abc") + "\n");
  o = RunBatch({"call_error.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "\"B\"は無効な識別子です。" + At("= A b") + At("Call \"sub_fail.kws\"") + "\n");
  if (gThroughProgram) {  // the same check on a processor of the standard package
    TempDir dir;
    std::string path = dir.File("gamma_bool.kws", "= GAMMA.COLOR 1\r\n");
    o = RunBatch({path});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "論理型のパラメータ\"GAMMA.COLOR\"には\r\n指定された値\"1\"は代入できません。" +
                         At("= GAMMA.COLOR 1") + "\n");
  } else {  // NEG is a test processor
    o = RunBatch({"bool_param.kws"});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "論理型のパラメータ\"NEG.FLAG\"には\r\n指定された値\"1\"は代入できません。" + At("= NEG.FLAG 1") + "\n");
  }
  o = RunBatch({"while_no_loop.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "Wihleに対応するLoopが見つかりません。" + At("While B") + "\n");
  o = RunBatch({"for_overflow.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "スタックがオーバーフローしました。ループのネストが深すぎます。" + At("FOR I21 1 1") + "\n");
}

TEST_P(BatchRun, RuntimeFaultsCarryNoLine) {
  Outcome o = RunBatch({"div_zero.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "浮動小数点数の 0 による除算\n");
}

TEST_P(BatchRun, RecursionStopsWithAClearError) {
  Outcome o = RunBatch({"recursion.kws"});
  EXPECT_EQ(o.code, 1);
  std::string expected = "スクリプトの呼び出しが深すぎます。CALLのネストは64段までです。";
  for (int i = 0; i < 64; ++i) expected += At("CALL \"recursion.kws\"");
  EXPECT_EQ(o.err, expected + "\n");
}

TEST_P(BatchRun, InformationBoxesGoToStdout) {
  Outcome o = RunBatch({"timedlg.kws"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.err, "");
  ASSERT_GT(o.out.size(), 20u);
  EXPECT_EQ(o.out.rfind("経過時間: ", 0), 0u);
  EXPECT_EQ(o.out.substr(o.out.size() - 3), "ms\n");
}

TEST_P(BatchRun, MissingFileAndUsage) {
  Outcome o = RunBatch({"no_such.kws"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "スクリプトファイル\"no_such.kws\"が見つかりません。\n");
  o = RunBatch({});
  EXPECT_EQ(o.code, 2);
}

TEST_P(BatchRun, ShiftJisFileIsReadAsShiftJis) {
  TempDir dir;
  // STRING S, then a failing assignment whose line holds "日本" in Shift-JIS.
  std::string path = dir.File("sjis.kws", "STRING S\r\n= S \"\x93\xFA\x96\x7B\"\r\n= Q S\r\n; \x93\xFA\r\n");
  Outcome o = RunBatch({path});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "\"Q\"は無効な識別子です。" + At("= Q S") + "\n");
  path = dir.File("sjis2.kws", "STRING \x93\xFA\r\nVALUE \x93\xFA\r\n= \x93\xFA x\r\n");
  o = RunBatch({path});
  EXPECT_EQ(o.err, "\"X\"は無効な識別子です。" + At("= 日 x") + "\n");
}

INSTANTIATE_TEST_SUITE_P(Runners, BatchRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? std::string("Program") : std::string("StandIn");
                         });

}  // namespace
