// The window's tests run on Qt's offscreen platform unless told otherwise.

#include <gtest/gtest.h>

#include <QApplication>

#include "gui/translations.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  bq::gui::InstallQtTranslations(app);  // as the program does; dialogs_test checks it
  return RUN_ALL_TESTS();
}
