#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <fstream>

#include "doc_test_support.h"
#include "document/intedit.h"
#include "document/kwchild.h"

namespace {

// A document showing a 20 x 10 pattern named "photo.bmp" loaded from disk.
struct DocFixture : ::testing::Test {
  TempDataDir data;
  MessageRecorder msgs;
  DialogAnswers dialogs;
  TKWFileDialog open{TKWFileDialog::Open, "画像を開く", "画像ファイル|*.bmp"};
  TKWFileDialog save{TKWFileDialog::Save, "画像を保存", "画像ファイル|*.bmp"};
  TKWChild* doc = nullptr;
  TInvertFilter filter;
  std::string file;

  void SetUp() override {
    TKWChild::WriteResume = false;
    filter.Init();
    file = data.path("photo.bmp");
    WritePatternBmp(file, 20, 10, 11);
    doc = new TKWChild;
    doc->OpenDialog = &open;
    doc->SaveDialog = &save;
    doc->LoadDocument(file);
  }
  void TearDown() override {
    delete doc;
    TKWChild::WriteResume = true;
  }
  std::vector<std::string> log() const { return LogLines(doc->imiImage->Log()); }
};

}  // namespace

TEST_F(DocFixture, UndoRedoUndoAllWithTheirLogLines) {
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 100%  |  開く");
  EXPECT_FALSE(doc->actUndo->isEnabled());
  EXPECT_FALSE(doc->Modified);
  // Undo on the first image does nothing and logs nothing.
  doc->actUndoExecute();
  EXPECT_TRUE(log().empty());

  TKWBitmap* first = doc->CurrentImage();
  for (int i = 0; i < 5; ++i) doc->ApplyFilter(&filter, false);
  EXPECT_TRUE(doc->Modified);
  EXPECT_TRUE(doc->actUndo->isEnabled());
  EXPECT_EQ(doc->imiImage->Log().size(), 5u);

  doc->actUndo->trigger();
  EXPECT_TRUE(doc->actRedo->isEnabled());
  doc->actRedo->trigger();
  EXPECT_FALSE(doc->actRedo->isEnabled());
  doc->Modified = false;
  doc->actUndoAll->trigger();
  EXPECT_EQ(doc->CurrentImage(), first);
  EXPECT_FALSE(doc->Modified);  // undo all leaves the flag alone
  auto l = log();
  ASSERT_EQ(l.size(), 8u);
  EXPECT_EQ(l[5], "Undo CurrentImage");
  EXPECT_EQ(l[6], "Redo CurrentImage");
  EXPECT_EQ(l[7], "Undo CurrentImage");
  EXPECT_FALSE(doc->actUndo->isEnabled());

  // A new step after undo frees the redo side.
  doc->ApplyFilter(&filter, false);
  EXPECT_FALSE(doc->actRedo->isEnabled());
  EXPECT_EQ(doc->CurrentImage()->Prev, first);
}

TEST_F(DocFixture, CaptionsAtSeveralZooms) {
  doc->actZoomIn->trigger();
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 141%  |  開く");
  doc->actZoom025->trigger();
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 25%  |  開く");
  EXPECT_EQ(doc->imiImage->width(), 5);
  doc->actZoom400->trigger();
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 400%  |  開く");
  EXPECT_EQ(doc->imiImage->width(), 80);
  doc->ApplyFilter(&filter, false);
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 400%  |  反転テスト");
  // The zoom dialog: 50 entered.
  QTimer::singleShot(0, [] {
    ZoomDlg().edZoom->setText("50");
    ZoomDlg().accept();
  });
  doc->actFreeZoom->trigger();
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 50%  |  反転テスト");
  // Text that is no number means 100 %.
  QTimer::singleShot(0, [] {
    ZoomDlg().edZoom->setText("");
    ZoomDlg().accept();
  });
  doc->actFreeZoom->trigger();
  EXPECT_FLOAT_EQ(doc->imiImage->ZoomRate(), 1.0f);
}

