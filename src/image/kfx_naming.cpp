#include "image/kfx_naming.h"

#include "image/catalogue.h"
#include "shell/utilities.h"

namespace bq {

namespace {

// Every occurrence of from in text replaced by to, comparing without regard to ASCII case.
std::string ReplaceAllIgnoringCase(const std::string& text, const std::string& from,
                                   const std::string& to) {
  if (from.empty()) return text;
  const std::string upperText = UpperCaseAscii(text);
  const std::string upperFrom = UpperCaseAscii(from);
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = upperText.find(upperFrom, pos)) != std::string::npos;
       pos = hit + from.size()) {
    out.append(text, pos, hit - pos);
    out += to;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

// The text between the first "_" and the first "_v" after it; empty without them.
std::string BlockRangeOf(const std::string& folderName) {
  const size_t underscore = folderName.find('_');
  if (underscore == std::string::npos) return {};
  const size_t version = folderName.find("_v", underscore + 1);
  if (version == std::string::npos) return {};
  return folderName.substr(underscore + 1, version - underscore - 1);
}

}  // namespace

std::string BlockFolderName(uint32_t productCode, int64_t first, int64_t last,
                            const std::string& versionText, const std::string& revisionText) {
  return ProductFolderPrefix(productCode) + "_" + std::to_string(first) + "_" +
         std::to_string(last) + "_v" + versionText + "_" + revisionText;
}

int64_t BlockStartOf(int64_t serial) {
  return serial / kSerialsPerBlock * kSerialsPerBlock;
}

std::string SerialFirmwareName(const FirmwareHeader& header) {
  return ProductFilePrefix(header.productCode) + "_V" + std::to_string(header.version) + "_" +
         ZeroPadded(2, header.revision) + "_NS" + ZeroPadded(6, header.serialNumber);
}

std::string SerialKfxFileName(const FirmwareHeader& header) {
  return SerialFirmwareName(header) + ".kfx";
}

std::optional<std::string> FileForSerial(const std::string& lastFile, int32_t serial) {
  const std::string folderPath = FolderOf(lastFile);
  const std::string fileName = lastFile.substr(folderPath.size());
  const size_t ns = fileName.find("NS");
  if (ns == std::string::npos) return std::nullopt;
  const std::string newName = fileName.substr(0, ns + 2) + ZeroPadded(6, serial) + ".kfx";

  const std::string folder = ParentFolderName(lastFile);
  const std::string range = BlockRangeOf(folder);
  if (range.empty()) return folderPath + newName;
  const int64_t first = BlockStartOf(serial);
  const std::string newFolder = ReplaceAllIgnoringCase(
      folder, range, std::to_string(first) + "_" + std::to_string(first + kSerialsPerBlock - 1));
  // Only the file's own folder is renamed, never an ancestor of the same name.
  std::string parent = folderPath;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  parent.resize(parent.size() - folder.size());
  return parent + newFolder + "/" + newName;
}

}  // namespace bq
