#pragma once
// The real window on Qt's offscreen platform over a fresh data folder, a
// virtual device and a lister of virtual ports; boxes are answered by a timer
// that records what they said.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_port_lister.h"
#include "gui/main_window.h"
#include "virtual_device.h"

namespace bq::test {

struct SeenBox {
  std::string kind;  // the box's objectName: MessageBox, ErrorBox, ConfirmBox, AboutBox...
  std::string text;
};

// Answers every modal box that opens: OK, or the next scripted answer to a
// question (Yes when none is left). A custom handler may take other dialogs.
class BoxAnswerer {
 public:
  BoxAnswerer();
  std::vector<SeenBox> seen;
  std::deque<QMessageBox::StandardButton> answers;
  // Called for a modal dialog that is no message box; returns true once done with it.
  std::function<bool(QWidget*)> onDialog;
  std::vector<std::string> Texts(const std::string& kind) const;

 private:
  void Poll();
  QTimer timer_;
};

// Runs the event loop until pred holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 10000);

// A data file of the program: a small KFX file of the given product header
// whose flash spans 0x0800..last. Returns the image's flash as written.
std::vector<uint8_t> WriteTestKfx(const std::string& path, uint32_t last, uint8_t productCode,
                                  uint16_t serial, uint8_t version, uint8_t revision);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a virtual device and lists its port as the machine's one port.
  sim::VirtualDevice& StartDevice(sim::SimOptions options = {});
  // Builds the window (start-up runs, boxes answered) and shows it.
  gui::TfrmQuarnMain10BootQuarn& OpenWindow();
  // Closes the window as the operator would; true when it closed.
  bool CloseWindow();

  std::string FieldText(const char* objectName) const;
  std::string StatusLine() const;
  bool StatusLineGreen() const;
  bool DeviceButtonsEnabled() const;

  std::filesystem::path root_;
  std::string dataRoot_;
  FakePortLister* lister_ = nullptr;
  std::vector<std::string> ports_;
  std::unique_ptr<sim::VirtualDevice> device_;
  std::unique_ptr<BoxAnswerer> boxes_;
  std::unique_ptr<gui::TfrmQuarnMain10BootQuarn> window_;
  std::vector<QUrl> openedUrls_;
};

}  // namespace bq::test
