#include "gui/port_combo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include "gui/gui_thread.h"

namespace bq::gui {

namespace {

QString EntryText(const QString& path, const QString& description) {
  return description.isEmpty() ? path : path + QStringLiteral("    ") + description;
}

// Draws each entry of the open list as its path followed by its description;
// the entry's own text stays the path.
class PortEntryDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = EntryText(option->text, index.data(PortComboBox::kDescriptionRole).toString());
  }
};

}  // namespace

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setObjectName("cbPortaSerial");
  setEditable(true);  // a virtual device or a /dev/serial/by-id/... name may be typed
  setInsertPolicy(QComboBox::InsertAtBottom);
  setMaxVisibleItems(20);
  setItemDelegate(new PortEntryDelegate(this));
  connect(this, &QComboBox::editTextChanged, this, [this] {
    if (missing_) FlagMissingPath(false);
  });
}

void PortComboBox::showPopup() {
  if (onDropDown) onDropDown();
  // Wide enough for the descriptions, which the field itself does not show.
  QAbstractItemView* list = view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24);
  QComboBox::showPopup();
}

void PortComboBox::FlagMissingPath(bool missing) {
  if (!isEditable()) return;
  missing_ = missing;
  QPalette palette = lineEdit()->palette();
  palette.setColor(QPalette::Text,
                   missing ? QColor(Qt::red) : QApplication::palette().color(QPalette::Text));
  lineEdit()->setPalette(palette);
  lineEdit()->setToolTip(missing ? QString::fromUtf8("Porta não encontrada: ") + currentText()
                                 : QString());
}

void PortComboBox::AddPort(const QString& path, const QString& description, const QString& byId) {
  addItem(path);
  const int index = count() - 1;
  setItemData(index, description, kDescriptionRole);
  QString tip = description;
  if (!byId.isEmpty()) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + byId;
  if (!tip.isEmpty()) setItemData(index, tip, Qt::ToolTipRole);
}

QString PortComboBox::ShownText(int index) const {
  return EntryText(itemText(index), itemData(index, kDescriptionRole).toString());
}

void ComboPortList::Clear() {
  CallOn(combo_, [this] { combo_->clear(); });
}

void ComboPortList::Add(const std::string& name) {
  CallOn(combo_, [this, &name] { combo_->addItem(QString::fromStdString(name)); });
}

void ComboPortList::AddPort(const PortInfo& port) {
  CallOn(combo_, [this, &port] {
    combo_->AddPort(QString::fromStdString(port.path), QString::fromStdString(port.Description()),
                    QString::fromStdString(port.byId));
  });
}

int ComboPortList::Count() const {
  return CallOn(combo_, [this] { return combo_->count(); });
}

std::string ComboPortList::Item(int index) const {
  return CallOn(combo_, [this, index] { return combo_->itemText(index).toStdString(); });
}

void ComboPortList::Select(int index) {
  CallOn(combo_, [this, index] { combo_->setCurrentIndex(index); });
}

int ComboPortList::Selected() const {
  return CallOn(combo_, [this] { return combo_->currentIndex(); });
}

}  // namespace bq::gui
