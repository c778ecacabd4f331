#pragma once
// Qt's own words (the Yes and No of a question, the file dialog) in Portuguese,
// from the translations installed with Qt.

class QCoreApplication;

namespace bq::gui {

// Loads qtbase_pt_BR into app; false when the translation is not installed.
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace bq::gui
