#pragma once
// The help pages, installed with the program as HTML and opened at a topic
// (in the program's own help window).

#include <QUrl>
#include <functional>
#include <string>

namespace bq {
class OperatorInterface;
struct AppPaths;
}  // namespace bq

namespace bq::gui {

// <share folder>help/topic<N>.html
std::string HelpTopicPath(const AppPaths& paths, int topic);

// Opens the topic's page with open (the window's help viewer unless a test
// swaps it); tells the operator when the page is missing or cannot be opened.
bool OpenHelpTopic(const AppPaths& paths, OperatorInterface& ui, int topic,
                   const std::function<bool(const QUrl&)>& open);

}  // namespace bq::gui
