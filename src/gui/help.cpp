#include "gui/help.h"

#include <filesystem>

#include "shell/app_paths.h"
#include "shell/operator_interface.h"

namespace bq::gui {

std::string HelpTopicPath(const AppPaths& paths, int topic) {
  return paths.shareFolder + "help/topic" + std::to_string(topic) + ".html";
}

bool OpenHelpTopic(const AppPaths& paths, OperatorInterface& ui, int topic,
                   const std::function<bool(const QUrl&)>& open) {
  std::string page = HelpTopicPath(paths, topic);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(page, ec)) {
    ui.ShowErrorBox("Arquivo de ajuda não encontrado [" + page + "]");
    return false;
  }
  if (!open(QUrl::fromLocalFile(QString::fromStdString(page)))) {
    ui.ShowErrorBox("Não foi possível abrir a ajuda [" + page + "]");
    return false;
  }
  return true;
}

}  // namespace bq::gui
