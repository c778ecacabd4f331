// The text of a boot-loader version and the identity group of the window.

#include "app/identity_view.h"

#include <gtest/gtest.h>

#include "app/context.h"
#include "app/station.h"
#include "boot/boot_commands.h"
#include "recording_operator.h"

namespace bq::test {
namespace {

TEST(FormatBootVersion, MajorDotTwoDigitMinor) {
  const std::pair<uint32_t, const char*> cases[] = {
      {514, "2.02"}, {0x0105, "1.05"}, {0x030C, "3.12"}, {0, "0.00"}, {0xFFFF, "255.255"},
  };
  for (const auto& [version, text] : cases) EXPECT_EQ(FormatBootVersion(version), text);
}

TEST(IdentityDisplay, ProductEntryFallsBackToUndefinedAboveTheTable) {
  const std::pair<uint8_t, int> cases[] = {{0, 0}, {5, 5}, {27, 27}, {28, 28}, {29, 27}, {255, 27}};
  for (const auto& [code, entry] : cases) {
    RecordingOperator ui;
    Context ctx{ui, AppPaths{}};
    Station station{ctx, ui};
    DeviceIdentity id;
    id.serialNumber = 65535;
    id.firmwareVersion = 4;
    id.firmwareRevision = 9;
    id.productCode = code;
    ShowDeviceIdentity(station, id);
    EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoLido), entry) << int(code);
    EXPECT_EQ(ui.FieldText(Field::edNSLido), "65535");
    EXPECT_EQ(ui.FieldText(Field::edTpProduto), std::to_string(code));
    EXPECT_EQ(ui.FieldText(Field::edVerLido), "4");
    EXPECT_EQ(ui.FieldText(Field::edRevLido), "9");
  }
}

TEST(IdentityDisplay, BothOperationsEndByLettingPendingInputRun) {
  RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  Station station{ctx, ui};
  std::vector<std::string> seenAtPending;
  ui.onProcessMessages = [&] { seenAtPending.push_back(ui.FieldText(Field::edRevLido)); };
  DeviceIdentity id;
  id.firmwareRevision = 3;
  ShowDeviceIdentity(station, id);
  ClearDeviceIdentity(station);
  EXPECT_EQ(seenAtPending, (std::vector<std::string>{"3", "x"}));
  EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoLido), 27);
}

}  // namespace
}  // namespace bq::test
