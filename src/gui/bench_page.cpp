#include "gui/bench_page.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/commands.h"
#include "app/connect_flow.h"
#include "app/context.h"
#include "app/station.h"
#include "gui/bench_row_operator.h"
#include "gui/port_combo.h"
#include "serial/com_port.h"
#include "shell/ini_file.h"
#include "shell/utilities.h"

namespace bq::gui {

using records::RecordResult;
using Clock = std::chrono::steady_clock;

struct BenchRow {
  BenchRow(QWidget* owner, OperatorInterface& mainPage, const std::atomic<bool>& acceptOlder)
      : ui(owner, mainPage, acceptOlder) {}
  ~BenchRow() {
    if (worker.joinable()) worker.join();
  }

  PortComboBox* port = nullptr;
  QLabel* state = nullptr;
  QProgressBar* bar = nullptr;
  QLabel* device = nullptr;
  QLabel* elapsed = nullptr;
  QLabel* result = nullptr;
  QPushButton* write = nullptr;

  BenchRowOperator ui;
  std::unique_ptr<Station> st;  // made for each write, on the row's port
  std::thread worker;
  std::atomic<bool> running{false};
  Clock::time_point started;
  Clock::time_point ended;
  std::string refusal;  // why the row could not start, shown as its result
};

namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(200);  // five times a second
const QColor kDoneColour(0, 255, 0);
const QColor kFailedColour(255, 96, 96);

QString Qt8(const std::string& text) {
  return QString::fromUtf8(text.c_str());
}

std::string PortKey(int row) {
  return "Porta" + std::to_string(row + 1);
}

const char* StateText(StationState state) {
  switch (state) {
    case StationState::Waiting:
      return "aguardando";
    case StationState::Connecting:
      return "conectando";
    case StationState::Erasing:
      return "apagando";
    case StationState::Writing:
      return "gravando";
    case StationState::Verifying:
      return "conferindo";
    case StationState::Done:
      return "concluído";
    case StationState::Refused:
      return "recusado";
    case StationState::Cancelled:
      return "cancelado";
    case StationState::Failed:
      break;
  }
  return "falhou";
}

std::string VersionText(uint8_t version, uint8_t revision) {
  return std::to_string(unsigned{version}) + "." + ZeroPadded(2, revision);
}

// "NS 342  3.01 → 3.07": the device as read, and the file's version once written.
QString DeviceText(const BenchRow& row) {
  const auto device = row.ui.Device();
  if (!device) return {};
  std::string text = "NS " + std::to_string(device->serialNumber) + "  " +
                     VersionText(device->firmwareVersion, device->firmwareRevision);
  if (!row.running && row.st && row.st->lastResult == RecordResult::kOk)
    text += " → " + VersionText(row.st->flowHeader.version, row.st->flowHeader.revision);
  return Qt8(text);
}

void Paint(QLabel* label, std::optional<QColor> colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, colour.value_or(QColor(Qt::transparent)));
  label->setAutoFillBackground(colour.has_value());
  label->setPalette(palette);
}

// The state and the bar: live while the station runs, then how it ended (a
// station that stopped keeps its bar where it stood).
void ShowProgress(BenchRow& row) {
  std::optional<RecordResult> ended;
  if (!row.running) ended = row.st->lastResult.value_or(RecordResult::kFailed);
  const StationView view = ViewOf(row.st->tap.Live(), ended);
  row.state->setText(Qt8(StateText(view.state)));
  if (view.state != StationState::Connecting) row.bar->setValue(static_cast<int>(view.percent));
}

void ShowEnd(BenchRow& row) {
  const bool ok = row.st->lastResult == RecordResult::kOk;
  std::string text = ok ? "Operação Ok" : row.st->lastFailure;
  if (text.empty()) text = row.ui.LastError();
  row.result->setText(Qt8(text).replace("\r\n", " "));
  Paint(row.result, ok ? kDoneColour : kFailedColour);
}

