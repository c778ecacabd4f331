#include "gui/zircon_upgrade_panel.h"

#include <QHBoxLayout>

namespace bq::gui {

void MemoBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (onDoubleClick) {
    onDoubleClick();
  } else {
    QPlainTextEdit::mouseDoubleClickEvent(event);
  }
}

ZirconUpgradePanel BuildZirconUpgradePanel(QWidget* parent) {
  ZirconUpgradePanel p;
  p.panel = new QWidget(parent);
  p.panel->setObjectName("panelUpgradeZirconBox");
  auto* row = new QHBoxLayout(p.panel);
  row->setContentsMargins(0, 0, 0, 0);
  p.botUpgradeZirconBox =
      new QPushButton(QString::fromUtf8("Abre arquivo e Upgrade ZirconBox"), p.panel);
  p.botUpgradeZirconBox->setObjectName("botUpgradeZirconBox");
  p.memoUpgradeAuto = new MemoBox(p.panel);
  p.memoUpgradeAuto->setObjectName("memoUpgradeAuto");
  p.memoUpgradeAuto->setReadOnly(true);
  p.memoUpgradeAuto->setAccessibleName(QString::fromUtf8("Upgrade ZirconBox"));
  p.memoUpgradeAuto->setMaximumHeight(p.memoUpgradeAuto->fontMetrics().lineSpacing() * 6);
  row->addWidget(p.botUpgradeZirconBox);
  row->addWidget(p.memoUpgradeAuto, 1);
  return p;
}

}  // namespace bq::gui
