#pragma once
// A one-line label for texts of any length (paths, URLs): it keeps the whole
// text, shows what fits with an ellipsis, and offers the whole text as its
// tool tip. Its size hint is the whole text, so a short text is never cut.

#include <QLabel>

class TElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent = nullptr);

  QSize minimumSizeHint() const override;
  // True when the text does not fit and is shown cut.
  bool Elided() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  Qt::TextElideMode mode_;
};