void ShowRow(BenchRow& row) {
  if (!row.refusal.empty()) {
    row.result->setText(Qt8(row.refusal));
    Paint(row.result, kFailedColour);
    return;
  }
  if (!row.st) {
    row.state->setText(Qt8(StateText(StationState::Waiting)));
    return;
  }
  const auto until = row.running ? Clock::now() : row.ended;
  const auto hundredths =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - row.started).count() / 10;
  row.elapsed->setText(Qt8(FormatElapsed(static_cast<uint32_t>(hundredths))));
  row.device->setText(DeviceText(row));
  ShowProgress(row);
  if (!row.running) ShowEnd(row);
}

}  // namespace

BenchPage::BenchPage(Context& ctx, OperatorInterface& mainPage, QWidget* parent)
    : QWidget(parent), ctx_(ctx), mainPage_(mainPage) {
  setObjectName("Bancada");
  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* name, const char* caption, auto click) {
    auto* b = new QPushButton(Qt8(caption));
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, click);
    buttons->addWidget(b);
  };
  button("botAdicionarPorta", "Adicionar porta", [this] { botAdicionarPortaClick(); });
  button("botGravarTodas", "Gravar todas", [this] { botGravarTodasClick(); });
  button("botCancelaBancada", "Cancel [ESC]", [this] { botCancelaClick(); });
  acceptOlderBox_ = new QCheckBox(Qt8("Aceitar versão mais antiga"));
  acceptOlderBox_->setObjectName("chkAceitarVersaoAntiga");
  connect(acceptOlderBox_, &QCheckBox::toggled, this, [this](bool on) { acceptOlder_ = on; });
  buttons->addWidget(acceptOlderBox_);
  buttons->addStretch();

  grid_ = new QGridLayout;
  const char* headers[] = {"Porta", "Estado", "Progresso", "Equipamento", "Tempo", "Resultado"};
  for (int c = 0; c < 6; ++c) grid_->addWidget(new QLabel(Qt8(headers[c])), 0, c);
  grid_->setColumnStretch(5, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addLayout(grid_);
  layout->addStretch();

  LoadRows();
  refresh_.setInterval(kRefreshInterval);
  connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
  refresh_.start();
}

BenchPage::~BenchPage() {
  StopAndWait();
  rows_.clear();  // each row's thread has ended
}

