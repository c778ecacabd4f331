#pragma once
// "Histórico…": the production records of this bench (or of every bench, when
// a records server is named), newest first, filtered by serial number, and
// exported as CSV for a spreadsheet.

#include <QDialog>
#include <QString>
#include <vector>

#include "records/production_record.h"

class QLabel;
class QLineEdit;
class QTableWidget;

namespace bq {
namespace records {
class RecordStore;
}

namespace gui {

class HistoryDialog : public QDialog {
 public:
  // store may be null (no data folder): the table stays empty and says so.
  HistoryDialog(records::RecordStore* store, QWidget* parent = nullptr);

  // Reads the records again with the serial number typed (none: all of them).
  void Refresh();
  // Writes the records shown to path as CSV; false, said in the dialog, when
  // the file cannot be written.
  bool ExportTo(const QString& path);
  const std::vector<records::ProductionRecord>& Shown() const { return shown_; }

 private:
  void ExportClicked();
  void Fill();

  records::RecordStore* store_;
  QLineEdit* serial_;
  QTableWidget* table_;
  QLabel* source_;
  std::vector<records::ProductionRecord> shown_;
};

}  // namespace gui
}  // namespace bq
