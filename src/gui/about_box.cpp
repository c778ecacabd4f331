#include "gui/about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/startup.h"
#include "gui/logo.h"

namespace bq::gui {
namespace {

QLabel* AddLine(QVBoxLayout* column, const char* name, const QString& text) {
  auto* label = new QLabel(text);
  label->setTextFormat(Qt::PlainText);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  column->addWidget(label);
  return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle(kProgramName);
  setModal(true);
  auto* column = new QVBoxLayout(this);
  auto* logo = new QLabel;
  logo->setPixmap(LogoPixmap(200, 66));
  logo->setAlignment(Qt::AlignCenter);
  column->addWidget(logo);
  QLabel* name = AddLine(column, "ProductName", kProgramName);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  name->setFont(bold);
  AddLine(column, "Version", QString::fromStdString(AboutVersionLine()));
  AddLine(column, "Comments", QString::fromUtf8(kAboutPartners));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  column->addWidget(buttons);
}

}  // namespace bq::gui
