#pragma once
// The program's own words in the user's language (GNU gettext, domain
// "bootquarn-cli"). The operator texts of the system itself are never passed
// through here: they read the same in every language.

#if __has_include(<libintl.h>)
#include <libintl.h>
#define BQ_HAVE_LIBINTL 1
#endif

namespace bq {

inline constexpr const char* kTextDomain = "bootquarn-cli";

#ifdef BQ_HAVE_LIBINTL
inline const char* _(const char* english) {
  return ::dgettext(kTextDomain, english);
}
#else
// A system without gettext (the Windows build): the words stay English.
inline const char* _(const char* english) {
  return english;
}
#endif

}  // namespace bq
