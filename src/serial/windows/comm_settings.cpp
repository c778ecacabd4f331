#include "serial/windows/comm_settings.h"

#include <cerrno>

#include "shell/windows/win32_text.h"

namespace bq::win32 {

std::wstring CommDeviceName(const std::string& port) {
  const std::wstring wide = Wide(port);
  if (wide.rfind(L"\\\\", 0) == 0) return wide;
  return L"\\\\.\\" + wide;
}

void ApplyLineToDcb(const SerialBackend::LineSettings& line, DCB& dcb) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = line.baudRate;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = line.dtrEnabled ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fRtsControl = line.rtsEnabled ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
}

DCB FreshDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  ApplyLineToDcb(SerialBackend::LineSettings{}, dcb);
  return dcb;
}

std::string RateProblem(DWORD wanted, DWORD taken) {
  if (wanted == taken) return {};
  return "the serial driver cannot set " + std::to_string(wanted) + " baud (it set " +
         std::to_string(taken) + " baud instead)";
}

COMMTIMEOUTS ReadTimeouts(DWORD waitMs) {
  COMMTIMEOUTS t{};
  if (waitMs == 0) {
    // Whatever is there, at once.
    t.ReadIntervalTimeout = MAXDWORD;
    return t;
  }
  if (waitMs == MAXDWORD) {
    // No time-out at all: the read waits for its first byte, then returns.
    t.ReadIntervalTimeout = 1;
    return t;
  }
  // What is there at once; else the first byte within waitMs.
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = waitMs;
  return t;
}

void ApplyWriteTimeouts(const Timeouts& t, COMMTIMEOUTS& timeouts) {
  timeouts.WriteTotalTimeoutMultiplier = t.writeMultiplier;
  timeouts.WriteTotalTimeoutConstant = t.writeConstant;
}

int OpenErrno(DWORD error) {
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return EBUSY;
  return ErrnoFromWin32(error);
}

bool NoModemLines(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_INVALID_PARAMETER;
}

bool DeviceGone(DWORD error) {
  return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
         error == ERROR_DEV_NOT_EXIST || error == ERROR_DEVICE_NOT_CONNECTED ||
         error == ERROR_GEN_FAILURE || error == ERROR_FILE_NOT_FOUND;
}

bool NoCommEvents(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool TimedOut(DWORD error) {
  return error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT;
}

bool EventWaitEndedByDriver(DWORD error) {
  return error == ERROR_OPERATION_ABORTED || NoCommEvents(error);
}

bool StateUnreadable(DWORD error) {
  return !DeviceGone(error) && error != ERROR_INVALID_HANDLE;
}

std::string PortErrorText(DWORD error) {
  return Win32ErrorText(error) + " (Windows error " + std::to_string(error) + ")";
}

}  // namespace bq::win32
