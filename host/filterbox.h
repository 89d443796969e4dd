// TFilterBox: the dock window that hosts every registered filter's panel as
// a page, shows a 120 x 90 preview of the current document through the
// current filter, and applies the current filter to the current document.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include "host/kwdocument.h"
#include "host/procbox.h"
#include "procdef/kwinfo.h"

class TKWProcessorManager;

// The 120 x 90 picture of the filter box.
class TPreviewImage : public QWidget {
  Q_OBJECT
 public:
  explicit TPreviewImage(QWidget* parent = nullptr);
  void SetPicture(const TBitmap& bmp);
  const QImage& Picture() const { return picture_; }
  std::function<void()> OnClick;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  QImage picture_;
};

class TFilterBox : public TKWProcBox {
  Q_OBJECT
 public:
  static constexpr int kPreviewWidth = 120;
  static constexpr int kPreviewHeight = 90;

  explicit TFilterBox(QWidget* parent = nullptr);
  ~TFilterBox() override;

  // Docks the record's panel as a page and makes its filter current.
  void AddFilter(TFilterInfo* FilterInfo);
  // The current document (null: none).  Rebuilds the preview thumbnail.
  void SetTarget(TKWDocument* Document);
  TKWDocument* Target() const { return target_; }
  void SetCurrentFilter(TKWBasicFilter* Filter);
  TKWBasicFilter* CurrentFilter() const { return currentFilter_; }
  // Recomputes the preview.
  void Preview();
  // Applies the current filter to the target (reading the panel first).
  void bbtDoFilterClick(QObject* Sender = nullptr);
  // The main window's apply action (F3): the apply button triggers it.
  void BindApplyAction(QAction* action);
  // When the box is first shown: the first filter of this list becomes current.
  void SetManager(TKWProcessorManager* manager) { manager_ = manager; }

  bool AllowClose = false;
  const TBitmap& PreviewSource() const { return *previewSource_; }
  TPreviewImage* imPreview = nullptr;
  QPushButton* btPreview = nullptr;
  QPushButton* bbtDoFilter = nullptr;
  QAction* actPreview = nullptr;
  // Panels by caption, in registration order.
  int PanelCount() const { return int(panels_.size()); }
  QWidget* Panel(int i) const { return panels_[size_t(i)].panel; }

  // Errors of a filter during preview or apply are shown through this
  // (default: the program's error box).
  std::function<void(const std::string&)> OnError;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void GetTargetImage(TKWProcessor* Sender, TBitmap*& Image);
  void PreviewFilter(TKWProcessor* Sender, TKWBasicFilter* Filter);
  void pcFilterBoxChange(int index);
  void actPreviewUpdate();
  void endProgress(TKWBasicFilter* f);
  void showError(const std::string& msg);
  void applyOpacity();

  struct PanelEntry {
    std::string caption;
    QWidget* panel;
    TFilterInfo* info;
    QWidget* site;
  };
  TKWDocument* target_ = nullptr;
  std::unique_ptr<TBitmap> previewSource_;
  std::vector<PanelEntry> panels_;
  TKWBasicFilter* currentFilter_ = nullptr;
  TKWProcessorManager* manager_ = nullptr;
  bool shownOnce_ = false;
  // Expires with the box: callbacks held by filters and panels check it.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