TEST_F(DocFixture, CloseQueryAnswers) {
  doc->ApplyFilter(&filter, false);
  ASSERT_TRUE(doc->Modified);
  // Cancel: stays.
  msgs.answers = {TMsgResult::Cancel};
  EXPECT_FALSE(doc->CloseQuery());
  ASSERT_EQ(msgs.shown.size(), 1u);
  EXPECT_EQ(msgs.shown[0].second, "photo.bmpは変更されています。\n\rこの画像を保存しますか?");
  // Yes, then the save dialog is cancelled: stays.
  msgs.answers = {TMsgResult::Yes};
  dialogs.names = {""};
  EXPECT_FALSE(doc->CloseQuery());
  EXPECT_EQ(dialogs.titles.back().toStdString(), "画像を保存 - photo.bmp");
  // Yes and saved: closes; the file is written and the flag cleared.
  msgs.answers = {TMsgResult::Yes};
  const std::string out = data.path("saved.bmp");
  dialogs.names = {QString::fromStdString(out)};
  EXPECT_TRUE(doc->CloseQuery());
  EXPECT_TRUE(FileExists(out));
  EXPECT_FALSE(doc->Modified);
  EXPECT_EQ(log().back(), "SaveImage CurrentImage \"" + out + "\"");
  // No: closes without saving.
  doc->ApplyFilter(&filter, false);
  msgs.answers = {TMsgResult::No};
  EXPECT_TRUE(doc->CloseQuery());
  // Busy documents never close.
  doc->SetBusy(true);
  doc->SetBusy(true);
  doc->SetBusy(false);
  EXPECT_TRUE(doc->Busy);
  EXPECT_FALSE(doc->CloseQuery());
  doc->SetBusy(false);
  EXPECT_FALSE(doc->Busy);
  doc->SetBusy(false);
  EXPECT_EQ(doc->BusyCount, 0);
}

TEST_F(DocFixture, CloseThroughTheWindowAsksAndMarksClosedByUser) {
  QPointer<TKWChild> p(doc);
  doc->ApplyFilter(&filter, false);
  msgs.answers = {TMsgResult::Cancel};
  doc->close();
  EXPECT_FALSE(p.isNull());
  EXPECT_FALSE(doc->ClosedByUser);
  msgs.answers = {TMsgResult::No};
  EXPECT_TRUE(doc->close());
  EXPECT_TRUE(doc->ClosedByUser);
  EXPECT_TRUE(doc->imiImage->Log().empty());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(p.isNull());
  doc = nullptr;
}

TEST_F(DocFixture, AlphaCommandsOnImageWithoutAlpha) {
  ASSERT_FALSE(doc->CurrentImage()->HasAlpha);
  EXPECT_FALSE(doc->actACDisable->isEnabled());
  EXPECT_FALSE(doc->actACInvert->isEnabled());
  EXPECT_FALSE(doc->actACShow->isEnabled());
  TKWBitmap* before = doc->CurrentImage();
  doc->actACDisableExecute();  // no alpha: nothing at all
  EXPECT_EQ(doc->CurrentImage(), before);
  EXPECT_TRUE(log().empty());

  doc->CreateAlphaByValue(200);
  EXPECT_TRUE(doc->CurrentImage()->HasAlpha);
  EXPECT_EQ(doc->CurrentImage()->Prev, before);
  EXPECT_EQ(doc->CurrentImage()->Row32(3)[4] >> 24, 200u);
  EXPECT_EQ((doc->CurrentImage()->Row32(3)[4] & 0xFFFFFF), (before->Row32(3)[4] & 0xFFFFFF));
  EXPECT_EQ(log().back(), "CreateAlphaChannelByValue CurrentImage 200");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "AC初期化");
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 100%  |  AC初期化");
  EXPECT_TRUE(doc->actACInvert->isEnabled());
  EXPECT_TRUE(doc->Modified);

  // The opacity dialog: 300 keeps its low 8 bits (44).
  QTimer::singleShot(0, [] {
    ACValueDlg().edValue->setText("300");
    ACValueDlg().accept();
  });
  doc->actACCreateValue->trigger();
  EXPECT_EQ(doc->CurrentImage()->Row32(0)[0] >> 24, 44u);
  EXPECT_EQ(log().back(), "CreateAlphaChannelByValue CurrentImage 44");
  EXPECT_EQ(ACValueDlg().Value, 300);
  // A text that is no integer: the conversion error is shown, nothing changes.
  TKWBitmap* cur = doc->CurrentImage();
  QTimer::singleShot(0, [] {
    ACValueDlg().edValue->setText("");
    ACValueDlg().accept();
  });
  doc->actACCreateValue->trigger();
  EXPECT_EQ(doc->CurrentImage(), cur);
  ASSERT_FALSE(msgs.shown.empty());
  EXPECT_EQ(msgs.shown.back().first, TMsgKind::Error);
}

