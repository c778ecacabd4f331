#pragma once
// The internal-use page's KFX tools: block folder and per-serial-number file
// names, the batch that fills block folders with one KFX file per serial
// number, and the Cripto view of the engineering page.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/kfx_writer.h"

namespace bq {

struct Context;

// What one batch did, for front ends that report it beyond the window.
struct KfxBatchOutcome {
  bool started = false;              // the range was accepted and the source loaded
  std::vector<std::string> folders;  // block folders created, with a trailing '/'
  std::vector<std::string> failed;   // block folders refused or not filled completely
  int files = 0;                     // KFX files written
  bool stopped = false;              // ended early by Context::batchStop
  bool ok() const { return started && failed.empty() && !stopped; }
};

// The block folder name of first..last, shown and returned; product, version
// and revision are those of the KFX tools' source header.
std::string atuNomePasta(Context& ctx, int64_t first, int64_t last);

// A batch: the range first..end in blocks of 100 from the first number, from
// the source file.
struct KfxBatchRequest {
  std::string sourceFile;
  int64_t first = 0;
  int64_t end = 0;
};

// The file of serial derived from the settings' last firmware file, stored as
// that file and shown. Empty, after an error box, when the last file's name
// holds no "NS"; the settings are then left as they were.
std::optional<std::string> KfxFileForSerial(Context& ctx, int32_t serial);

// "Gera Varios KFX": the source loaded, then one block folder after another.
KfxBatchOutcome GenerateKfxBatch(Context& ctx, const KfxBatchRequest& request);
// One block folder beside the source file, filled with the files of first .. first + 99.
bool GenerateKfxBlock(Context& ctx, const std::string& sourceFile, int64_t first,
                      KfxBatchOutcome& outcome);
// Writes the loaded image as the file of serial into folder; a failure is
// shown in an error box with the system's reason.
std::optional<KfxWriteError> WriteKfxForSerial(Context& ctx, const std::string& folder,
                                               int64_t serial);

// "Mostra Cripto": lists the cipher buffer, which nothing ever writes.
void ShowCriptoDump(Context& ctx);
inline void botMostraCriptoClick(Context& ctx) {
  ShowCriptoDump(ctx);
}

// Controls of the page that have no effect.
inline void botGeraKFXClick(Context&) {}
inline void botGeraKFXeGravaClick(Context&) {}
inline void botKFX_ZERADOClick(Context&) {}
inline void borGeraKFX_TESTEClick(Context&) {}

}  // namespace bq
