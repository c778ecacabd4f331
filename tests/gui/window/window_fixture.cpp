#include "window_fixture.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "hex_record.h"
#include "shell/app_paths.h"

namespace bq::test {

namespace fs = std::filesystem;

BoxAnswerer::BoxAnswerer() {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

void BoxAnswerer::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible()) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    seen.push_back({box->objectName().toStdString(), box->text().toStdString()});
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (box->standardButtons().testFlag(QMessageBox::Yes)) {
      answer = answers.empty() ? QMessageBox::Yes : answers.front();
      if (!answers.empty()) answers.pop_front();
    }
    box->button(answer)->click();
    return;
  }
  if (onDialog && onDialog(modal)) onDialog = nullptr;
}

std::vector<std::string> BoxAnswerer::Texts(const std::string& kind) const {
  std::vector<std::string> texts;
  for (const auto& box : seen) {
    if (box.kind == kind) texts.push_back(box.text);
  }
  return texts;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!pred()) {
    if (clock.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

std::vector<uint8_t> WriteTestKfx(const std::string& path, uint32_t last, uint8_t productCode,
                                  uint16_t serial, uint8_t version, uint8_t revision) {
  std::vector<uint8_t> flash(0x20000, 0xFF);
  for (uint32_t a = 0x0800; a <= last; ++a) flash[a] = static_cast<uint8_t>((a * 7 + 3) % 251);
  std::vector<uint8_t> header(16, 0);
  header[0] = productCode;
  header[1] = static_cast<uint8_t>(serial);
  header[2] = version;
  header[8] = revision;
  header[13] = static_cast<uint8_t>(serial >> 8);
  std::ofstream out(path, std::ios::binary);
  out << HexRecord(6, 0, header) << "\r\n";
  for (uint32_t a = 0x0800; a <= last; a += 16) {
    out << HexRecord(0, static_cast<uint16_t>(a),
                     std::vector<uint8_t>(flash.begin() + a, flash.begin() + a + 16))
        << "\r\n";
  }
  out << HexRecord(1, 0, {}) << "\r\n";
  return flash;
}

void WindowTest::SetUp() {
  root_ =
      fs::temp_directory_path() / ("bq-window-" + std::to_string(::getpid()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(root_);
  fs::create_directories(root_);
  ::setenv("XDG_DATA_HOME", root_.c_str(), 1);
  dataRoot_ = root_.string() + "/Quarn/BootQuarn/";
  boxes_ = std::make_unique<BoxAnswerer>();
}

void WindowTest::TearDown() {
  if (window_) {
    window_->WaitForCommand();
    CloseWindow();
    window_.reset();
  }
  if (device_) device_->Stop();
  boxes_.reset();
  fs::remove_all(root_);
}

sim::VirtualDevice& WindowTest::StartDevice(sim::SimOptions options) {
  device_ = std::make_unique<sim::VirtualDevice>(std::move(options));
  device_->Start();
  ports_ = {device_->PortPath()};
  return *device_;
}

gui::TfrmQuarnMain10BootQuarn& WindowTest::OpenWindow() {
  auto lister = std::make_unique<FakePortLister>();
  lister_ = lister.get();
  lister_->ports = ports_;
  gui::WindowSetup setup{DefaultAppPaths(), MakeDefaultSerialBackend(), std::move(lister)};
  window_ = std::make_unique<gui::TfrmQuarnMain10BootQuarn>(std::move(setup));
  window_->urlOpener = [this](const QUrl& url) {
    openedUrls_.push_back(url);
    return true;
  };
  window_->show();
  QApplication::processEvents();
  return *window_;
}

bool WindowTest::CloseWindow() {
  window_->close();
  return WaitUntil([this] { return !window_->isVisible(); }, 15000);
}

std::string WindowTest::FieldText(const char* objectName) const {
  auto* edit = window_->findChild<QLineEdit*>(objectName);
  return edit ? edit->text().toStdString() : std::string("<no field>");
}

std::string WindowTest::StatusLine() const {
  return FieldText("edAvisoGravacao");
}

bool WindowTest::StatusLineGreen() const {
  auto* line = window_->findChild<QLineEdit*>("edAvisoGravacao");
  return line->palette().color(QPalette::Base) == QColor(0, 255, 0);
}

bool WindowTest::DeviceButtonsEnabled() const {
  for (QPushButton* button : window_->page().DeviceCommandButtons()) {
    if (!button->isEnabled()) return false;
  }
  return true;
}

}  // namespace bq::test
