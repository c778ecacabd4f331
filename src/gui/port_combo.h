#pragma once
// cbPortaSerial: an editable drop-down list of ports that refreshes itself when
// opened, and the core's view of it.

#include <QComboBox>
#include <functional>

#include "serial/port_list.h"

namespace bq::gui {

class PortComboBox : public QComboBox {
 public:
  // Each entry's text is the port's path (what the field shows and the core
  // reads); its description (adapter, driver) is kept under this role and shown
  // beside the path in the open list; the tool tip adds the /dev/serial/by-id link.
  static constexpr int kDescriptionRole = Qt::UserRole + 1;

  explicit PortComboBox(QWidget* parent = nullptr);
  // Runs just before the list opens (cbPortaSerialDropDown).
  std::function<void()> onDropDown;
  void showPopup() override;

  void AddPort(const QString& path, const QString& description, const QString& byId = {});
  // What the open list shows for the entry at index: path and description.
  QString ShownText(int index) const;
  // Marks the field's text as a path that is not there (red, with a tool tip
  // saying so) until the text changes.
  void FlagMissingPath(bool missing);
  bool PathFlaggedMissing() const { return missing_; }

 private:
  bool missing_ = false;
};

// The combo box as PortListControl; safe to call from the worker thread, each
// call runs on the window thread.
class ComboPortList : public PortListControl {
 public:
  explicit ComboPortList(PortComboBox* combo) : combo_(combo) {}
  void Clear() override;
  void Add(const std::string& name) override;
  void AddPort(const PortInfo& port) override;
  int Count() const override;
  std::string Item(int index) const override;
  void Select(int index) override;
  int Selected() const override;

 private:
  PortComboBox* combo_;
};

}  // namespace bq::gui
