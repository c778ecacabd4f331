#pragma once
// TfrmQualPortaSerial: the cable finder's dialog over the CableFinder steps.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "serial/cable_finder.h"

namespace bq::gui {

class TfrmQualPortaSerial : public QDialog {
 public:
  // openHelp opens a help topic (F1: the cable finder's topic).
  TfrmQualPortaSerial(PortLister& lister, std::function<void(int)> openHelp,
                      QWidget* parent = nullptr);

  const CableFinder& finder() const { return finder_; }
  // The one-second tick; public so tests can drive the steps without waiting.
  void Timer1SegTimer();
  QTimer& timer() { return timer_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowView();
  void SyncTimer();

  CableFinder finder_;
  std::function<void(int)> openHelp_;
  QLabel* lbPasso_;
  QPushButton* botCaboDesconectado_;
  QPushButton* btnCaboCONECTADO_;
  QPushButton* botOk_;
  QPushButton* botCancela_;
  QPushButton* btnReiniciarTeste_;
  QTimer timer_;
  unsigned timerRestartsSeen_ = 0;
};

}  // namespace bq::gui
