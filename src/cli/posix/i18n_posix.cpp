// The catalogs of a POSIX system: GNU gettext, with the catalogs beside the
// program.
#include <clocale>
#include <filesystem>
#include <system_error>

#include "cli/i18n.h"

namespace bq::cli {

namespace {

std::string CatalogFolder() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path bin = fs::read_symlink("/proc/self/exe", ec).parent_path();
  if (ec) return {};
  for (const fs::path& dir : {bin.parent_path() / "locale", bin.parent_path() / "share/locale"}) {
    if (fs::is_directory(dir, ec)) return dir.string();
  }
  return {};
}

}  // namespace

void FollowUserLanguage() {
  std::setlocale(LC_MESSAGES, "");
}

void SetUpTranslations() {
  // Only the messages follow the user's locale: numbers, dates and character
  // classes stay in "C". The catalogs are UTF-8 whatever LC_CTYPE says.
  FollowUserLanguage();
  const std::string folder = CatalogFolder();
  if (!folder.empty()) ::bindtextdomain(kTextDomain, folder.c_str());
  ::bind_textdomain_codeset(kTextDomain, "UTF-8");
}

}  // namespace bq::cli
