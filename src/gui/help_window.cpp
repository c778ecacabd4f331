#include "gui/help_window.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QVBoxLayout>

namespace bq::gui {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setObjectName("HelpWindow");
  setWindowTitle(QString::fromUtf8("Ajuda"));
  setModal(false);
  browser_->setObjectName("helpBrowser");
  // Links between the help pages stay here; links out go to the desktop.
  browser_->setOpenExternalLinks(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8("Fechar"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_, 1);
  layout->addWidget(buttons);
  resize(720, 560);
}

bool HelpWindow::ShowPage(const QUrl& page) {
  if (!page.isLocalFile() || !QFileInfo(page.toLocalFile()).isReadable()) return false;
  browser_->setSource(page);
  show();
  raise();
  activateWindow();
  return true;
}

}  // namespace bq::gui
