// The bench's name on Windows: the computer's name.

#include <windows.h>

#include <string>

#include "records/production_record.h"
#include "shell/windows/win32_text.h"

namespace bq::records {

std::string BenchName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size)) return "";
  return win32::Narrow(name, size);
}

}  // namespace bq::records
