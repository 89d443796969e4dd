// The script editor (offscreen): actions and their enabling, running tabs,
// opening and saving, the log tab, pasted text, and the tabs kept for resume.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPalette>
#include <QToolBar>

#include "platform/inifile.h"
#include "script/scredit.h"
#include "script_test_support.h"
#include "ui/messages.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "script_editor_test";
  static char* argv[] = {name, nullptr};
  // Kept to the end of the process, as in the other window tests: destroyed
  // among the statics it would outlive the storage of the toolkit's font
  // caches, which would then be lost.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    previous = SetMessageHandler([this](TMsgKind kind, const std::string&, const std::string& text, bool) {
      boxes.push_back(text);
      return TMsgResult::Ok;
    });
    editor = std::make_unique<TScriptEditor>(&engine);
  }
  void TearDown() override {
    editor.reset();
    SetMessageHandler(previous);
  }
  std::string Text(int i) { return editor->View(i)->seScript->toPlainText().toStdString(); }

  TestHost host;
  TKWScriptEngine engine{&host};
  std::unique_ptr<TScriptEditor> editor;
  std::vector<std::string> boxes;
  TMessageHandler previous;
};

TEST_F(Editor, ActionsAndTheirEnabling) {
  EXPECT_EQ(editor->windowTitle().toStdString(), "スクリプト");
  EXPECT_EQ(editor->actScrNew->text().toStdString(), "新規作成(&N)");
  EXPECT_EQ(editor->actScrOpen->toolTip().toStdString(), "スクリプトファイルを開く");
  EXPECT_EQ(editor->actScrFileExecute->text().toStdString(), "ファイルを実行(&F)...");
  EXPECT_EQ(editor->actScrPaste->text().toStdString(), "貼り付け");
  for (QAction* a : {editor->actScrSave, editor->actScrExecute, editor->actScrClose, editor->actScrCopy,
                     editor->actScrCut, editor->actScrPaste})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  for (QAction* a : {editor->actScrNew, editor->actScrOpen, editor->actScrFileExecute}) EXPECT_TRUE(a->isEnabled());
  editor->actScrNew->trigger();
  ASSERT_EQ(editor->TabCount(), 1);
  EXPECT_EQ(editor->TabCaption(0).toStdString(), "New");
  for (QAction* a : {editor->actScrSave, editor->actScrExecute, editor->actScrClose, editor->actScrCopy,
                     editor->actScrCut, editor->actScrPaste})
    EXPECT_TRUE(a->isEnabled());
  // Running the new, empty tab runs nothing and reports nothing.
  editor->actScrExecute->trigger();
  EXPECT_TRUE(boxes.empty());
  editor->actScrClose->trigger();
  EXPECT_EQ(editor->TabCount(), 0);
  EXPECT_FALSE(editor->actScrExecute->isEnabled());
  // The toolbar and the popup menu hold the actions in their order.
  QStringList tb, pm;
  for (QAction* a : editor->tbScript->actions()) tb << (a->isSeparator() ? "-" : a->objectName());
  for (QAction* a : editor->pmScript->actions()) pm << (a->isSeparator() ? "-" : a->objectName());
  EXPECT_EQ(tb.join(",").toStdString(), "-,actScrNew,actScrOpen,actScrSave,-,actScrCopy,actScrCut,actScrPaste,-,actScrExecute");
  EXPECT_EQ(pm.join(",").toStdString(),
            "actScrClose,actScrNew,actScrOpen,actScrSave,-,actScrCopy,actScrCut,actScrPaste,-,actScrExecute,"
            "actScrFileExecute");
}

TEST_F(Editor, MemoLooksAndRunsAsItShould) {
  editor->actScrNew->trigger();
  TKWScrEdit* memo = editor->ActiveView()->seScript;
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_FALSE(memo->tabChangesFocus());
  EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(Qt::black));
  EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(memo->font().pixelSize(), 13);
  memo->setPlainText("VALUE X\n\tTIMEDLG 0\n= x abc");
  EXPECT_EQ(memo->Script().Count(), 3);
  editor->actScrExecute->trigger();
  ASSERT_EQ(host.messages.size(), 1u);  // TIMEDLG ran
  ASSERT_EQ(boxes.size(), 1u);
  // The message, then the number of the failing line, which is selected.
  EXPECT_EQ(boxes[0], "\"ABC\"は無効な識別子です。\r\nAt \"= x abc\"\r\n(3行目)");
  EXPECT_EQ(memo->textCursor().selectedText().toStdString(), "= x abc");
  EXPECT_EQ(memo->toPlainText().toStdString(), "VALUE X\n\tTIMEDLG 0\n= x abc");  // the text is unchanged
}

