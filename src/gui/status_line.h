#pragma once
// The status line edAvisoGravacao: large bold text that shrinks to the line's
// width rather than be cut off, and names its whole text in its tool tip.

#include <QLineEdit>

namespace bq::gui {

class StatusLineEdit : public QLineEdit {
 public:
  StatusLineEdit(const QString& text, QWidget* parent);
  void ShowText(const QString& text);
  // The text fits the line at its present font.
  bool TextFits() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitFont();
  qreal largest_;  // the preferred size, in points
  qreal smallest_;
};

}  // namespace bq::gui
