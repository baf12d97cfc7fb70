// quorvane-screenshots: shows the main window with sample data and saves a
// picture of each page (docs/). Run it under Xvfb: scripts/screenshots.sh.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/AppIcon.h"
#include "app/FileListBox.h"
#include "app/FileNames.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "base/ProfileFile.h"
#include "base/Stream.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

class TQuietDialogs : public TDialogs {
 public:
  TMsgResult MessageBox(const std::string&, const std::string&, TMsgButtons) override {
    return TMsgResult::Ok;
  }
  std::optional<std::string> SaveDialog(const TSaveDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }
};

void Settle() {
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

bool Save(QWidget* widget, const QString& path) {
  Settle();
  const bool ok = widget->grab().save(path);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(AppIcon());
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(out);

  // A fixed place, so the pictures show the same paths every time.
  QDir home(QStringLiteral("/tmp/quorvane-demo"));
  home.removeRecursively();
  home.mkpath(QStringLiteral("."));
  qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
  qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());
  const QString album = home.filePath(QStringLiteral("Music/Night Drive"));
  QDir().mkpath(album);
  QDir().mkpath(home.filePath(QStringLiteral("Music/Field Recordings")));
  for (const char* name : {"01 - Overture.flac", "02 - Slow Lights.flac", "03 - Harbour.flac",
                           "04 - Tunnel.flac", "05 - Last Exit.flac", "cover.jpg", "notes.txt"}) {
    QFile f(album + QLatin1Char('/') + QLatin1String(name));
    f.open(QIODevice::WriteOnly);
    f.write("sample");
  }

  const TProfileFile ini(SettingsFileName());
  ini.WriteString("memory", "folder", NameBytes(album));
  ini.WriteInteger("window", "width", 600);
  ini.WriteInteger("window", "height", 560);
  ini.WriteInteger("private", "count", 2);
  ini.WriteString("private0", "name", "Home tracker");
  ini.WriteString("private0", "announce", "http://tracker.example.org:6969/announce");
  ini.WriteString("private0", "webpage", "http://tracker.example.org/");
  ini.WriteString("private1", "name", "Club tracker");
  ini.WriteString("private1", "announce", "https://club.example.net/announce");

  TQuietDialogs dialogs;
  TfrmQuorvane window(dialogs, {QStringLiteral("quorvane")});
  window.SetTrackerListUrls({});  // pictures never go to the network: the installed list serves
  window.show();
  Settle();
  window.FileListBox1->item(0)->setSelected(true);
  window.FileListBox1->item(1)->setSelected(true);
  window.FileListBox1->item(2)->setSelected(true);
  window.FileListBox1->setCurrentRow(2, QItemSelectionModel::NoUpdate);
  window.mmoComment->setPlainText(QStringLiteral("Night Drive, live at the harbour, 2026."));

  bool ok = true;
  window.PageControl1->setCurrentIndex(0);
  ok &= Save(&window, out + QStringLiteral("/create-simple.png"));
  window.pageMode->setCurrentIndex(1);
  window.txtClassicPath->setText(album);
  ok &= Save(&window, out + QStringLiteral("/create-classic.png"));
  window.pageMode->setCurrentIndex(0);
  window.PageControl1->setCurrentIndex(1);
  {
    // A small torrent of the album for the View/Edit page to show.
    TTorrentFile demo;
    demo.SetInfo("http://tracker.example.org:6969/announce", "Night Drive",
                 "Night Drive, live at the harbour, 2026.", "", 0, true);
    for (const char* name : {"01 - Overture.flac", "02 - Slow Lights.flac", "03 - Harbour.flac"})
      demo.AddFile(std::make_unique<TTorrentSubFile>(name, "", 6, 0));
    demo.SetPieceLength(262144);
    demo.SetBackupTrackers({"http://backup.example.org/announce"});
    TSHA1 sha;
    sha.TransformString("samplesamplesample");
    sha.Complete();
    TTorrentPieces pieces;
    pieces.push_back(sha.DigestBytes());
    demo.SetPieces(std::move(pieces));
    const std::string path = NameBytes(home.filePath(QStringLiteral("Music/Night Drive.torrent")));
    TSafeFileStream file(path);
    demo.SaveToStream(file, demo.Pieces);
    file.Commit();
    window.findChild<QLineEdit*>(QStringLiteral("txtTorrent"))->setText(ShowName(path));
  }
  ok &= Save(&window, out + QStringLiteral("/view-edit.png"));
  window.PageControl1->setCurrentIndex(2);
  ok &= Save(&window, out + QStringLiteral("/settings.png"));
  window.PageControl1->setCurrentIndex(3);
  ok &= Save(&window, out + QStringLiteral("/help-about.png"));

  TfrmProgress& progress = *window.frmProgress;
  progress.SetCaption("Progress: " + NameBytes(album) + ".torrent");
  progress.FileStarted(2, "03 - Harbour.flac");
  progress.SetOverallMax(40);
  progress.SetOverallPosition(23);
  progress.SetFileMax(9);
  progress.SetFilePosition(5);
  progress.Show();
  ok &= Save(&progress, out + QStringLiteral("/progress.png"));
  progress.hide();
  window.close();
  home.removeRecursively();
  return ok ? 0 : 1;
}
