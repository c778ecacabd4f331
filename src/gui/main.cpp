// bootquarn: the desktop window.

#include <QApplication>
#include <QLocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"
#include "gui/main_window.h"
#include "gui/translations.h"
#include "shell/utilities.h"

namespace {

constexpr const char* kHelp =
    "Usage: bootquarn [Qt options]\n"
    "Replaces the firmware of Quarn devices through their boot loader over a serial line:\n"
    "open an Intel HEX or KFX firmware file, choose the serial port the device is on and\n"
    "press \"Conectar e Gravar\". The same commands run without a window through\n"
    "bootquarn-cli.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the program version and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
    "\n"
    "Environment:\n"
    "  XDG_DATA_HOME  Where the data folder Quarn/BootQuarn/ lies (default ~/.local/share).\n";

// --help and --version are answered before Qt starts, so they need no display.
bool AnswerInformationOption(int argc, char** argv, int* exitCode) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      *exitCode = 0;
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("bootquarn %s\n", bq::VersionText(bq::kProgramVersion).c_str());
      *exitCode = 0;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (int code = 0; AnswerInformationOption(argc, argv, &code)) return code;

  QApplication app(argc, argv);
  QApplication::setApplicationName(bq::kApplicationTitle);
  // Without the translation Qt's own words stay in English; the program still runs.
  bq::gui::InstallQtTranslations(app);
  // Qt adopts the user's locale at start; numbers and dates here never follow it.
  QLocale::setDefault(QLocale::c());
  bq::SetNumberAndDateFormats();

  bq::gui::TfrmQuarnMain10BootQuarn window(bq::gui::WindowSetup::System());
  window.show();
  return QApplication::exec();
}
