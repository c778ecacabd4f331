#pragma once
// The command line's catalogs: where they are found and when they apply. The
// translating call itself, _(), lives with the shell's text utilities.

#include <string>
#include <vector>

#include "shell/translation.h"

namespace bq::cli {

// text with %1, %2, ... replaced by the values, in any order a translation needs.
std::string Fill(const std::string& text, const std::vector<std::string>& values);

// Follows the user's language for messages only, and finds the catalogs beside
// the program: <prefix>/share/locale when installed, <build>/locale in a build tree.
void SetUpTranslations();
// Messages in the user's language again, after start-up put every category in "C".
void FollowUserLanguage();

}  // namespace bq::cli
