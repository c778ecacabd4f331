#include "gui/cable_finder_dialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "app/startup.h"

namespace bq::gui {
namespace {

// Enter and Esc belong to the dialog, so no button may take them for itself.
QPushButton* AddButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QColor ToQColor(FinderColour colour) {
  return QColor(colour.r, colour.g, colour.b);
}

}  // namespace

TfrmQualPortaSerial::TfrmQualPortaSerial(PortLister& lister, std::function<void(int)> openHelp,
                                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      finder_(lister),
      openHelp_(std::move(openHelp)) {
  setObjectName("TfrmQualPortaSerial");
  setWindowTitle(QString::fromUtf8("Procura de porta serial"));
  setModal(true);

  lbPasso_ = new QLabel(this);
  lbPasso_->setObjectName("lbPasso");
  QFont font("Arial");
  font.setBold(true);
  font.setPixelSize(16);
  lbPasso_->setFont(font);
  lbPasso_->setWordWrap(true);

  botCaboDesconectado_ =
      AddButton(this, "botCaboDesconectado", "Clique Aqui quando cabo desconectado");
  btnCaboCONECTADO_ = AddButton(this, "btnCaboCONECTADO", "Clique Aqui quando cabo CONECTADO");
  botOk_ = AddButton(this, "botOk", "OK [ Entra ]");
  botCancela_ = AddButton(this, "botCancela", "Cancel [ESC]");
  btnReiniciarTeste_ = AddButton(this, "btnReiniciarTeste", "Reiciar Procura");

  auto* steps = new QHBoxLayout;
  steps->addWidget(botCaboDesconectado_);
  steps->addWidget(btnCaboCONECTADO_);
  steps->addStretch(1);
  auto* ends = new QHBoxLayout;
  ends->addWidget(btnReiniciarTeste_);
  ends->addStretch(1);
  ends->addWidget(botOk_);
  ends->addWidget(botCancela_);
  auto* column = new QVBoxLayout(this);
  column->addWidget(lbPasso_, 1);
  column->addLayout(steps);
  column->addLayout(ends);
  setFixedSize(554, 156);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  connect(botCaboDesconectado_, &QPushButton::clicked, this, [this] {
    finder_.CaboDesconectadoClick();
    ShowView();
  });
  connect(btnCaboCONECTADO_, &QPushButton::clicked, this, [this] {
    finder_.CaboConectadoClick();
    ShowView();
  });
  connect(btnReiniciarTeste_, &QPushButton::clicked, this, [this] {
    finder_.Reset();
    ShowView();
  });
  connect(botOk_, &QPushButton::clicked, this, &QDialog::accept);
  connect(botCancela_, &QPushButton::clicked, this, &QDialog::reject);

  timer_.setObjectName("Timer1Seg");
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, [this] { Timer1SegTimer(); });
  timer_.start();
  timerRestartsSeen_ = finder_.TimerRestarts();
  ShowView();
}

void TfrmQualPortaSerial::Timer1SegTimer() {
  finder_.Tick();
  ShowView();
}

void TfrmQualPortaSerial::SyncTimer() {
  if (!finder_.TimerRunning()) {
    timer_.stop();
  } else if (finder_.TimerRestarts() != timerRestartsSeen_ || !timer_.isActive()) {
    timer_.start();  // the next tick comes a full second from now
  }
  timerRestartsSeen_ = finder_.TimerRestarts();
}

void TfrmQualPortaSerial::ShowView() {
  const CableFinderView& view = finder_.View();
  lbPasso_->setText(QString::fromStdString(view.text));
  QPalette palette = lbPasso_->palette();
  palette.setColor(QPalette::WindowText, ToQColor(view.colour));
  lbPasso_->setPalette(palette);
  botCaboDesconectado_->setVisible(view.caboDesconectadoVisible);
  btnCaboCONECTADO_->setVisible(view.caboConectadoVisible);
  botOk_->setVisible(view.okVisible);
  if (isVisible()) {
    switch (view.focus) {
      case FinderFocus::CaboDesconectado:
        botCaboDesconectado_->setFocus();
        break;
      case FinderFocus::CaboConectado:
        btnCaboCONECTADO_->setFocus();
        break;
      case FinderFocus::Ok:
        botOk_->setFocus();
        break;
      case FinderFocus::None:
        break;
    }
  }
  SyncTimer();
}

void TfrmQualPortaSerial::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();  // whatever the step, even while botOk is hidden
      return;
    case Qt::Key_Escape:
      reject();
      return;
    case Qt::Key_F1:
      if (openHelp_) openHelp_(kHelpCableFinder);
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace bq::gui
