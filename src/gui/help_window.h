#pragma once
// The help pages shown inside the program, so help works on a machine without
// a browser. One window, kept beside the main window and raised on each call.

#include <QDialog>
#include <QTextBrowser>
#include <QUrl>

namespace bq::gui {

class HelpWindow : public QDialog {
 public:
  explicit HelpWindow(QWidget* parent);
  // Shows the page (a local HTML file); false when it cannot be read.
  bool ShowPage(const QUrl& page);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace bq::gui
