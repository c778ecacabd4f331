#pragma once
// "Bancada": a production bench in the window. One row per station (up to 8),
// each on a port of its own; "Gravar" writes that row's device, "Gravar todas"
// writes every row at once, each through "Conectar e &Gravar" with the file
// loaded on the main page. A row that fails does not stop the others. The
// rows' ports are kept in the settings file under a section of their own.

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGridLayout;

namespace bq {
struct Context;
class OperatorInterface;

namespace gui {

struct BenchRow;

class BenchPage : public QWidget {
 public:
  static constexpr int kMaxRows = 8;
  // The settings file's section and keys of the rows' ports.
  static constexpr const char* kSection = "Bancada";

  // mainPage: where each write's memo lines and counter go.
  BenchPage(Context& ctx, OperatorInterface& mainPage, QWidget* parent = nullptr);
  // Cancels what runs and waits for it.
  ~BenchPage() override;

  void botAdicionarPortaClick();  // "Adicionar porta": one more row
  void botGravarTodasClick();     // "Gravar todas"
  void botCancelaClick();         // "Cancel [ESC]": every running station, at its next block
  void GravarClick(int row);      // a row's "Gravar"

  bool Running() const;
  // Cancels every running station and lets the window's events run until
  // each has ended (a station may be waiting on a question box).
  void StopAndWait();
  int Rows() const { return static_cast<int>(rows_.size()); }
  BenchRow& Row(int row) { return *rows_.at(static_cast<size_t>(row)); }
  // Shows every row's state now (the page does it five times a second).
  void Refresh();

 private:
  void AddRow(const std::string& port);
  void PortChosen(BenchRow& row);
  void LoadRows();
  void SaveRows() const;
  std::string RefusalFor(const BenchRow& row) const;

  Context& ctx_;
  OperatorInterface& mainPage_;
  std::atomic<bool> acceptOlder_{false};
  QCheckBox* acceptOlderBox_ = nullptr;
  QGridLayout* grid_ = nullptr;
  std::vector<std::unique_ptr<BenchRow>> rows_;
  QTimer refresh_;
};

}  // namespace gui
}  // namespace bq
