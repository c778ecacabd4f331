#include "gui/status_line.h"

#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionFrame>

namespace bq::gui {
namespace {

// Room the frame and the text margins take from the line's width.
int TextRoom(const QLineEdit& line) {
  QStyleOptionFrame option;
  option.initFrom(&line);
  option.lineWidth = line.hasFrame() ? line.style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
  const QRect text = line.style()->subElementRect(QStyle::SE_LineEditContents, &option, &line);
  const QMargins margins = line.textMargins();
  return text.width() - margins.left() - margins.right() - 4;
}

}  // namespace

StatusLineEdit::StatusLineEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
  QFont bold = font();
  bold.setBold(true);
  smallest_ = bold.pointSizeF() * 0.75;
  largest_ = bold.pointSizeF() * 1.3;
  bold.setPointSizeF(largest_);
  setFont(bold);
  setReadOnly(true);
}

void StatusLineEdit::ShowText(const QString& text) {
  setText(text);
  setToolTip(text);
  setCursorPosition(0);
  FitFont();
}

bool StatusLineEdit::TextFits() const {
  return QFontMetrics(font()).horizontalAdvance(text()) <= TextRoom(*this);
}

void StatusLineEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  FitFont();
}

void StatusLineEdit::FitFont() {
  QFont fitted = font();
  fitted.setPointSizeF(largest_);
  const int room = TextRoom(*this);
  while (fitted.pointSizeF() > smallest_ && QFontMetrics(fitted).horizontalAdvance(text()) > room) {
    fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
  }
  if (fitted != font()) setFont(fitted);
}

}  // namespace bq::gui
