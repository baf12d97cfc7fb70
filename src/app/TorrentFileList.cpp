#include "app/TorrentFileList.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>

TTorrentFileList::TTorrentFileList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({tr("File"), tr("Size"), tr("Bytes")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  headerItem()->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
  headerItem()->setTextAlignment(BytesColumn, Qt::AlignRight | Qt::AlignVCenter);
  // The path takes what the numbers leave; a long one scrolls sideways.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
  header()->setSectionResizeMode(SizeColumn, QHeaderView::ResizeToContents);
  header()->setSectionResizeMode(BytesColumn, QHeaderView::ResizeToContents);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    emit currentRowChanged(current ? indexOfTopLevelItem(current) : -1);
  });
}

QString TTorrentFileList::SizeText(int64_t length) {
  return QLocale().formattedDataSize(length, 1, QLocale::DataSizeIecFormat);
}

void TTorrentFileList::AddFile(const QString& path, int64_t length, bool pad) {
  auto* row = new TTorrentFileItem;
  row->setText(PathColumn, pad ? tr("[padding] %1").arg(path) : path);
  if (pad) {
    row->setFlags(Qt::NoItemFlags);
    row->setToolTip(PathColumn, tr("Zeros that align the next file to a piece: not renamed"));
  }
  row->setText(SizeColumn, SizeText(length));
  row->setText(BytesColumn, QString::number(length));
  row->setToolTip(SizeColumn, tr("%1 bytes").arg(QLocale().toString(static_cast<qlonglong>(length))));
  row->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
  row->setTextAlignment(BytesColumn, Qt::AlignRight | Qt::AlignVCenter);
  addTopLevelItem(row);
}

void TTorrentFileList::setCurrentRow(int row) { setCurrentItem(topLevelItem(row)); }

QSize TTorrentFileList::minimumSizeHint() const {
  const QSize base = QTreeWidget::minimumSizeHint();
  // A row as the style draws one line of text.
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.features |= QStyleOptionViewItem::HasDisplay;
  option.text = QStringLiteral("Xg");
  const int row = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
  const int height = header()->sizeHint().height() + LeastRows * row + 2 * frameWidth();
  return {base.width(), std::max(base.height(), height)};
}

void TTorrentFileList::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy) && currentItem()) {
    // The path and the exact bytes, as a spreadsheet takes them.
    QGuiApplication::clipboard()->setText(currentItem()->text(PathColumn) + u'\t' +
                                          currentItem()->text(BytesColumn));
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}
