#pragma once
// "Abre arquivo e Upgrade ZirconBox" with its progress list memoUpgradeAuto
// beside it; a double click on the list clears it.

#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

namespace bq::gui {

class MemoBox : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  std::function<void()> onDoubleClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

struct ZirconUpgradePanel {
  QWidget* panel = nullptr;
  QPushButton* botUpgradeZirconBox = nullptr;
  MemoBox* memoUpgradeAuto = nullptr;
};

ZirconUpgradePanel BuildZirconUpgradePanel(QWidget* parent = nullptr);

}  // namespace bq::gui
