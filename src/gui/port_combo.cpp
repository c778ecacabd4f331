#include "gui/port_combo.h"

#include "gui/gui_thread.h"

namespace bq::gui {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setObjectName("cbPortaSerial");
  setEditable(true);  // a virtual device or a /dev/serial/by-id/... name may be typed
  setInsertPolicy(QComboBox::InsertAtBottom);
  setMaxVisibleItems(20);
}

void PortComboBox::showPopup() {
  if (onDropDown) onDropDown();
  QComboBox::showPopup();
}

void ComboPortList::Clear() {
  CallOn(combo_, [this] { combo_->clear(); });
}

void ComboPortList::Add(const std::string& name) {
  CallOn(combo_, [this, &name] { combo_->addItem(QString::fromStdString(name)); });
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
