#pragma once
// lstFiles of the "View/Edit Torrent" page: one row per file entry, its
// path in the torrent, its size as people read it ("4.2 MiB", the exact
// bytes in the tool tip) and the exact bytes in a column of their own, which
// Ctrl+C copies with the path. Rows are counted like a list's.

#include <QTreeWidget>
#include <cstdint>

class TTorrentFileItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::setText;
  using QTreeWidgetItem::text;
  // The path column.
  QString text() const { return text(0); }
  void setText(const QString& path) { setText(0, path); }
};

class TTorrentFileList : public QTreeWidget {
  Q_OBJECT
 public:
  enum TColumn { PathColumn, SizeColumn, BytesColumn };
  // The list shows at least this many rows at its smallest.
  static constexpr int LeastRows = 8;

  explicit TTorrentFileList(QWidget* parent = nullptr);

  // A pad file is shown as padding, greyed: it holds no one's data and has
  // no name to change, but keeps its row so rows count as files do.
  void AddFile(const QString& path, int64_t length, bool pad = false);
  int count() const { return topLevelItemCount(); }
  TTorrentFileItem* item(int row) const { return static_cast<TTorrentFileItem*>(topLevelItem(row)); }
  int currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }
  void setCurrentRow(int row);
  // "4.2 MiB", as the size column shows it.
  static QString SizeText(int64_t length);
  QSize minimumSizeHint() const override;

 signals:
  void currentRowChanged(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
