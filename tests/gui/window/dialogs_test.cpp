// The cable finder, help and about boxes as the operator meets them.

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/cable_finder_dialog.h"
#include "gui/port_combo.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

QString Text(QWidget* dialog, const char* name) {
  auto* label = dialog->findChild<QLabel*>(name);
  return label ? label->text() : QString("<none>");
}

QPushButton* Button(QWidget* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(name);
}

TEST_F(WindowTest, CableFinderFindsThePluggedPortAndTheListSelectsIt) {
  ports_ = {"/dev/ttyS0", "/dev/ttyUSB0"};
  auto& window = OpenWindow();
  lister_->snapshots = {{"/dev/ttyS0"}, {"/dev/ttyS0", "/dev/ttyUSB1"}};
  std::vector<QString> texts;
  QColor found;
  boxes_->onDialog = [&](QWidget* modal) {
    auto* finder = dynamic_cast<gui::TfrmQualPortaSerial*>(modal);
    if (finder == nullptr) return false;
    EXPECT_EQ(finder->windowTitle().toStdString(), "Procura de porta serial");
    EXPECT_EQ(finder->size(), QSize(554, 156));
    Button(finder, "botCaboDesconectado")->click();
    for (int i = 0; i < 5; ++i) finder->Timer1SegTimer();
    texts.push_back(Text(finder, "lbPasso"));
    Button(finder, "btnCaboCONECTADO")->click();
    lister_->ports = {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"};
    finder->Timer1SegTimer();
    texts.push_back(Text(finder, "lbPasso"));
    found = finder->findChild<QLabel*>("lbPasso")->palette().color(QPalette::WindowText);
    EXPECT_TRUE(Button(finder, "botOk")->isVisible());
    EXPECT_FALSE(finder->timer().isActive());
    QTest::keyClick(finder, Qt::Key_Return);
    return true;
  };
  window.findChild<QPushButton*>("btnDescobrirPortaSerial")->click();

  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].toStdString(), "Passo 3 : Agora CONECTE o cabo serial.");
  EXPECT_EQ(texts[1].toStdString(), "Cabo encontrado na porta serial /dev/ttyUSB1");
  EXPECT_EQ(found, QColor(0, 128, 0));
  auto* ports = window.findChild<QComboBox*>("cbPortaSerial");
  EXPECT_EQ(ports->count(), 3);
  EXPECT_EQ(ports->currentText().toStdString(), "/dev/ttyUSB1");
  // Only selected: the settings keep their port until the operator chooses or closes.
  EXPECT_EQ(window.context().settings.portName, "/dev/ttyS0");
}

TEST_F(WindowTest, CableFinderKeysAndHelp) {
  ports_ = {"/dev/ttyS0", "/dev/ttyUSB0"};
  auto& window = OpenWindow();
  window.findChild<QComboBox*>("cbPortaSerial")->setCurrentIndex(1);
  struct KeyCase {
    Qt::Key key;
    int selectedAfter;  // Esc keeps the selection; Enter (nothing found) takes the first entry
  };
  for (KeyCase c : {KeyCase{Qt::Key_Escape, 1}, KeyCase{Qt::Key_Return, 0}}) {
    boxes_->onDialog = [&](QWidget* modal) {
      auto* finder = dynamic_cast<gui::TfrmQualPortaSerial*>(modal);
      if (finder == nullptr) return false;
      QTest::keyClick(finder, Qt::Key_F1);
      QTest::keyClick(finder, c.key);
      return true;
    };
    window.btnDescobrirPortaSerialClick();
    EXPECT_EQ(window.findChild<QComboBox*>("cbPortaSerial")->currentIndex(), c.selectedAfter);
  }
  ASSERT_EQ(openedUrls_.size(), 2u);
  EXPECT_TRUE(openedUrls_[0].toLocalFile().endsWith("help/topic24.html"));
}

TEST_F(WindowTest, HelpOpensTheInstalledTopicPages) {
  auto& window = OpenWindow();
  window.findChild<QPushButton*>("botHelp")->click();
  window.findChild<QPushButton*>("btnVersoes")->click();
  QTest::keyClick(&window, Qt::Key_F1);
  ASSERT_EQ(openedUrls_.size(), 3u);
  const char* expected[] = {"topic2.html", "topic1.html", "topic2.html"};
  for (size_t i = 0; i < 3; ++i) {
    QString page = openedUrls_[i].toLocalFile();
    EXPECT_TRUE(page.endsWith(expected[i])) << page.toStdString();
    EXPECT_TRUE(QFileInfo::exists(page)) << page.toStdString();
  }
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
}

TEST_F(WindowTest, AboutBoxNamesTheVersion) {
  auto& window = OpenWindow();
  QStringList lines;
  QString title;
  boxes_->onDialog = [&](QWidget* modal) {
    if (modal->objectName() != "AboutBox") return false;
    title = modal->windowTitle();
    for (const char* name : {"ProductName", "Version", "Comments"}) lines << Text(modal, name);
    static_cast<QDialog*>(modal)->accept();
    return true;
  };
  window.subMenuSobreClick();
  EXPECT_EQ(title.toStdString(), "Quarn Troca Firmware MSP430");
  EXPECT_EQ(lines.join("|").toStdString(),
            "Quarn Troca Firmware MSP430|Versão 5.54   de   19/Ago/2019|"
            "Parceiros e Representantes Quarn");
}

// The open list shows what each port is; the field and the core see only its path.
TEST_F(WindowTest, PortListShowsEachPortsDescriptionBesideItsPath) {
  ports_ = {"/dev/ttyS0"};
  auto& window = OpenWindow();
  PortInfo usb;
  usb.path = "/dev/ttyUSB0";
  usb.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A502-if00-port0";
  usb.driver = "ftdi_sio";
  usb.vendorId = "0403";
  usb.productId = "6001";
  usb.manufacturer = "FTDI";
  usb.product = "FT232R USB UART";
  PortInfo uart;
  uart.path = "/dev/ttyS0";
  uart.driver = "serial";
  lister_->ports = {"/dev/ttyS0", "/dev/ttyUSB0"};
  lister_->infos = {uart, usb};

  auto* ports = window.findChild<gui::PortComboBox*>("cbPortaSerial");
  ports->showPopup();  // refreshes the list
  ports->hidePopup();
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->itemText(1).toStdString(), "/dev/ttyUSB0");
  EXPECT_EQ(ports->ShownText(1).toStdString(), "/dev/ttyUSB0    FTDI FT232R USB UART [0403:6001]");
  EXPECT_EQ(ports->ShownText(0).toStdString(), "/dev/ttyS0    serial port (serial)");
  EXPECT_EQ(ports->itemData(1, Qt::ToolTipRole).toString().toStdString(),
            "FTDI FT232R USB UART [0403:6001]\n" + usb.byId);

  ports->setCurrentIndex(1);
  EXPECT_EQ(ports->currentText().toStdString(), "/dev/ttyUSB0");
  EXPECT_EQ(window.context().portList->SelectedText(), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace bq::test