void BenchPage::StopAndWait() {
  botCancelaClick();
  while (Running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void BenchPage::AddRow(const std::string& port) {
  auto row = std::make_unique<BenchRow>(this, mainPage_, acceptOlder_);
  const int line = static_cast<int>(rows_.size()) + 1;
  const std::string n = std::to_string(line);
  row->port = new PortComboBox;
  row->port->setObjectName(Qt8("cbPortaBancada" + n));
  row->port->setMinimumWidth(220);  // a whole /dev/serial/by-id name is long; a path fits
  row->port->setEditText(Qt8(port));
  row->state = new QLabel(Qt8("aguardando"));
  row->state->setObjectName(Qt8("lbEstadoBancada" + n));
  row->bar = new QProgressBar;
  row->bar->setObjectName(Qt8("ProgressBarBancada" + n));
  row->bar->setRange(0, 100);
  row->device = new QLabel;
  row->elapsed = new QLabel;
  row->result = new QLabel;
  row->result->setObjectName(Qt8("lbResultadoBancada" + n));
  row->write = new QPushButton(Qt8("Gravar"));
  row->write->setObjectName(Qt8("botGravarBancada" + n));
  QWidget* cells[] = {row->port,    row->state,  row->bar,  row->device,
                      row->elapsed, row->result, row->write};
  for (int c = 0; c < 7; ++c) grid_->addWidget(cells[c], line, c);

  BenchRow* r = row.get();
  const int index = line - 1;
  r->port->onDropDown = [this, r] {
    const std::string typed = r->port->currentText().toStdString();
    r->port->clear();
    for (const PortInfo& info : ctx_.portLister->DescribePorts())
      r->port->AddPort(Qt8(info.path), Qt8(info.Description()), Qt8(info.byId));
    r->port->setEditText(Qt8(typed));
  };
  connect(r->port, &QComboBox::currentTextChanged, this, [this, r] { PortChosen(*r); });
  connect(r->write, &QPushButton::clicked, this, [this, index] { GravarClick(index); });
  rows_.push_back(std::move(row));
}

void BenchPage::botAdicionarPortaClick() {
  if (Rows() >= kMaxRows) return;
  AddRow("");
  SaveRows();
}

// A port can be in one row only: a second row that names it is left empty.
void BenchPage::PortChosen(BenchRow& row) {
  const QString port = row.port->currentText();
  for (const auto& other : rows_) {
    if (other.get() != &row && !port.isEmpty() && other->port->currentText() == port) {
      row.port->setEditText({});
      row.refusal = "Porta já usada em outra linha";
      ShowRow(row);
      return;
    }
  }
  row.refusal.clear();
  Paint(row.result, std::nullopt);
  row.result->clear();
  SaveRows();
}

std::string BenchPage::RefusalFor(const BenchRow& row) const {
  if (row.port->currentText().trimmed().isEmpty()) return "Escolha a porta";
  const std::string& file = ctx_.settings.firmwareFile;
  std::error_code ec;
  if (file.empty() || !std::filesystem::is_regular_file(file, ec))
    return "Nenhum arquivo carregado na página principal";
  return {};
}

void BenchPage::GravarClick(int index) {
  BenchRow& row = Row(index);
  if (row.running) return;
  if (row.worker.joinable()) row.worker.join();
  row.refusal = RefusalFor(row);
  if (!row.refusal.empty()) return ShowRow(row);
  const std::string port = row.port->currentText().trimmed().toStdString();
  row.ui.Reset();
  row.ui.SetPort(port);
  row.st = std::make_unique<Station>(ctx_, row.ui, port, ctx_.settings.baudRate);
  row.st->ownFirmwareFile = ctx_.settings.firmwareFile;
  row.st->onIdentityShown = [&row](const DeviceIdentity& id) { row.ui.SetDevice(id); };
  row.bar->setValue(0);
  row.result->clear();
  Paint(row.result, std::nullopt);
  row.started = Clock::now();
  row.running = true;
  row.worker = std::thread([&row] {
    try {
      ConnectAndProgram(*row.st, true);
    } catch (const std::exception& e) {
      row.ui.ShowErrorBox(e.what());
    }
    row.ended = Clock::now();
    row.running = false;
  });
}

void BenchPage::botGravarTodasClick() {
  for (int i = 0; i < Rows(); ++i) GravarClick(i);
}

void BenchPage::botCancelaClick() {
  for (auto& row : rows_) {
    if (row->running) bq::botCancelaClick(*row->st);
  }
}

bool BenchPage::Running() const {
  for (const auto& row : rows_) {
    if (row->running) return true;
  }
  return false;
}

void BenchPage::Refresh() {
  for (auto& row : rows_) ShowRow(*row);
}

void BenchPage::LoadRows() {
  TIniFileQuarn ini(ctx_.paths.settingsFile);
  std::string error;
  if (ini.Load(&error) != TIniFileQuarn::LoadResult::Ok) return;
  const int count = std::clamp(ini.ReadInteger(kSection, "Linhas", 0), 0, kMaxRows);
  for (int i = 0; i < count; ++i) AddRow(ini.ReadString(kSection, PortKey(i), ""));
}

// The rows go into the settings file at once, beside the other settings,
// which are left as they are.
void BenchPage::SaveRows() const {
  TIniFileQuarn ini(ctx_.paths.settingsFile);
  std::string error;
  if (ini.Load(&error) != TIniFileQuarn::LoadResult::Ok) {
    ctx_.ui.ShowWarning("Erro lendo configuração [" + ctx_.paths.settingsFile + "] =" + error);
    return;
  }
  ini.WriteInteger(kSection, "Linhas", Rows());
  for (int i = 0; i < Rows(); ++i) {
    ini.WriteString(kSection, PortKey(i), rows_[i]->port->currentText().toStdString());
  }
  if (!ini.UpdateFile(&error))
    ctx_.ui.ShowWarning("Erro gravando configuração [" + ctx_.paths.settingsFile + "] =" + error);
}

}  // namespace bq::gui