TEST_F(Editor, OpenSaveAndRunFiles) {
  TempDir dir;
  std::string f = dir.File("first.kws", "VALUE A\r\n= A 1\r\n");
  editor->AskFileName = [&](bool save) { return save ? dir.Path("saved") : f; };
  editor->actScrOpen->trigger();
  ASSERT_EQ(editor->TabCount(), 1);
  EXPECT_EQ(editor->TabCaption(0).toStdString(), "first.kws");
  EXPECT_EQ(Text(0), "VALUE A\n= A 1");
  // Saving under a name without extension adds ".kws"; an existing file is replaced.
  dir.File("saved.kws", "old contents that are longer");
  editor->actScrSave->trigger();
  EXPECT_EQ(editor->TabCaption(0).toStdString(), "saved.kws");
  std::ifstream in(dir.Path("saved.kws"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "VALUE A\r\n= A 1\r\n");
  // A file that cannot be written: error box, caption unchanged.
  editor->AskFileName = [&](bool) { return dir.Path("no/such/x.kws"); };
  editor->actScrSave->trigger();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(editor->TabCaption(0).toStdString(), "saved.kws");
  // Running a file opens no tab; its errors go to the error box.
  std::string bad = dir.File("bad.kws", "NEXT\r\n");
  editor->AskFileName = [&](bool) { return bad; };
  editor->actScrFileExecute->trigger();
  EXPECT_EQ(editor->TabCount(), 1);
  EXPECT_EQ(boxes.back(), "ForとNextが対応していません。\r\nAt \"NEXT\"\r\n(1行目)");
  // A cancelled dialog does nothing.
  editor->AskFileName = [&](bool) { return std::string(); };
  editor->actScrOpen->trigger();
  EXPECT_EQ(editor->TabCount(), 1);
  EXPECT_THROW(editor->OpenScriptFile(dir.Path("missing.kws")), EInOutError);
  EXPECT_EQ(editor->TabCount(), 1);
}

// A script started in the program runs in its own folder: a relative CALL
// finds the file beside it, GETFOLDER SCRIPT names that folder, and the
// program's current folder is back afterwards.  A saved tab runs the same.
TEST_F(Editor, ScriptsRunInTheirOwnFolder) {
  TempDir dir;
  dir.File("sub.kws", "VALUE X\r\n");
  const std::string main = dir.File("main.kws", "CALL \"sub.kws\"\r\nSTRING S\r\nGETFOLDER S SCRIPT\r\n");
  std::vector<std::string> folders;
  engine.OnRunEnd = [&](const TKWScriptVariable& v) {
    if (v.StringNames.Count() == 1) folders.push_back(v.Strings[0]);
  };
  const QString before = QDir::currentPath();
  ASSERT_NE(before.toStdString() + "/", dir.Path(""));
  editor->RunScriptFile(main);
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  EXPECT_EQ(QDir::currentPath(), before);
  editor->OpenScriptFile(main);
  editor->actScrExecute->trigger();
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  ASSERT_EQ(folders.size(), 2u);
  for (const std::string& f : folders) EXPECT_EQ(f, dir.Path(""));
}

TEST_F(Editor, LogTabsAndPastedText) {
  std::vector<std::unique_ptr<TKWParamPack>> log;
  editor->ShowLog(log);
  editor->ShowLog(log);
  ASSERT_EQ(editor->TabCount(), 2);
  EXPECT_EQ(editor->TabCaption(0).toStdString(), "Log");
  EXPECT_EQ(editor->TabCaption(1).toStdString(), "Log");
  EXPECT_EQ(Text(1), ";====== Varoka Log Script ======\n\nImage CurrentImage\nCurImg CurrentImage");
  TKWScrEdit* memo = editor->ActiveView()->seScript;
  memo->setPlainText("xx abc yy");
  QTextCursor c = memo->textCursor();
  c.setPosition(3);
  c.setPosition(6, QTextCursor::KeepAnchor);
  memo->setTextCursor(c);
  editor->InsertText("PASTED");
  EXPECT_EQ(memo->toPlainText().toStdString(), "xx PASTED yy");
  EXPECT_FALSE(memo->textCursor().hasSelection());
  EXPECT_EQ(memo->textCursor().position(), 0);
  c = memo->textCursor();
  c.setPosition(2);
  memo->setTextCursor(c);
  editor->InsertText("+");
  EXPECT_EQ(memo->toPlainText().toStdString(), "xx+ PASTED yy");
  while (editor->TabCount()) editor->actScrClose->trigger();
  editor->InsertText("nothing happens");
  EXPECT_EQ(editor->TabCount(), 0);
}

TEST_F(Editor, TabsAreKeptForTheNextStart) {
  TempDir dir;
  std::string r = dir.Path("Resume/");
  editor->actScrNew->trigger();
  editor->ActiveView()->seScript->setPlainText("VALUE A");
  editor->ShowLog({});
  editor->SaveScripts(true, r);
  EXPECT_TRUE(editor->CanClose);
  TMemIniFile ini(r + "Resume.ini");
  EXPECT_EQ(ini.ReadInteger("FileList", "ScriptIndex", -1), 1);
  EXPECT_EQ(ini.ReadString("FileList", "Script0000", ""), "0000.kws");
  EXPECT_EQ(ini.ReadString("FileList", "Script0001", ""), "0001.kws");
  EXPECT_EQ(ini.ReadString("0000.kws", "Title", ""), "New");
  EXPECT_EQ(ini.ReadString("0001.kws", "Title", ""), "Log");
  EXPECT_EQ(TKWScript::CreateFromFile(r + "0000.kws").Strings(0), "VALUE A");

  // With 0000 taken the numbers move on.
  TempDir dir2;
  std::string r2 = dir2.Path("");
  dir2.File("0000.kws", "x");
  editor->SaveScripts(true, r2);
  TMemIniFile ini2(r2 + "Resume.ini");
  EXPECT_EQ(ini2.ReadInteger("FileList", "ScriptIndex", -1), 2);
  EXPECT_EQ(ini2.ReadString("FileList", "Script0001", ""), "0001.kws");
  EXPECT_EQ(ini2.ReadString("FileList", "Script0002", ""), "0002.kws");
  EXPECT_FALSE(ini2.ValueExists("FileList", "Script0000"));

  editor->SaveScripts(false, r2);
  EXPECT_FALSE(editor->CanClose);
  EXPECT_FALSE(editor->close());  // the user cannot close it
}

}  // namespace
