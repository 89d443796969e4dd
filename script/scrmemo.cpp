#include "script/scrmemo.h"

#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QVBoxLayout>

TKWScrEdit::TKWScrEdit(QWidget* parent) : QPlainTextEdit(parent) {
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(13);
  if (!QFontInfo(font).fixedPitch()) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(13);
    font = fixed;
  }
  setFont(font);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::black);
  pal.setColor(QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
  setPalette(pal);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setWordWrapMode(QTextOption::NoWrap);
  setTabChangesFocus(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

const TKWScript& TKWScrEdit::Script() {
  script_.Clear();
  for (auto& line : TKWScript::SplitLines(toPlainText().toStdString())) script_.Add(line);
  return script_;
}

void TKWScrEdit::SetLines(const TKWScript& script) {
  QStringList lines;
  for (int i = 0; i < script.Count(); ++i) lines << QString::fromStdString(script.Strings(i));
  setPlainText(lines.join(QLatin1Char('\n')));
}

TScriptView::TScriptView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  seScript = new TKWScrEdit(this);
  layout->addWidget(seScript);
}

TScriptView::TScriptView(const std::string& fileName, QWidget* parent) : TScriptView(parent) {
  seScript->SetLines(TKWScript::CreateFromFile(fileName));
}
