#pragma once
// The maker's logo, drawn rather than loaded so the window never misses it.

#include <QPixmap>

namespace bq::gui {

QPixmap LogoPixmap(int width, int height);
QPixmap IconPixmap(int size);

}  // namespace bq::gui
