#pragma once
// "Sobre": the program's name, version and release date.

#include <QDialog>

namespace bq::gui {

class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace bq::gui
