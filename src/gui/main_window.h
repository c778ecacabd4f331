#pragma once
// TfrmQuarnMain10BootQuarn: the program's one window. It owns the Context, shows
// the main page, and runs every device and file command on its worker thread.

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

#include "app/context.h"
#include "app/station.h"
#include "gui/command_runner.h"
#include "gui/main_page.h"
#include "gui/port_combo.h"
#include "gui/window_operator.h"

namespace bq::gui {

class BenchPage;
class HelpWindow;

// What the window is built over; tests pass their own paths, ports and lister.
struct WindowSetup {
  AppPaths paths;
  std::unique_ptr<SerialBackend> backend;
  std::unique_ptr<PortLister> lister;

  static WindowSetup System();
};

class TfrmQuarnMain10BootQuarn : public QMainWindow {
 public:
  explicit TfrmQuarnMain10BootQuarn(WindowSetup setup);
  ~TfrmQuarnMain10BootQuarn() override;

  Context& context() { return *ctx_; }
  Station& station() { return *station_; }
  // The window's controls, as the handlers see them.
  WindowControls& controls() { return *ui_; }
  // The "Bancada" page.
  BenchPage& bench() { return *bench_; }
  const MainPage& page() const { return page_; }
  // A command is running on the worker; no other may start.
  bool CommandRunning() const { return runner_.Busy(); }
  void WaitForCommand() { runner_.WaitUntilIdle(); }

  // How help pages are shown (in the program's help window); tests swap it.
  std::function<bool(const QUrl&)> urlOpener;

  // Commands. Those that start on the worker return false when refused.
  void botProcurarClick();  // the file dialog, then ChooseFirmware
  bool ChooseFirmware(const QString& path);
  bool botConectarEGravarClick();
  bool botLeNSClick();
  void botCancelaClick();
  void cbPortaSerialDropDown();
  bool cbPortaSerialChange();
  void btnDescobrirPortaSerialClick();
  bool botProcuraPortaClick();
  bool btnProcuraPortaSensorZirconClick();
  bool btnSensorZirconEntraEmBootClick();
  bool botArvexBootClick();
  void OpenHelp(int topic);
  bool ShowHelpPage(const QUrl& page);
  void subMenuSobreClick();
  // "Histórico…": the production records, filtered and exported.
  void subMenuHistoricoClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildStatusBar();
  void BuildMenus();
  void ConnectCommands();
  // Runs command on the worker; an error escaping it is shown in an error box.
  bool RunCommand(std::function<void(Station&)> command);
  void CommandEnded();
  // A menu entry performs its button's click, unless the button is locked.
  void PerformIfEnabled(QWidget* button, const std::function<void()>& click);
  // Asked when the window is closed while a command runs: Yes cancels it and leaves.
  bool ConfirmCancelAndClose();

  MainPage page_;
  std::array<QLabel*, 3> statusPanels_{};
  std::unique_ptr<WindowOperator> ui_;
  std::unique_ptr<ComboPortList> portList_;
  std::unique_ptr<Context> ctx_;
  std::unique_ptr<Station> station_;
  BenchPage* bench_ = nullptr;  // a page of the window; removed before the context goes
  QTimer Cronometro_;
  HelpWindow* helpWindow_ = nullptr;  // made on first use; a child of the window
  bool activated_ = false;
  bool closePending_ = false;
  bool closed_ = false;
  CommandRunner runner_;  // last: its thread ends before anything it uses goes
};

}  // namespace bq::gui