TEST_F(DocFixture, AlphaCommandsOnImageWithAlpha) {
  doc->actACCreateHarf->trigger();
  EXPECT_EQ(log().back(), "CreateAlphaChannelByValue CurrentImage 128");
  doc->actACInvert->trigger();
  EXPECT_EQ(doc->CurrentImage()->Row32(5)[5] >> 24, 127u);
  EXPECT_EQ(log().back(), "InvertAlphaChannel CurrentImage");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "AC反転");
  doc->actACCreateFromImage->trigger();
  EXPECT_EQ(log().back(), "CreateAlphaChannelFromImage CurrentImage");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "AC作成");
  uint32_t p = doc->CurrentImage()->Row32(2)[7];
  EXPECT_EQ(p >> 24, uint32_t(kwbitmap_detail::LumaAlpha(p & 0xFFFFFF)));

  // Save the alpha channel, then load it back from the file.
  const std::string ac = data.path("alpha.bmp");
  doc->SaveAlpha(ac);
  EXPECT_EQ(log().back(), "SaveAlphaChannel CurrentImage \"" + ac + "\"");
  TBitmap saved;
  saved.LoadFromFile(ac);
  EXPECT_EQ(saved.PixelFormat(), pf24bit);
  EXPECT_EQ(saved.PixelBGRA(7, 2) & 0xFF, p >> 24);
  doc->actACDisable->trigger();
  EXPECT_FALSE(doc->CurrentImage()->HasAlpha);
  EXPECT_EQ(log().back(), "DisableAlphaChannel CurrentImage");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "AC無効化");
  ASSERT_TRUE(doc->LoadAlpha(ac));
  EXPECT_EQ(log().back(), "LoadToAlphaChannel CurrentImage \"" + ac + "\"");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "ACへロード");
  EXPECT_EQ(doc->CurrentImage()->Row32(2)[7] >> 24, p >> 24);

  // Copy to the clipboard and paste back into the alpha channel.
  doc->actACCopy->trigger();
  EXPECT_EQ(log().back(), "CopyFromAlphaChannel CurrentImage");
  doc->actACInvert->trigger();
  doc->actACPaste->trigger();
  EXPECT_EQ(log().back(), "PasteToAlphaChannel CurrentImage");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "ACへ貼り付け");
  EXPECT_EQ(doc->CurrentImage()->Row32(2)[7] >> 24, p >> 24);
}

TEST_F(DocFixture, UnreadableFilesChangeNothing) {
  const std::string bad = data.path("broken.bmp");
  {
    std::ofstream f(bad, std::ios::binary);
    f << "BM this is not a bitmap at all";
  }
  TKWBitmap* cur = doc->CurrentImage();
  EXPECT_FALSE(doc->OpenInto(bad));
  EXPECT_EQ(doc->CurrentImage(), cur);
  EXPECT_TRUE(log().empty());
  ASSERT_EQ(msgs.shown.size(), 1u);
  EXPECT_EQ(msgs.shown[0].second.rfind("画像の読み込みに失敗しました。\r\n", 0), 0u);
  EXPECT_FALSE(doc->LoadAlpha(bad));
  EXPECT_EQ(doc->CurrentImage(), cur);
  EXPECT_THROW(doc->LoadDocument(data.path("missing.png")), Exception);
  EXPECT_EQ(doc->CurrentImage()->Width(), 20);
  EXPECT_EQ(doc->windowTitle().toStdString(), "photo.bmp - 100%  |  開く");

  // A readable file opens into the document as an undoable step.
  const std::string other = data.path("other.bmp");
  WritePatternBmp(other, 7, 5, 3);
  ASSERT_TRUE(doc->OpenInto(other));
  EXPECT_EQ(doc->CurrentImage()->Width(), 7);
  EXPECT_EQ(doc->CurrentImage()->Prev, cur);
  EXPECT_EQ(log().back(), "OpenToImage CurrentImage \"" + other + "\"");
  EXPECT_EQ(doc->windowTitle().toStdString(), "other.bmp - 100%  |  開く");
  EXPECT_TRUE(doc->Modified);
}

