#pragma once
// cbPortaSerial: an editable drop-down list of ports that refreshes itself when
// opened, and the core's view of it.

#include <QComboBox>
#include <functional>

#include "serial/port_list.h"

namespace bq::gui {

class PortComboBox : public QComboBox {
 public:
  explicit PortComboBox(QWidget* parent = nullptr);
  // Runs just before the list opens (cbPortaSerialDropDown).
  std::function<void()> onDropDown;
  void showPopup() override;
};

// The combo box as PortListControl; safe to call from the worker thread, each
// call runs on the window thread.
class ComboPortList : public PortListControl {
 public:
  explicit ComboPortList(PortComboBox* combo) : combo_(combo) {}
  void Clear() override;
  void Add(const std::string& name) override;
  int Count() const override;
  std::string Item(int index) const override;
  void Select(int index) override;
  int Selected() const override;

 private:
  PortComboBox* combo_;
};

}  // namespace bq::gui
