#include "app/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

TElidedLabel::TElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(text, parent), mode_(mode) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setWordWrap(false);
}

QSize TElidedLabel::minimumSizeHint() const {
  const QSize hint = QLabel::minimumSizeHint();
  return {fontMetrics().horizontalAdvance(QStringLiteral("...")), hint.height()};
}

bool TElidedLabel::Elided() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), mode_, area.width());
  const int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()).toInt());
  style()->drawItemText(&painter, area, flags, palette(), isEnabled(), shown, foregroundRole());
}

bool TElidedLabel::event(QEvent* event) {
  // The whole text as tool tip, only when part of it is hidden.
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (Elided())
      QToolTip::showText(help->globalPos(), text(), this);
    else
      QToolTip::hideText();
    return true;
  }
  return QLabel::event(event);
}
