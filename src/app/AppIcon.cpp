#include "app/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);  // the SVG's view box

  QLinearGradient bg(0, 2, 0, 62);
  bg.setColorAt(0, QColor(0x2a, 0x7d, 0x9c));
  bg.setColorAt(1, QColor(0x17, 0x4a, 0x60));
  p.setPen(Qt::NoPen);
  p.setBrush(bg);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 6));
  p.drawEllipse(QPointF(30, 30), 17, 17);
  p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(41, 41), QPointF(53, 53));

  p.setPen(Qt::NoPen);
  const QColor piece(0xf5, 0xa6, 0x23);
  p.fillRect(QRectF(23, 23, 6, 6), piece);
  p.fillRect(QRectF(31, 23, 6, 6), piece);
  p.fillRect(QRectF(23, 31, 6, 6), piece);
  p.fillRect(QRectF(31, 31, 6, 6), QColor(0xff, 0xd2, 0x7a));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Draw(size));
  return icon;
}
