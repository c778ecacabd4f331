#include "cli/i18n.h"

namespace bq::cli {

std::string Fill(const std::string& text, const std::vector<std::string>& values) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : values.size();
    if (text[i] == '%' && n < values.size() && n < 9) {
      out += values[n];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace bq::cli
