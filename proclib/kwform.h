// Panels of the package: the base every processor panel derives from, and
// the small controls the panels share (up-down, radio group, paint box).
#pragma once

#include <QGroupBox>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "procdef/kwinfo.h"
#include "procdef/kwproc.h"
#include "proclib/kwunit.h"
#include "ui/docking.h"

class QPainter;
class QLineEdit;

namespace kwlib {

class TKWPanel : public QWidget {
 public:
  explicit TKWPanel(TKWUnit* unit);

  TActionList alMenuAction;
  std::vector<QAction*> MenuActions() const { return alMenuAction; }
  // Makes this panel's processor the host's current one.
  virtual void FormActivate() = 0;

 protected:
  QAction* AddMenuAction(const QString& caption);
  // What every panel does as it goes: bring the settings pack up to date,
  // hand the shortcuts to the unit, stop workers, free the processor and the
  // record.  Each concrete panel calls it first thing in its destructor.
  void FormDestroy();
  virtual void SyncSettings() {}
  virtual void StopWorkers() {}
  virtual void ReleaseProcessor() = 0;
  // Asks the host for a new preview (nothing while ApplyParam runs).
  virtual void RequestPreview() = 0;

  void showEvent(QShowEvent* e) override;

  TKWUnit* unit_;
  TNotifyEvent ExecProc;
  bool applying_ = false;  // ApplyParam in progress: control handlers keep quiet

 private:
  bool destroyed_ = false;
};

struct TFilterKind {
  using Base = TKWBasicFilter;
  using Info = TFilterInfo;
  using Active = TFilterActiveProc;
  static void SetProc(Info& i, Base* p) { i.Filter = p; }
  static void Send(Info* i) { KWRegistFilter(i); }
};
struct TMixerKind {
  using Base = TKWBasicMixer;
  using Info = TMixerInfo;
  using Active = TMixerActiveProc;
  static void SetProc(Info& i, Base* p) { i.Mixer = p; }
  static void Send(Info* i) { KWRegistMixer(i); }
};
struct TGeneratorKind {
  using Base = TKWBasicGenerator;
  using Info = TGeneratorInfo;
  using Active = TGeneratorActiveProc;
  static void SetProc(Info& i, Base* p) { i.Generator = p; }
  static void Send(Info* i) { KWRegistGenerator(i); }
};

// A panel of processor class P of kind K (filter, mixer, generator).
template <class P, class K>
class TKWProcForm : public TKWPanel {
 public:
  using TKWPanel::TKWPanel;
  typename K::Info* GetInfo() const { return info_.get(); }
  P* GetProcessor() const { return proc_.get(); }

  // Sends the registration record to the host.
  void Register() { K::Send(info_.get()); }
  // The record's callback: keep the host's callbacks, dock into Site.
  void Regist(QWidget* Site, const typename K::Active& SetProc, const TNotifyEvent& Exec) {
    SetProc_ = SetProc;
    ExecProc = Exec;
    KWDockInto(this, Site);
  }
  void FormActivate() override {
    if (SetProc_ && proc_) SetProc_(proc_.get());
  }

 protected:
  // The common part of FormCreate.
  void Setup(std::unique_ptr<P> proc, const char* name, const char* caption) {
    proc_ = std::move(proc);
    proc_->Name = name;
    proc_->Caption = caption;
    setWindowTitle(QString::fromUtf8(caption));
    info_ = std::make_unique<typename K::Info>();
    info_->Name = name;
    K::SetProc(*info_, proc_.get());
    info_->Panel = this;
    info_->ActionList = &alMenuAction;
    info_->Regist = [this](QWidget* s, const typename K::Active& a, const TNotifyEvent& e) {
      Regist(s, a, e);
    };
    SetProc_ = nullptr;
    ExecProc = nullptr;
    hide();
  }
  void ReleaseProcessor() override {
    if (info_) K::SetProc(*info_, nullptr);
    proc_.reset();
    info_.reset();
  }
  void RequestPreview() override {
    if (!applying_ && proc_) proc_->UpdatePrevImg();
  }

  std::unique_ptr<P> proc_;
  std::unique_ptr<typename K::Info> info_;
  typename K::Active SetProc_;
};

// An up-down control beside an entry field: position in [Min, Max].
class TUpDown : public QWidget {
 public:
  TUpDown(int min, int max, int position, QWidget* parent = nullptr);
  int Position() const { return pos_; }
  void SetPosition(int p);  // clamped; updates the associated field
  int Min() const { return min_; }
  int Max() const { return max_; }
  // The field whose text follows the position (Format, or the number).
  QLineEdit* Associate = nullptr;
  std::function<QString(int)> Format;
  std::function<void()> OnBeforeClick;  // before a click steps the position
  std::function<void(bool up)> OnClick;  // after a click stepped it
  std::function<void()> OnMouseUp;

 private:
  void step(bool up);
  int min_, max_, pos_;
  QToolButton* up_;
  QToolButton* down_;
};

// A titled group of radio buttons; ItemIndex -1 when none is chosen.
class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr,
              int columns = 1);
  int ItemIndex() const;
  void SetItemIndex(int i);
  std::function<void()> OnClick;

 private:
  std::vector<QRadioButton*> buttons_;
};

// A widget painted by a callback, with mouse callbacks.
class TPaintBox : public QWidget {
 public:
  explicit TPaintBox(QWidget* parent = nullptr) : QWidget(parent) {}
  std::function<void(QPainter&)> OnPaint;
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
};

// Integer of a field's text; def when it is not one.
int IntOfText(const QString& text, int def);

}  // namespace kwlib
