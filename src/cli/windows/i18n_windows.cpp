// The catalogs on Windows: the build has no gettext for the target, so the
// command line's own words stay English and there is nothing to set up.
#include "cli/i18n.h"

namespace bq::cli {

void FollowUserLanguage() {}

void SetUpTranslations() {}

}  // namespace bq::cli
