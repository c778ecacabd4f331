#include "app/handlers/kfx_batch_handlers.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/context.h"

namespace bq {
namespace {

// The field's text as a 32-bit decimal integer (leading blanks allowed), or
// the conversion error.
int64_t FieldInteger(const WindowControls& window, Field field) {
  const std::string text = window.FieldText(field);
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) start = text.size();
  if (start < text.size() && text[start] == '+') ++start;
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data() + start, end, value);
  if (ec != std::errc() || ptr != end) {
    throw std::runtime_error("'" + text + "' não é um valor inteiro válido");
  }
  return value;
}

}  // namespace

KfxBatchOutcome botGeraVariosKFXClick(Context& ctx, WindowControls& window) {
  KfxBatchRequest request;
  request.first = FieldInteger(window, Field::edNSInicial);
  request.end = FieldInteger(window, Field::edNSFinal);
  request.sourceFile = window.FieldText(Field::edNomeArquivoHex2Kfx);
  return GenerateKfxBatch(ctx, request);
}

void botProx100Click(WindowControls& window) {
  const int64_t first = FieldInteger(window, Field::edNSInicial);
  ShowInControls(window, shown::BatchRange{first + 100, first + 199});
}

}  // namespace bq
