#pragma once
// The command line's own words in the user's language (GNU gettext, domain
// "bootquarn-cli"). The operator texts of the system itself are never passed
// through here: they read the same in every language.

#include <libintl.h>

#include <string>
#include <vector>

namespace bq::cli {

inline constexpr const char* kTextDomain = "bootquarn-cli";

inline const char* _(const char* english) {
  return ::dgettext(kTextDomain, english);
}

// text with %1, %2, ... replaced by the values, in any order a translation needs.
std::string Fill(const std::string& text, const std::vector<std::string>& values);

// Follows the user's language for messages only, and finds the catalogs beside
// the program: <prefix>/share/locale when installed, <build>/locale in a build tree.
void SetUpTranslations();
// Messages in the user's language again, after start-up put every category in "C".
void FollowUserLanguage();

}  // namespace bq::cli
