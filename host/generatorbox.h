// TGeneratorBox: the dock window that hosts every registered generator's
// panel as a page, keeps one generator current, shows a 120 x 90 preview of
// it, and generates into a new document or into the current one.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/filterbox.h"
#include "host/kwdocument.h"
#include "host/procbox.h"
#include "procdef/kwinfo.h"
#include "ui/editright.h"

class TGeneratorBox : public TKWProcBox {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 640;
  static constexpr int kDefaultHeight = 480;

  // SettingsFile: the program's settings file, section "GeneratorBox"
  // (empty: no settings are read or written).
  explicit TGeneratorBox(QWidget* parent = nullptr, const std::string& SettingsFile = std::string());
  ~TGeneratorBox() override;

  // Docks the record's panel as a page and makes its generator current.
  void AddGenerator(TGeneratorInfo* GeneratorInfo);
  void SetCurrentGenerator(TKWBasicGenerator* Generator);
  TKWBasicGenerator* CurrentGenerator() const { return currentGenerator_; }
  // Generates into a new document named "New" (the panels' menu actions and
  // "新規画像作成").
  void actGenerateExecute(QObject* Sender = nullptr);
  // Generates into the active document as an undoable step.
  void bbtToCurrentClick(QObject* Sender = nullptr);
  // Recomputes the preview of the current generator (both arguments are
  // ignored).
  void PreviewGenerator(TKWProcessor* Sender = nullptr, TKWBasicGenerator* Generator = nullptr);
  void actPreviewExecute();
  void actPreviewUpdate();

  // The size the edits ask for: their numbers, 640 and 480 when they hold none.
  int ImageWidth() const;
  int ImageHeight() const;

  // The program is closing: the box may close, writes its settings and lets
  // go of the generator.
  void ProgramClosing();
  void WriteSettings();

  bool AllowClose = false;
  // The active document (null: none).
  std::function<TKWDocument*()> ActiveDocument;
  // Makes a new document whose first image is a copy of Bitmap.
  std::function<void(const TBitmap& Bitmap, const std::string& FileName,
                     const std::string& OperationName)>
      NewDocument;
  // Errors of a generator are shown through this (default: the error box).
  std::function<void(const std::string&)> OnError;

  const TBitmap& PreviewBitmap() const { return *previewBitmap_; }
  int PanelCount() const { return int(panels_.size()); }
  QWidget* Panel(int i) const { return panels_[size_t(i)].panel; }

  QWidget* pnGeneraotControl = nullptr;
  TPreviewImage* imPreview = nullptr;
  TEditRight* edrWidth = nullptr;
  TEditRight* edrHeight = nullptr;
  QCheckBox* cbUseSrcSize = nullptr;
  QPushButton* bbtToCurrent = nullptr;
  QPushButton* btPreview = nullptr;
  QPushButton* bbtCreate = nullptr;
  QAction* actPreview = nullptr;
  QAction* actGenerate = nullptr;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void pcGeneratorBoxChange(int index);
  void showError(const std::string& msg);
  void endProgress(TKWBasicGenerator* g);
  void applyOpacity();
  void readSettings();

  struct PanelEntry {
    std::string caption;
    QWidget* panel;
    TGeneratorInfo* info;
    QWidget* site;
  };
  std::string settingsFile_;
  std::unique_ptr<TBitmap> previewBitmap_;
  std::vector<PanelEntry> panels_;
  TKWBasicGenerator* currentGenerator_ = nullptr;
  QTimer idle_;
  // Expires with the box: callbacks held by generators and panels check it.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
