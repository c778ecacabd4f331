#include "gui/history_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <sstream>

#include "records/record_store.h"
#include "records/records_csv.h"
#include "shell/safe_file.h"
#include "shell/utilities.h"

namespace bq::gui {
namespace {

// The records read at most at once; a serial number narrows them further.
constexpr size_t kShownLimit = 1000;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString Number(const std::optional<int64_t>& value) {
  return value ? QString::number(*value) : QString();
}

QString Version(const std::optional<int64_t>& version, const std::optional<int64_t>& revision) {
  if (!version) return {};
  return QString("%1.%2").arg(*version).arg(revision.value_or(0), 2, 10, QChar('0'));
}

QString Failure(const records::RecordFailure& f) {
  QStringList parts;
  if (f.phase) parts << Text(*f.phase);
  if (f.address)
    parts << QString("0x%1").arg(*f.address, 6, 16, QChar('0')).toUpper().replace("0X", "0x");
  if (f.message) parts << Text(*f.message).replace("\r\n", " ");
  return parts.join(" · ");
}

const QStringList& Headers() {
  static const QStringList headers = {
      QString::fromUtf8("Início"),  QString::fromUtf8("Bancada"),
      QString::fromUtf8("Porta"),   QString::fromUtf8("Comando"),
      QString::fromUtf8("NS"),      QString::fromUtf8("Versão lida"),
      QString::fromUtf8("Arquivo"), QString::fromUtf8("Resultado"),
      QString::fromUtf8("Falha")};
  return headers;
}

std::vector<QString> Row(const records::ProductionRecord& r) {
  return {Text(r.startedAt),
          Text(r.bench),
          Text(r.port),
          Text(r.command),
          Number(r.device.serialNumber),
          Version(r.device.firmwareVersion, r.device.firmwareRevision),
          r.file.path ? Text(*r.file.path) : QString(),
          QString::fromUtf8(records::ResultText(r.result)),
          Failure(r.failure)};
}

}  // namespace

HistoryDialog::HistoryDialog(records::RecordStore* store, QWidget* parent)
    : QDialog(parent), store_(store) {
  setObjectName("HistoricoDialog");
  setWindowTitle(QString::fromUtf8("Histórico"));
  resize(960, 480);

  auto* filter = new QHBoxLayout;
  filter->addWidget(new QLabel(QString::fromUtf8("Número de série:")));
  serial_ = new QLineEdit;
  serial_->setObjectName("edHistoricoNS");
  serial_->setValidator(new QIntValidator(0, 65535, serial_));
  serial_->setPlaceholderText(QString::fromUtf8("todos"));
  filter->addWidget(serial_);
  auto* find = new QPushButton(QString::fromUtf8("Filtrar"));
  find->setObjectName("botHistoricoFiltrar");
  filter->addWidget(find);
  filter->addStretch();
  auto* exportCsv = new QPushButton(QString::fromUtf8("Exportar CSV…"));
  exportCsv->setObjectName("botHistoricoExportar");
  filter->addWidget(exportCsv);

  table_ = new QTableWidget(0, static_cast<int>(Headers().size()));
  table_->setObjectName("tabelaHistorico");
  table_->setHorizontalHeaderLabels(Headers());
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->horizontalHeader()->setStretchLastSection(true);
  source_ = new QLabel;
  source_->setObjectName("lbHistoricoFonte");

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filter);
  layout->addWidget(table_);
  layout->addWidget(source_);

  connect(find, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(serial_, &QLineEdit::returnPressed, this, [this] { Refresh(); });
  connect(exportCsv, &QPushButton::clicked, this, [this] { ExportClicked(); });
  Refresh();
}

void HistoryDialog::Refresh() {
  shown_.clear();
  if (store_ == nullptr) {
    source_->setText(QString::fromUtf8("Sem pasta de dados: nenhum registro."));
    Fill();
    return;
  }
  records::RecordFilter filter;
  filter.limit = kShownLimit;
  bool isNumber = false;
  const int serial = serial_->text().toInt(&isNumber);
  if (isNumber) filter.serialNumber = serial;
  records::QueryReport report = store_->Query(filter);
  shown_ = std::move(report.records);
  QString source =
      QString::fromUtf8("%1 registros de %2").arg(shown_.size()).arg(Text(report.source));
  if (!report.warning.empty()) source += " — " + Text(report.warning);
  source_->setText(source);
  Fill();
}

void HistoryDialog::Fill() {
  table_->setRowCount(static_cast<int>(shown_.size()));
  for (size_t row = 0; row < shown_.size(); ++row) {
    const std::vector<QString> cells = Row(shown_[row]);
    for (size_t column = 0; column < cells.size(); ++column) {
      table_->setItem(static_cast<int>(row), static_cast<int>(column),
                      new QTableWidgetItem(cells[column]));
    }
  }
  table_->resizeColumnsToContents();
}

bool HistoryDialog::ExportTo(const QString& path) {
  std::ostringstream csv;
  records::WriteRecordsCsv(csv, shown_);
  if (const auto error = WriteFileSafely(path.toStdString(), csv.str())) {
    source_->setText(QString::fromUtf8("Não foi possível gravar %1: %2")
                         .arg(path, Text(ErrnoText(error->osError))));
    return false;
  }
  source_->setText(
      QString::fromUtf8("%1 registros exportados para %2").arg(shown_.size()).arg(path));
  return true;
}

void HistoryDialog::ExportClicked() {
  const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("Exportar CSV"),
                                                    QDir::home().filePath("Registros.csv"),
                                                    QString::fromUtf8("CSV (*.csv)"));
  if (!path.isEmpty()) ExportTo(path);
}

}  // namespace bq::gui
