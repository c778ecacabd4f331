// The Windows serial back end's decisions and the description of COM ports.
// What only a real port can show (the DCB taken by the driver, the receive
// notification, the exclusive open) rests on these.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "serial/port_error.h"
#include "serial/port_info.h"
#include "serial/port_list.h"
#include "serial/windows/com_port_names.h"
#include "serial/windows/comm_settings.h"

namespace bq {
namespace {

TEST(WindowsComm, DeviceNamesGoThroughTheDevicePrefix) {
  EXPECT_EQ(win32::CommDeviceName("COM5"), L"\\\\.\\COM5");
  EXPECT_EQ(win32::CommDeviceName("COM12"), L"\\\\.\\COM12");
  EXPECT_EQ(win32::CommDeviceName("\\\\.\\COM3"), L"\\\\.\\COM3");
}

TEST(WindowsComm, DcbIsRaw8N1WithoutFlowControl) {
  struct Case {
    SerialBackend::LineSettings line;
    DWORD dtr;
    DWORD rts;
  };
  const Case cases[] = {
      {{19200, true, true}, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE},
      {{4545, false, true}, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE},
      {{38400, true, false}, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
  };
  for (const Case& c : cases) {
    DCB dcb{};
    // Whatever the driver had before: parity, flow control, 7 bits.
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    win32::ApplyLineToDcb(c.line, dcb);
    EXPECT_EQ(dcb.BaudRate, c.line.baudRate);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
    EXPECT_FALSE(dcb.fAbortOnError);
    EXPECT_EQ(dcb.fDtrControl, c.dtr);
    EXPECT_EQ(dcb.fRtsControl, c.rts);
  }
}

TEST(WindowsComm, AWholeDcbIsValidWithoutThePortsOwnState) {
  DCB dcb = win32::FreshDcb();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  // SetCommState refuses equal XON and XOFF characters, even unused.
  EXPECT_NE(dcb.XonChar, dcb.XoffChar);
  EXPECT_LT(dcb.XoffLim, dcb.XonLim);
  win32::ApplyLineToDcb({38400, true, true}, dcb);
  EXPECT_EQ(dcb.BaudRate, 38400u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_FALSE(dcb.fOutX || dcb.fInX || dcb.fOutxCtsFlow);
}

TEST(WindowsComm, ARateTheDriverDidNotSetIsAnError) {
  EXPECT_EQ(win32::RateProblem(19200, 19200), "");
  EXPECT_EQ(win32::RateProblem(4545, 4545), "");
  // Wine on a pseudo-terminal takes 4545 and sets 38400.
  const std::string problem = win32::RateProblem(4545, 38400);
  EXPECT_NE(problem.find("4545 baud"), std::string::npos) << problem;
  EXPECT_NE(problem.find("38400 baud"), std::string::npos) << problem;
}

TEST(WindowsComm, ReadTimeoutsWaitForTheFirstByteOnly) {
  const COMMTIMEOUTS now = win32::ReadTimeouts(0);
  EXPECT_EQ(now.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(now.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(now.ReadTotalTimeoutConstant, 0u);
  const COMMTIMEOUTS waiting = win32::ReadTimeouts(1100);
  EXPECT_EQ(waiting.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(waiting.ReadTotalTimeoutMultiplier, MAXDWORD);
  EXPECT_EQ(waiting.ReadTotalTimeoutConstant, 1100u);
  // Without a limit the total time-outs are off.
  const COMMTIMEOUTS forever = win32::ReadTimeouts(MAXDWORD);
  EXPECT_EQ(forever.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(forever.ReadTotalTimeoutConstant, 0u);
}

TEST(WindowsComm, WriteTimeoutsAreTheSetsOwn) {
  COMMTIMEOUTS t = win32::ReadTimeouts(5);
  win32::ApplyWriteTimeouts(Timeouts{50, 100, 1000, 3, 700}, t);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 3u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 700u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 5u);
}

TEST(WindowsComm, OpenErrorsSayWhatTheOperatorCanDo) {
  struct Case {
    DWORD error;
    PortOpenProblem problem;
  };
  const Case cases[] = {
      {ERROR_ACCESS_DENIED, PortOpenProblem::Busy},
      {ERROR_SHARING_VIOLATION, PortOpenProblem::Busy},
      {ERROR_FILE_NOT_FOUND, PortOpenProblem::Missing},
      {ERROR_PATH_NOT_FOUND, PortOpenProblem::Missing},
      {ERROR_GEN_FAILURE, PortOpenProblem::Other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyOpenError(win32::OpenErrno(c.error), "COM5"), c.problem) << c.error;
  }
}

TEST(WindowsComm, ErrorKindsAreToldApart) {
  // Wine on a pseudo-terminal and virtual ports have no modem lines.
  EXPECT_TRUE(win32::NoModemLines(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(win32::NoModemLines(ERROR_GEN_FAILURE));
  EXPECT_TRUE(win32::NoCommEvents(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(win32::NoCommEvents(ERROR_ACCESS_DENIED));
  // A wait the driver ends by itself (Wine cancels it at each wake-up) means
  // no notification; a time-out is Windows's success and Wine's ERROR_TIMEOUT.
  EXPECT_TRUE(win32::EventWaitEndedByDriver(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(win32::EventWaitEndedByDriver(ERROR_BAD_COMMAND));
  EXPECT_TRUE(win32::TimedOut(ERROR_TIMEOUT));
  EXPECT_TRUE(win32::TimedOut(ERROR_SEM_TIMEOUT));
  EXPECT_FALSE(win32::TimedOut(ERROR_OPERATION_ABORTED));
  // A state the driver cannot report is set whole; a gone port is not.
  EXPECT_TRUE(win32::StateUnreadable(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(win32::StateUnreadable(ERROR_BAD_COMMAND));
  EXPECT_FALSE(win32::StateUnreadable(ERROR_INVALID_HANDLE));
  // A pulled adapter.
  EXPECT_TRUE(win32::DeviceGone(ERROR_BAD_COMMAND));
  EXPECT_TRUE(win32::DeviceGone(ERROR_DEVICE_REMOVED));
  EXPECT_FALSE(win32::DeviceGone(ERROR_SEM_TIMEOUT));
  const std::string text = win32::PortErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_NE(text.find("(Windows error 2)"), std::string::npos) << text;
}

TEST(WindowsComm, OpeningAMissingPortFailsAsMissing) {
  auto backend = MakeDefaultSerialBackend();
  try {
    backend->Open("COM250");
    FAIL() << "COM250 opened";
  } catch (const PortError& e) {
    EXPECT_EQ(ClassifyOpenError(e.osCode(), "COM250"), PortOpenProblem::Missing) << e.what();
    EXPECT_NE(std::string(e.what()).find("Windows error"), std::string::npos);
  }
  EXPECT_FALSE(backend->IsOpen());
}

TEST(WindowsPorts, UsbAdaptersAreDescribedFromTheirInstanceId) {
  struct Case {
    std::string instanceId;
    std::string friendlyName;
    std::string manufacturer;
    std::string description;
  };
  const Case cases[] = {
      {"USB\\VID_0403&PID_6001\\A50285BI", "USB Serial Port (COM5)", "FTDI",
       "FTDI USB Serial Port [0403:6001] serial A50285BI"},
      // FTDI's own bus.
      {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "USB Serial Port (COM5)", "FTDI",
       "FTDI USB Serial Port [0403:6001] serial A50285BIA"},
      // No serial number of its own: Windows's made-up one is not shown.
      {"USB\\VID_067B&PID_2303\\5&2A3B4C&0&1", "Prolific USB-to-Serial Comm Port (COM5)",
       "Prolific", "Prolific USB-to-Serial Comm Port [067b:2303]"},
      // An on-board port.
      {"ACPI\\PNP0501\\1", "Communications Port (COM5)", "(Standard port types)",
       "serial port (Serial)"},
  };
  for (const Case& c : cases) {
    const UdevTtyDevice device = win32::ComPortDevice("\\Device\\VCP0", "COM5", c.instanceId,
                                                      c.friendlyName, c.manufacturer, "Serial");
    const std::optional<PortInfo> port = PortFromUdev(device);
    ASSERT_TRUE(port) << c.instanceId;
    EXPECT_EQ(port->path, "COM5");
    EXPECT_EQ(port->Description(), c.description) << c.instanceId;
  }
}

TEST(WindowsPorts, ComPortsSortByNumber) {
  std::vector<UdevTtyDevice> devices;
  for (const char* name : {"COM10", "COM9", "COM1", "COM2"}) {
    devices.push_back(win32::ComPortDevice("\\Device\\Serial0", name, "", "", "", "Serial"));
  }
  std::vector<std::string> names;
  for (const PortInfo& port : PortsFromUdev(devices)) names.push_back(port.path);
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM9", "COM10"}));
}

}  // namespace
}  // namespace bq
