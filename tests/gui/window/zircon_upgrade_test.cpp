// "Abre arquivo e Upgrade ZirconBox" runs on the worker thread and reports in
// the list beside it; a double click clears the list.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "window_fixture.h"

namespace bq::test {
namespace {

TEST_F(WindowTest, ZirconUpgradeReportsBesideItsButton) {
  ports_ = {root_.string() + "/no-device"};
  auto& window = OpenWindow();
  auto* button = window_->findChild<QPushButton*>("botUpgradeZirconBox");
  auto* memo = window_->findChild<QPlainTextEdit*>("memoUpgradeAuto");
  ASSERT_TRUE(button && memo);
  EXPECT_TRUE(memo->isReadOnly());

  button->click();
  EXPECT_TRUE(window.CommandRunning());
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 30000));
  EXPECT_TRUE(WaitUntil([&] { return memo->toPlainText() == "Inicia Upgrade\nFalha Boot"; }));
  EXPECT_TRUE(button->isEnabled());

  QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
  EXPECT_TRUE(WaitUntil([&] { return memo->toPlainText().isEmpty(); }));
}

}  // namespace
}  // namespace bq::test
