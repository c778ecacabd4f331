// bootquarn: the desktop window.

#include <QApplication>
#include <QLocale>

#include "app/startup.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(bq::kApplicationTitle);
  // Qt adopts the user's locale at start; numbers and dates here never follow it.
  QLocale::setDefault(QLocale::c());
  bq::SetNumberAndDateFormats();

  bq::gui::TfrmQuarnMain10BootQuarn window(bq::gui::WindowSetup::System());
  window.show();
  return QApplication::exec();
}