TEST_F(DocFixture, SavingUnderAnUnknownExtensionKeepsTheDocumentModified) {
  doc->ApplyFilter(&filter, false);
  EXPECT_THROW(doc->SaveDocument(data.path("x.gif")), Exception);
  EXPECT_TRUE(doc->Modified);
  EXPECT_FALSE(FileExists(data.path("x.gif")));
}

TEST_F(DocFixture, CopyAndPasteThroughTheClipboard) {
  doc->actCopy->trigger();
  EXPECT_EQ(log().back(), "CopyFromImage CurrentImage");
  TKWBitmap* cur = doc->CurrentImage();
  doc->ApplyFilter(&filter, false);
  doc->actPaste->trigger();
  EXPECT_EQ(log().back(), "PasteToImage CurrentImage");
  EXPECT_EQ(doc->CurrentImage()->OperationName, "貼り付け");
  EXPECT_EQ(doc->CurrentImage()->FileName, "from Clipboard");
  EXPECT_FALSE(doc->CurrentImage()->HasAlpha);
  EXPECT_EQ(doc->CurrentImage()->Row32(9)[19] & 0xFFFFFF, cur->Row32(9)[19] & 0xFFFFFF);

  // Text goes to the script editor's hook.
  std::string got;
  doc->OnPasteText = [&](const std::string& t) { got = t; };
  QGuiApplication::clipboard()->setText("Undo CurrentImage");
  EXPECT_FALSE(doc->PasteFromClipboard(false));
  EXPECT_EQ(got, "Undo CurrentImage");
}

TEST_F(DocFixture, ActionsCarryTheirCaptionsAndShortcuts) {
  struct Row {
    QAction* a;
    const char* caption;
    const char* key;
  };
  const Row rows[] = {
      {doc->actUndo, "元に戻す(&U)", "Ctrl+Z"},         {doc->actRedo, "やり直し(&R)", "Ctrl+R"},
      {doc->actUndoAll, "最初に戻す(&S)", ""},           {doc->actCopy, "コピー(&C)", "Ctrl+C"},
      {doc->actPaste, "貼り付け(&P)", "Ctrl+V"},         {doc->actOpen, "開く(&O)...", ""},
      {doc->actSaveAs, "名前を付けて保存(&S)...", "Ctrl+S"}, {doc->actACShow, "表示(&B)", ""},
      {doc->actACDisable, "無効化(&D)", "Shift+F5"},     {doc->actACInvert, "反転(&N)", "Ctrl+Shift+F5"},
      {doc->actACCreateFromImage, "画像から作成(&I)", "F5"},
      {doc->actACCreateValue, "一定値で作成(&V)", "Ctrl+F5"},
      {doc->actLogClear, "クリア(&C)", "Ctrl+F8"},       {doc->actZoomIn, "拡大(&U)", "Ctrl+Ins"},
      {doc->actZoomOut, "縮小(&D)", "Ctrl+Del"},         {doc->actFreeZoom, "任意倍率(&F)...", "Shift+F8"},
      {doc->actZoom100, "100%(&3)", "F8"},               {doc->actZoom025, "25%(1)", ""},
  };
  // The keys are in force only while the document is the active one.
  for (const Row& r : rows) {
    EXPECT_EQ(r.a->text().toStdString(), r.caption);
    EXPECT_EQ(doc->ShortcutOf(r.a), QKeySequence(QString(r.key))) << r.caption;
    EXPECT_TRUE(r.a->shortcut().isEmpty()) << r.caption;
  }
  doc->SetShortcutsActive(true);
  for (const Row& r : rows) EXPECT_EQ(r.a->shortcut(), QKeySequence(QString(r.key))) << r.caption;
  EXPECT_EQ(doc->miEdit->title().toStdString(), "編集(&E)");
  EXPECT_EQ(doc->miAlpha->title().toStdString(), "アルファチャンネル(&A)");
  EXPECT_EQ(doc->miLog->title().toStdString(), "ログ(&L)");
  EXPECT_EQ(doc->miZoom->title().toStdString(), "ズーム(&Z)");
}
