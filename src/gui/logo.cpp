#include "gui/logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace bq::gui {
namespace {

const QColor kDeepBlue(0, 51, 102);
const QColor kLightBlue(0, 122, 204);

void PaintBadge(QPainter& painter, const QRectF& area, const QString& text, qreal textScale) {
  QLinearGradient fill(area.topLeft(), area.bottomRight());
  fill.setColorAt(0, kLightBlue);
  fill.setColorAt(1, kDeepBlue);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  qreal radius = area.height() * 0.18;
  painter.drawRoundedRect(area, radius, radius);
  QFont font("Arial");
  font.setBold(true);
  font.setPixelSize(static_cast<int>(area.height() * textScale));
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(area, Qt::AlignCenter, text);
}

}  // namespace

QPixmap LogoPixmap(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  PaintBadge(painter, QRectF(0, 0, width, height), "Quarn", 0.55);
  return pixmap;
}

QPixmap IconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  qreal margin = size / 16.0;
  PaintBadge(painter, QRectF(margin, margin, size - 2 * margin, size - 2 * margin), "Q", 0.7);
  return pixmap;
}

}  // namespace bq::gui
