#include <windows.h>

#include "shell/utilities.h"

namespace bq {

LocalTime NowLocal() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace bq
