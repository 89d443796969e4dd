#include "script/scrmemo.h"

#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QTextBlock>
#include <QVBoxLayout>

QFont KWScriptFont() {
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(13);
  if (!QFontInfo(font).fixedPitch()) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(13);
    font = fixed;
  }
  return font;
}

TKWScrEdit::TKWScrEdit(QWidget* parent) : QPlainTextEdit(parent) {
  const QFont font = KWScriptFont();
  setFont(font);
  // Silver on black whether the memo has the focus or not (a desktop theme
  // does not change it), with a selection that stands out from both.
  QPalette pal = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(g, QPalette::Base, Qt::black);
    pal.setColor(g, QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(g, QPalette::Highlight, QColor(0x26, 0x5C, 0xA8));
    pal.setColor(g, QPalette::HighlightedText, Qt::white);
  }
  pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
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

void TKWScrEdit::SelectLine(int index) {
  const QTextBlock b = document()->findBlockByNumber(index);
  if (!b.isValid()) return;
  QTextCursor c(b);
  c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  setTextCursor(c);
  centerCursor();
}

TScriptView::TScriptView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  seScript = new TKWScrEdit(this);
  layout->addWidget(seScript);
}

TScriptView::TScriptView(const std::string& fileName, QWidget* parent) : TScriptView(parent) {
  seScript->SetLines(TKWScript::CreateFromFile(fileName));
  FileName = fileName;
}
