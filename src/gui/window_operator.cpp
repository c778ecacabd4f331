#include "gui/window_operator.h"

#include <QApplication>
#include <QMessageBox>

#include "app/startup.h"
#include "gui/gui_thread.h"

namespace bq::gui {
namespace {

const QColor kSuccessColour(0, 255, 0);

int ClampToInt(uint32_t value) {
  return value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
}

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

WindowOperator::WindowOperator(QWidget* owner, MainPage& page, QLabel* fileStatus,
                               QLabel* portStatus)
    : owner_(owner), page_(page), fileStatus_(fileStatus), portStatus_(portStatus) {}

QString WindowOperator::BoxText(const std::string& text) {
  QString shown = ToQt(text);
  shown.replace("\r\n", "\n");
  return shown;
}

void WindowOperator::ShowStatus(const std::string& text, bool success) {
  PostTo(owner_, [this, text, success] {
    StatusLineEdit* line = page_.edAvisoGravacao;
    line->ShowText(ToQt(text));
    QPalette palette = line->palette();
    palette.setColor(QPalette::Base, success ? kSuccessColour
                                             : QApplication::palette(line).color(QPalette::Button));
    line->setPalette(palette);
    line->setProperty("success", success);
  });
}

void WindowOperator::ShowMessage(const std::string& text) {
  CallOn(owner_, [this, &text] {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, BoxText(text), QMessageBox::Ok, owner_);
    box.setObjectName("MessageBox");
    box.exec();
  });
}

void WindowOperator::ShowErrorBox(const std::string& text) {
  CallOn(owner_, [this, &text] {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, BoxText(text), QMessageBox::Ok,
                    owner_);
    box.setObjectName("ErrorBox");
    box.exec();
  });
}

Answer WindowOperator::Confirm(const std::string& text) {
  return CallOn(owner_, [this, &text] {
    // Esc and the close box answer No: a question is never passed over unanswered.
    QMessageBox box(QMessageBox::Question, kApplicationTitle, BoxText(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setObjectName("ConfirmBox");
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  });
}

void WindowOperator::SetProgressMin(uint32_t value) {
  PostTo(owner_, [this, value] { page_.ProgressBarGrava->setMinimum(ClampToInt(value)); });
}

void WindowOperator::SetProgressMax(uint32_t value) {
  PostTo(owner_, [this, value] { page_.ProgressBarGrava->setMaximum(ClampToInt(value)); });
}

void WindowOperator::SetProgressPosition(uint32_t value) {
  PostTo(owner_, [this, value] { page_.ProgressBarGrava->setValue(ClampToInt(value)); });
}

QLabel* WindowOperator::StatusPanel(Field field) const {
  if (field == Field::statusBarFile) return fileStatus_;
  if (field == Field::statusBarPort) return portStatus_;
  return nullptr;
}

void WindowOperator::SetField(Field field, const std::string& text) {
  PostTo(owner_, [this, field, text] {
    if (auto it = page_.edits.find(field); it != page_.edits.end()) {
      it->second->setText(ToQt(text));
      it->second->setCursorPosition(0);
    } else if (QLabel* panel = StatusPanel(field)) {
      panel->setText(ToQt(text));
    } else if (field == Field::lbAviso) {
      page_.lbAviso->setText(ToQt(text));
    } else {
      hiddenFields_[field] = text;
    }
  });
}

std::string WindowOperator::FieldText(Field field) const {
  return CallOn(owner_, [this, field]() -> std::string {
    if (auto it = page_.edits.find(field); it != page_.edits.end()) {
      return it->second->text().toStdString();
    }
    if (QLabel* panel = StatusPanel(field)) return panel->text().toStdString();
    if (field == Field::lbAviso) return page_.lbAviso->text().toStdString();
    auto hidden = hiddenFields_.find(field);
    return hidden == hiddenFields_.end() ? std::string() : hidden->second;
  });
}

void WindowOperator::SelectCombo(Combo combo, int index) {
  PostTo(owner_, [this, combo, index] {
    if (auto it = page_.combos.find(combo); it != page_.combos.end()) {
      QComboBox* box = it->second;
      box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    } else {
      hiddenCombos_[combo] = index;
    }
  });
}

void WindowOperator::SetCheck(Check check, bool checked) {
  PostTo(owner_, [this, check, checked] {
    if (auto it = page_.checks.find(check); it != page_.checks.end()) {
      it->second->setChecked(checked);
    } else {
      hiddenChecks_[check] = checked;
    }
  });
}

void WindowOperator::AddMemoLine(Memo memo, const std::string& line) {
  PostTo(owner_, [this, memo, line] {
    if (memo == Memo::memoUpgradeAuto)
      page_.zirconUpgrade.memoUpgradeAuto->appendPlainText(ToQt(line));
    else
      hiddenMemos_[memo].append(ToQt(line));
  });
}

void WindowOperator::ClearMemo(Memo memo) {
  PostTo(owner_, [this, memo] {
    if (memo == Memo::memoUpgradeAuto)
      page_.zirconUpgrade.memoUpgradeAuto->clear();
    else
      hiddenMemos_[memo].clear();
  });
}

void WindowOperator::SetDeviceCommandsEnabled(bool enabled) {
  PostTo(owner_, [this, enabled] {
    deviceCommandsEnabled_ = enabled;
    for (QPushButton* button : page_.DeviceCommandButtons()) button->setEnabled(enabled);
    ApplyCommandLock();
  });
}

void WindowOperator::SetCommandActions(QAction* openFile, QAction* write, QAction* readSerial) {
  openFile_ = openFile;
  write_ = write;
  readSerial_ = readSerial;
  ApplyCommandLock();
}

void WindowOperator::SetCommandRunning(bool running) {
  if (running == commandRunning_) return;
  QWidget* focus = QApplication::focusWidget();
  commandRunning_ = running;
  const QWidget* inputs[] = {page_.botProcurar, page_.cbPortaSerial, page_.botProcuraPorta,
                             page_.btnDescobrirPortaSerial};
  if (running) {
    lockedFocus_ = nullptr;
    for (const QWidget* input : inputs) {
      if (focus != nullptr && (focus == input || input->isAncestorOf(focus))) lockedFocus_ = focus;
    }
  }
  ApplyCommandLock();
  // A control that had the focus gets it back once it can take input again.
  if (!running && lockedFocus_ && lockedFocus_->isEnabled()) lockedFocus_->setFocus();
  if (!running) lockedFocus_ = nullptr;
}

void WindowOperator::ApplyCommandLock() {
  const bool free = !commandRunning_;
  for (QWidget* input :
       {static_cast<QWidget*>(page_.botProcurar), static_cast<QWidget*>(page_.cbPortaSerial),
        static_cast<QWidget*>(page_.botProcuraPorta),
        static_cast<QWidget*>(page_.btnDescobrirPortaSerial)}) {
    input->setEnabled(free);
  }
  if (openFile_) openFile_->setEnabled(free);
  if (write_) write_->setEnabled(free && page_.botConectarEGravar->isEnabled());
  if (readSerial_) readSerial_->setEnabled(free && page_.botLeNS->isEnabled());
}

void WindowOperator::SetScanRunning(bool running) {
  PostTo(owner_, [this, running] {
    page_.lbAviso->setVisible(running);
    page_.botProcuraPorta->setVisible(!running);
  });
}

}  // namespace bq::gui
