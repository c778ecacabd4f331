#pragma once
// The program's own words in the user's language (GNU gettext, domain
// "bootquarn-cli"). The operator texts of the system itself are never passed
// through here: they read the same in every language.

#include <libintl.h>

namespace bq {

inline constexpr const char* kTextDomain = "bootquarn-cli";

inline const char* _(const char* english) {
  return ::dgettext(kTextDomain, english);
}

}  // namespace bq
