// The main window, the progress window and the settings store, driven through
// their object names on Qt's offscreen platform. Dialogs are answered by script.

#include <fcntl.h>
#include <sys/stat.h>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "../support/PatternFile.h"
#include "../support/QtTestEnvironment.h"
#include "../support/ScriptedDialogs.h"
#include "../support/UrlCatcher.h"
#include "../trackers/ListServer.h"

#include "app/BackupForm.h"
#include "app/DirectoryListBox.h"
#include "app/FileListBox.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "app/QuorvaneApplication.h"
#include "app/ViewEditPage.h"
#include "base/ProfileFile.h"
#include "base/Stream.h"
#include "create/PieceLength.h"
#include "metainfo/TorrentFile.h"
#include "trackers/TrackerRefresh.h"

namespace fs = std::filesystem;

namespace {

// What the application object reports, for handlers that were not wrapped.
TScriptedDialogs applicationDialogs;

std::unique_ptr<TTorrentFile> LoadTorrent(const std::string& path) {
  auto torrent = std::make_unique<TTorrentFile>();
  TMemoryStream stream(ReadWholeFile(path));
  torrent->LoadFromStream(stream);
  return torrent;
}

// Opens fail for files named "locked", as for a file the user may not read.
bool IsLocked(const char* path) {
  const std::string_view name(path);
  return name == "locked" || name.ends_with("/locked");
}
int OpenUnlessLocked(const char* path, int flags, mode_t mode) {
  if (IsLocked(path)) {
    errno = EACCES;
    return -1;
  }
  return ::open(path, flags, mode);
}
int OpenatUnlessLocked(int folder, const char* name, int flags, mode_t mode) {
  if (IsLocked(name)) {
    errno = EACCES;
    return -1;
  }
  return ::openat(folder, name, flags, mode);
}

// What an editable combo box shows: its text, or its placeholder while empty.
QString ShownText(const QComboBox* box) {
  return box->currentText().isEmpty() ? box->lineEdit()->placeholderText() : box->currentText();
}

std::vector<std::string> SelectedNames(const TFileListBox* list) {
  std::vector<std::string> names;
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->isSelected()) names.push_back(list->FileName(row));
  return names;
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> work_;
  TScriptedDialogs dialogs_;
  std::unique_ptr<TListServer> listServer_;

  std::string Work(const std::string& relative = "") const {
    const std::string root = work_->path().toStdString();
    return relative.empty() ? root : root + "/" + relative;
  }
  std::string Ini() const { return SettingsFileName(); }
  std::unique_ptr<TfrmQuorvane> NewWindow(const QStringList& arguments = {QStringLiteral("quorvane")}) {
    auto window = std::make_unique<TfrmQuorvane>(dialogs_, arguments);
    // The refresh fires during longer tests: it loads an empty list from here.
    window->SetTrackerListUrls({listServer_->Url("/trackers.lst")});
    return window;
  }
  // A window on folder with its first file selected, a typed tracker, and
  // output as the answer of the save dialog.
  std::unique_ptr<TfrmQuorvane> WindowCreatingFirstFile(const std::string& folder,
                                                        const std::string& output) {
    auto window = NewWindow();
    window->DirectoryListBox1->SetDirectory(folder);
    window->FileListBox1->item(0)->setSelected(true);
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    dialogs_.SaveAnswers.push_back(output);
    return window;
  }
  // Runs the create command the way the user does.
  void Create(TfrmQuorvane& window) { QTest::mouseClick(window.btnCreateTorrent, Qt::LeftButton); }

 private slots:
  void initTestCase() {
    listServer_ = std::make_unique<TListServer>();
    listServer_->Route(
        "/trackers.lst",
        {.Status = 200, .Body = "208\r\nhttp://update.test/\r\n0\r\n", .Location = "", .Silent = false});
  }
  void cleanupTestCase() { listServer_.reset(); }

  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Work("config")));
    dialogs_ = TScriptedDialogs();
    dialogs_.Answer = TMsgResult::Yes;
  }
  void cleanup() { work_.reset(); }

  void startsInTheDesignState() {
    auto window = NewWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Quorvane v2.1"));
    QCOMPARE(window->minimumSize(), QSize(460, 483));
    QCOMPARE(window->PageControl1->count(), 4);
    const char* pages[] = {"Create Torrent", "View/Edit Torrent", "Settings", "Help/About"};
    for (int i = 0; i < 4; ++i) QCOMPARE(window->PageControl1->tabText(i), QLatin1String(pages[i]));
    QCOMPARE(window->PageControl1->currentIndex(), 0);
    QCOMPARE(window->pageMode->currentIndex(), 0);
    QCOMPARE(window->cmbPieceSize->currentText(), QStringLiteral("256kb"));
    QVERIFY(!window->cmbPieceSize->isEnabled());
    QVERIFY(window->radAuto->isChecked());
    QVERIFY(window->radFolder->isChecked());
    QCOMPARE(ShownText(window->cmbAnnounceURL),
             QStringLiteral("(enter a tracker URL, or select from list below)"));
    QCOMPARE(window->cmbAnnounceURL->count(), 1);
    QCOMPARE(window->cmbAnnounceURL->itemText(0), QStringLiteral("[please wait - refreshing list]"));
    QVERIFY(!window->btnBackup->isEnabled());
    QVERIFY(!window->btnPrivateDelete->isEnabled());
    // The "View/Edit Torrent" page starts with no torrent loaded.
    const auto* viewEdit = window->tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(viewEdit && !viewEdit->Torrent());
    // A first run: the defaults of the settings, and nothing written yet.
    QVERIFY(window->chkRememberFolder->isChecked() && window->chkRememberTracker->isChecked());
    QVERIFY(window->chkAutoSave->isChecked() && window->chkSkipThumbs->isChecked());
    QVERIFY(!window->chkNoUpdate->isChecked());
    QVERIFY(window->radSimple->isChecked());
    QVERIFY(!fs::exists(Ini()));
    // The refresh is armed once, for 500 ms.
    QVERIFY(window->updateTimer->isActive());
    QVERIFY(window->updateTimer->isSingleShot());
    QCOMPARE(window->updateTimer->interval(), 500);
    // The two other windows exist, hidden.
    QVERIFY(window->frmProgress && !window->frmProgress->isVisible());
    QCOMPARE(window->frmProgress->windowTitle(), QStringLiteral("Progress"));
    QCOMPARE(window->frmProgress->size(), QSize(447, 134));
    QVERIFY(window->frmProgress->btnAbort->isEnabled() && !window->frmProgress->btnFinished->isEnabled());
    QVERIFY(window->frmBackup && !window->frmBackup->isVisible());
    QVERIFY(dialogs_.Boxes.empty());
  }

  void autosizeOnlyAsTheFirstArgument_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("autosize");
    QTest::newRow("first") << QStringList{"quorvane", "-autosize"} << true;
    QTest::newRow("upper case") << QStringList{"quorvane", "-AUTOSIZE"} << false;
    QTest::newRow("second") << QStringList{"quorvane", "x", "-autosize"} << false;
    QTest::newRow("none") << QStringList{"quorvane"} << false;
  }
  void autosizeOnlyAsTheFirstArgument() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, autosize);
    auto window = NewWindow(arguments);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->AutoSize(), autosize);
    // Sized by its contents, the window cannot be resized by hand.
    QCOMPARE(window->minimumSize() == window->maximumSize(), autosize);
    if (autosize) QTRY_COMPARE(window->size(), window->sizeHint());
  }

  void settingsRoundTrip() {
    const std::string folder = Work("data/music");
    fs::create_directories(folder);
    // "Caf\xe9" is not UTF-8 and must survive being loaded and saved again.
    TProfileFile(Ini()).WriteInteger("private", "count", 1);
    TProfileFile(Ini()).WriteString("private0", "name", "Caf\xe9");
    TProfileFile(Ini()).WriteString("private0", "announce", "udp://cafe.test:80");
    {
      auto first = NewWindow();
      first->DirectoryListBox1->SetDirectory(folder);
      first->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
      QTest::mouseClick(first->radClassic, Qt::LeftButton);
      first->chkSkipThumbs->setChecked(false);
      first->chkNoUpdate->setChecked(true);
      first->txtPrivateName->setText(QStringLiteral("Home"));
      first->txtPrivateAnnounce->setText(QStringLiteral("http://home.test/announce"));
      first->txtPrivateWebsite->setText(QStringLiteral("http://home.test/"));
      QTest::mouseClick(first->btnPrivateAddModify, Qt::LeftButton);
      QVERIFY(first->close());
    }
    const std::string text = ReadWholeFile(Ini());
    for (const char* line : {"rememberfolder=1", "noupdate=1", "skipthumbs=0", "startup=1", "count=2",
                             "[private0]", "name=Caf\xe9", "announce=udp://cafe.test:80", "[private1]",
                             "name=Home", "announce=http://home.test/announce", "webpage=http://home.test/",
                             "tracker=http://tracker.test/announce"})
      QVERIFY2(text.find(line) != std::string::npos, line);
    QVERIFY(text.find("folder=" + folder) != std::string::npos);

    auto second = NewWindow();
    QVERIFY(second->radClassic->isChecked() && !second->radSimple->isChecked());
    QCOMPARE(second->pageMode->currentIndex(), 1);
    QVERIFY(!second->chkSkipThumbs->isChecked());
    QVERIFY(second->chkNoUpdate->isChecked());
    QCOMPARE(second->DirectoryListBox1->Directory(), folder);
    QCOMPARE(second->FileListBox1->Directory(), folder);
    QCOMPARE(second->lstPrivateTrackers->count(), 2);
    QCOMPARE(second->PrivateTrackers.size(), size_t(2));
    QCOMPARE(second->PrivateTrackers[1].Webpage, std::string("http://home.test/"));
    QCOMPARE(second->PrivateTrackers[0].Name, std::string("Caf\xe9"));
    QCOMPARE(second->FindPrivateTracker("Caf\xe9"), 0);

    // A deleted tracker is gone after "Save Now": the rest renumbered from 0.
    second->lstPrivateTrackers->setCurrentRow(0);
    QTest::mouseClick(second->btnPrivateDelete, Qt::LeftButton);
    QCOMPARE(second->PrivateTrackers.size(), size_t(1));
    second->updateTimer->stop();
    QTest::mouseClick(second->btnSaveSettings, Qt::LeftButton);
    QVERIFY(second->updateTimer->isActive());  // "Save Now" asks for a refresh
    const TProfileFile ini(Ini());
    QCOMPARE(ini.ReadInteger("private", "count", -1), 1);
    QCOMPARE(ini.ReadString("private0", "name", ""), std::string("Home"));
    QCOMPARE(ini.ReadString("private0", "webpage", "?"), std::string("http://home.test/"));
    auto third = NewWindow();
    QCOMPARE(third->PrivateTrackers.size(), size_t(1));  // the stale private1 section is ignored
    QCOMPARE(third->PrivateTrackers[0].Announce, std::string("http://home.test/announce"));
  }

  void unknownStartupAndForgottenFolder() {
    const std::string folder = Work("kept");
    fs::create_directories(folder);
    const TProfileFile ini(Ini());
    ini.WriteString("settings", "startup", "7");
    ini.WriteString("settings", "rememberfolder", "0");
    ini.WriteString("memory", "folder", folder);
    ini.WriteString("private", "count", "0x2");
    auto window = NewWindow();
    QVERIFY(!window->radSimple->isChecked() && !window->radClassic->isChecked());
    QCOMPARE(window->pageMode->currentIndex(), 0);
    QVERIFY(window->DirectoryListBox1->Directory() != folder);
    QCOMPARE(window->lstPrivateTrackers->count(), 2);  // hexadecimal count, empty records
    window->DirectoryListBox1->SetDirectory(Work());
    QVERIFY(window->close());
    QCOMPARE(ini.ReadString("settings", "startup", ""), std::string("7"));  // not written back
    QCOMPARE(ini.ReadString("memory", "folder", ""), folder);               // not remembered
  }

  void missingRememberedFolderIsReportedAndTheRestLoads() {
    const TProfileFile ini(Ini());
    const std::string gone = Work("gone");
    ini.WriteString("memory", "folder", gone);
    ini.WriteInteger("settings", "startup", 1);
    ini.WriteBool("settings", "skipthumbs", false);
    ini.WriteInteger("private", "count", 1);
    ini.WriteString("private0", "name", "Mine");
    auto window = NewWindow();
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));
    QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Quorvane v2.1"));
    QVERIFY(dialogs_.Boxes[0].Text.find(gone) != std::string::npos);
    // Nothing else is lost: a later save keeps the private tracker.
    QVERIFY(window->radClassic->isChecked());
    QVERIFY(!window->chkSkipThumbs->isChecked());
    QCOMPARE(window->lstPrivateTrackers->count(), 1);
    QVERIFY(window->updateTimer->isActive());
  }

  void geometrySavedOnResizeAndRestoredOnShow() {
    const TProfileFile ini(Ini());
    ini.WriteString("window", "width", "0x200");
    ini.WriteInteger("window", "height", 300);  // below the minimum height
    ini.WriteInteger("window", "left", 50);
    ini.WriteInteger("window", "top", 60);
    {
      auto window = NewWindow();
      window->show();
      QVERIFY(QTest::qWaitForWindowExposed(window.get()));
      QTRY_COMPARE(window->geometry(), QRect(50, 60, 512, 483));
      QTRY_COMPARE(ini.ReadInteger("window", "height", 0), 483);  // the restore's own resize is saved
      window->resize(600, 500);
      QTRY_COMPARE(ini.ReadInteger("window", "width", 0), 600);
      QCOMPARE(ini.ReadInteger("window", "height", 0), 500);
      window->move(10, 20);  // moved without a resize: nothing written
      QTRY_COMPARE(window->pos(), QPoint(10, 20));
      QCOMPARE(ini.ReadInteger("window", "left", 0), 50);
      QVERIFY(window->close());
    }
    auto again = NewWindow();
    again->show();
    QVERIFY(QTest::qWaitForWindowExposed(again.get()));
    QTRY_COMPARE(again->geometry(), QRect(50, 60, 600, 500));
  }

  void simpleModeWithTwoFiles() {
    const std::string folder = Work("Album");
    WriteFile(folder + "/a.bin", 100000);
    WriteFile(folder + "/B.bin", 5000);
    WriteFile(folder + "/c.bin", 300000);
    WriteFile(folder + "/.hidden", 10);
    fs::create_directories(Work("out"));
    const std::string output = Work("out/album.torrent");

    auto window = NewWindow();
    window->DirectoryListBox1->SetDirectory(folder);
    QCOMPARE(window->FileListBox1->count(), 3);
    QCOMPARE(window->FileListBox1->FileName(1), std::string("B.bin"));  // sorted without regard to case
    window->FileListBox1->item(0)->setSelected(true);
    window->FileListBox1->item(2)->setSelected(true);
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    window->mmoComment->setPlainText(QStringLiteral("first line\nsecond line"));
    dialogs_.SaveAnswers.push_back(output);
    Create(*window);

    QVERIFY(dialogs_.Boxes.empty());
    QCOMPARE(dialogs_.SaveRequests.size(), size_t(1));
    QCOMPARE(dialogs_.SaveRequests[0].Preset, folder + ".torrent");
    QCOMPARE(dialogs_.SaveRequests[0].DefaultExt, std::string("torrent"));
    auto torrent = LoadTorrent(output);
    QVERIFY(torrent->MultiFile);
    QCOMPARE(torrent->Name, std::string("Album"));
    QCOMPARE(torrent->Announce(), std::string("http://tracker.test/announce"));
    QCOMPARE(torrent->Comment, std::string("first line\r\nsecond line"));
    QCOMPARE(torrent->Files.size(), size_t(2));
    QCOMPARE(torrent->Files[0]->Name, std::string("a.bin"));
    QCOMPARE(torrent->Files[1]->Name, std::string("c.bin"));
    QCOMPARE(torrent->Files[1]->Length, int64_t(300000));
    QCOMPARE(torrent->PieceLength, 262144);
    QCOMPARE(torrent->Pieces.size(), size_t(2));
    // The progress window stays up, done, until "Finished".
    TfrmProgress& progress = *window->frmProgress;
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.windowTitle(), QString::fromStdString("Progress: " + output));
    QVERIFY(progress.btnFinished->isEnabled() && !progress.btnAbort->isEnabled());
    QTest::mouseClick(progress.btnFinished, Qt::LeftButton);
    QVERIFY(!progress.isVisible());
  }

  // The page says where a create put its torrent and what it holds, with
  // every info hash the torrent is known by, whole and selectable; a new
  // create starts with a clean status bar and no line of the last one.
  void createdTorrentIsNamedOnThePage() {
    const std::string folder = Work("Show");
    WriteFile(folder + "/ep1.mkv", 3 * 1048576 + 104858);  // 3.1 MiB
    WriteFile(folder + "/sub/ep2.mkv", 1048576);
    fs::create_directories(Work("each"));
    struct TCase {
      const char* Name;
      std::string Path;  // in txtClassicPath
      bool WholeFolder;
      std::string Output;  // the save dialog's or the folder picker's answer
      QString Expected;    // "<v1>" and "<v2>" stand for the info hashes
      int Format = 0;      // cmbFormat's index: v1, hybrid, v2
    } cases[] = {
        {"one file", folder + "/ep1.mkv", true, Work("one.torrent"),
         QString::fromStdString("Created " + Work("one.torrent") + " (1 file, 3.1 MiB, info hash <v1>)")},
        {"a folder", folder, true, Work("show.torrent"),
         QString::fromStdString("Created " + Work("show.torrent") + " (2 files, 4.1 MiB, info hash <v1>)")},
        {"one per entry", folder, false, Work("each"),
         QString::fromStdString("Created 2 torrents in " + Work("each"))},
        {"hybrid file", folder + "/ep1.mkv", true, Work("hybrid1.torrent"),
         QString::fromStdString("Created " + Work("hybrid1.torrent") +
                                " (1 file, 3.1 MiB, info hash <v1>, info hash v2 <v2>)"),
         1},
        {"hybrid folder", folder, true, Work("hybrid.torrent"),
         QString::fromStdString("Created " + Work("hybrid.torrent") +
                                " (2 files, 4.1 MiB, info hash <v1>, info hash v2 <v2>)"),
         1},
        {"v2 file", folder + "/ep1.mkv", true, Work("v2one.torrent"),
         QString::fromStdString("Created " + Work("v2one.torrent") + " (1 file, 3.1 MiB, info hash v2 <v2>)"),
         2},
        {"v2 folder", folder, true, Work("v2.torrent"),
         QString::fromStdString("Created " + Work("v2.torrent") + " (2 files, 4.1 MiB, info hash v2 <v2>)"),
         2},
    };
    const QLocale original;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    for (const TCase& c : cases) {
      auto window = NewWindow();
      window->pageMode->setCurrentIndex(1);
      window->txtClassicPath->setText(QString::fromStdString(c.Path));
      window->radFolder->setChecked(c.WholeFolder);
      window->radFile->setChecked(!c.WholeFolder);
      window->cmbFormat->setCurrentIndex(c.Format);
      window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
      (c.WholeFolder ? dialogs_.SaveAnswers : dialogs_.FolderAnswers).push_back(c.Output);
      window->SetStatusText(QStringLiteral("stale"));
      Create(*window);
      QString expected = c.Expected;
      if (c.WholeFolder) {
        const auto loaded = LoadTorrent(c.Output);
        QCOMPARE(loaded->InfoHashText.empty(), c.Format == 2);
        QCOMPARE(loaded->InfoHashV2Text.empty(), c.Format == 0);
        expected.replace(QStringLiteral("<v1>"), QString::fromStdString(loaded->InfoHashText))
            .replace(QStringLiteral("<v2>"), QString::fromStdString(loaded->InfoHashV2Text));
      }
      QVERIFY2(window->lblCreated->text() == expected, qPrintable(window->lblCreated->text()));
      QVERIFY(window->lblCreated->isVisibleTo(window.get()));
      QVERIFY(window->lblCreated->textInteractionFlags() & Qt::TextSelectableByMouse);
      QVERIFY2(window->StatusText().isEmpty(), qPrintable(window->StatusText()));
      // A create that ends at a question leaves no stale message behind.
      window->SetStatusText(QStringLiteral("stale"));
      window->txtClassicPath->clear();
      Create(*window);
      QVERIFY2(window->StatusText().isEmpty(), c.Name);
      QVERIFY2(window->lblCreated->text().isEmpty() && !window->lblCreated->isVisibleTo(window.get()),
               c.Name);
    }
    QLocale::setDefault(original);
  }

  // The file bar restarts with every file and moves with its pieces in every
  // format, also in a window that ran before; the overall bar keeps counting.
  void fileBarFollowsEachFileInEveryFormat() {
    const std::string folder = Work("two");
    WriteFile(folder + "/a.bin", 4 * 262144);
    WriteFile(folder + "/b.bin", 4 * 262144);
    const char* const formats[] = {"v1", "hybrid", "v2"};
    for (int format = 0; format < 3; ++format) {
      auto window = NewWindow();
      window->pageMode->setCurrentIndex(1);
      window->txtClassicPath->setText(QString::fromStdString(folder));
      window->cmbFormat->setCurrentIndex(format);
      window->radCustom->setChecked(true);
      window->cmbPieceSize->setCurrentIndex(PieceLengthIndex(262144));
      window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
      TfrmProgress& progress = *window->frmProgress;
      for (int run = 0; run < 2; ++run) {
        struct TSeen {
          int64_t Max, Position, Overall;
        };
        std::vector<TSeen> seen;
        QTimer pump;  // runs only while the hashing lets events through
        pump.setInterval(0);
        connect(&pump, &QTimer::timeout, this, [&] {
          seen.push_back({progress.FileMax(), progress.FilePosition(), progress.OverallPosition()});
        });
        pump.start();
        dialogs_.SaveAnswers.push_back(
            Work("two" + std::to_string(format) + std::to_string(run) + ".torrent"));
        Create(*window);
        pump.stop();
        QVERIFY2(seen.size() >= 4, formats[format]);
        // The first look is at the start of a file, never at a full bar left from before.
        QVERIFY2(seen.front().Position < seen.front().Max, formats[format]);
        // A file of four pieces: the bar's maximum is 5, as for any file.
        const bool moved = std::any_of(seen.begin(), seen.end(), [](const TSeen& s) {
          return s.Max == 5 && s.Position > 0 && s.Position < 5;
        });
        QVERIFY2(moved, formats[format]);
        // It restarts with the second file while the overall bar goes on.
        bool restarted = false;
        for (size_t i = 1; i < seen.size(); ++i)
          restarted = restarted || (seen[i].Position < seen[i - 1].Position && seen[i].Overall >= 4);
        QVERIFY2(restarted, formats[format]);
        QCOMPARE(progress.FilePosition(), progress.FileMax());
      }
    }
  }

  // The status bar speaks of the page in front: a path of "Simple" is not
  // left on "Classic", nor "Loading complete!" on "Settings".
  void statusBarBelongsToThePage() {
    const std::string folder = Work("files");
    WriteFile(folder + "/a.bin", 1);
    const std::string torrent = Work("one.torrent");
    std::ofstream(torrent, std::ios::binary)
        << "d8:announce17:http://t.test/ann4:infod6:lengthi5e4:name5:a.txt12:piece lengthi16384e"
           "6:pieces20:01234567890123456789ee";
    auto window = NewWindow();
    window->pageMode->setCurrentIndex(0);
    window->DirectoryListBox1->SetDirectory(folder);
    window->FileListBox1->setCurrentRow(0);
    const QString path = QString::fromStdString(folder + "/a.bin");
    QCOMPARE(window->StatusText(), path);
    window->pageMode->setCurrentIndex(1);
    QCOMPARE(window->StatusText(), QString());
    window->pageMode->setCurrentIndex(0);
    QCOMPARE(window->StatusText(), path);  // back on "Simple": its file again
    window->OpenTorrent(torrent);
    QCOMPARE(window->PageControl1->currentWidget(), window->tabViewTorrent);
    QCOMPARE(window->StatusText(), QStringLiteral("Loading complete!"));
    window->PageControl1->setCurrentWidget(window->tabSettings);
    QCOMPARE(window->StatusText(), QString());
    window->PageControl1->setCurrentWidget(window->tabAbout);
    QCOMPARE(window->StatusText(), QString());
  }

  // Bytes done, speed and time left beside the bars.
  void progressRateText() {
    constexpr int64_t MiB = 1048576;
    struct TCase {
      int64_t Done, Total, ElapsedMs;
      const char* Expected;
    } cases[] = {
        {0, 4 * MiB, 0, "0 bytes of 4.0 MiB"},
        {MiB / 2, MiB, 999, "512.0 KiB of 1.0 MiB"},  // too early for a speed
        {2 * MiB, 4 * MiB, 1000, "2.0 MiB of 4.0 MiB, 2.0 MiB/s, 0:01 left"},
        {3 * MiB, 4 * MiB, 1500, "3.0 MiB of 4.0 MiB, 2.0 MiB/s, 0:01 left"},  // half a second, rounded
        {MiB, 10240 * MiB, 1000, "1.0 MiB of 10.0 GiB, 1.0 MiB/s, 2:50:39 left"},
        {MiB, 200 * MiB, 1000, "1.0 MiB of 200.0 MiB, 1.0 MiB/s, 3:19 left"},
        {4 * MiB, 4 * MiB, 2000, "4.0 MiB of 4.0 MiB, 2.0 MiB/s"},  // done: no time left
    };
    const QLocale original;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    for (const TCase& c : cases)
      QCOMPARE(TfrmProgress::RateText(c.Done, c.Total, c.ElapsedMs), QString::fromLatin1(c.Expected));
    // A run shows the bytes it has done.
    const std::string folder = Work("rate");
    WriteFile(folder + "/a.bin", 3 * MiB);
    auto window = WindowCreatingFirstFile(folder, Work("rate.torrent"));
    Create(*window);
    QVERIFY2(window->frmProgress->lblRate->text().startsWith(QStringLiteral("3.0 MiB of 3.0 MiB")),
             qPrintable(window->frmProgress->lblRate->text()));
    QLocale::setDefault(original);
  }

  // "Simple" leaves out what lies in subfolders, and the page says how much,
  // whole, in a line of its own that nothing else replaces.
  void subfolderFilesLeftOutAreCounted() {
    struct TCase {
      const char* Name;
      std::vector<std::string> Files;  // below the folder
      const char* Status;
    } cases[] = {
        {"flat", {"a.flac"}, ""},
        {"empty subfolders", {"a.flac", "CD1/", "CD2/x/"}, ""},
        {"one below",
         {"a.flac", "CD1/1.flac"},
         "1 file in a subfolder is not included: the Classic mode takes the whole folder"},
        {"deep",
         {"a.flac", "CD1/1.flac", "CD1/2.flac", "CD2/art/cover.jpg"},
         "3 files in subfolders are not included: the Classic mode takes the whole folder"},
    };
    auto window = NewWindow();
    int n = 0;
    for (const TCase& c : cases) {
      const std::string folder = Work("album" + std::to_string(n++));
      fs::create_directories(folder);
      for (const std::string& file : c.Files) {
        if (file.back() == '/')
          fs::create_directories(folder + "/" + file);
        else
          WriteFile(folder + "/" + file, 1);
      }
      window->DirectoryListBox1->SetDirectory(folder);
      QVERIFY2(window->lblSubfolderNote->text() == QLatin1String(c.Status),
               qPrintable(window->lblSubfolderNote->text()));
      QCOMPARE(window->lblSubfolderNote->isVisibleTo(window.get()), *c.Status != '\0');
      window->SetStatusText(QStringLiteral("Tracker list loaded!"));
      QVERIFY(window->lblSubfolderNote->text() == QLatin1String(c.Status));
      QCOMPARE(window->FileListBox1->count(), 1);  // the mode is as it was
    }
    // A folder high up is not walked to its end.
    const std::string big = Work("big");
    for (int i = 0; i < 10001; ++i) WriteFile(big + "/sub/" + std::to_string(i), 0);
    window->DirectoryListBox1->SetDirectory(big);
    QCOMPARE(window->lblSubfolderNote->text(),
             QStringLiteral("More than 10000 files in subfolders are not included: the "
                            "Classic mode takes the whole folder"));
  }

  // A file that cannot be read ends the create with one report, the general
  // one, whichever mode found it; the label names that file.
  void unreadableFileIsReportedOnce_data() {
    QTest::addColumn<QString>("path");  // in txtClassicPath, below the work folder
    QTest::addColumn<bool>("wholeFolder");
    QTest::addColumn<bool>("hashing");  // the hashing finds it; else the reading of its size
    QTest::newRow("whole folder") << QStringLiteral("data") << true << true;
    QTest::newRow("one per entry") << QStringLiteral("data") << false << false;
    QTest::newRow("the file itself") << QStringLiteral("data/locked") << true << false;
  }
  void unreadableFileIsReportedOnce() {
    QFETCH(QString, path);
    QFETCH(bool, wholeFolder);
    QFETCH(bool, hashing);
    WriteFile(Work("data/a.bin"), 100);
    WriteFile(Work("data/locked"), 100);
    WriteFile(Work("data/z.bin"), 100);
    fs::create_directories(Work("out"));
    auto window = NewWindow();
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(Work(path.toStdString())));
    window->radFolder->setChecked(wholeFolder);
    window->radFile->setChecked(!wholeFolder);
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    dialogs_.SaveAnswers.push_back(Work("out/data.torrent"));
    dialogs_.FolderAnswers.push_back(Work("out"));
    TFileSysCalls calls = FileSysCalls();
    calls.Open = OpenUnlessLocked;
    calls.Openat = OpenatUnlessLocked;
    const TFileSysCalls old = SetFileSysCalls(calls);
    Create(*window);
    SetFileSysCalls(old);
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));
    QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Quorvane v2.1"));
    QCOMPARE(dialogs_.Boxes[0].Text, "Cannot open file \"" + Work("data/locked") + "\": Permission denied");
    QVERIFY(!fs::exists(Work("out/data.torrent")) && !fs::exists(Work("out/locked.torrent")));
    // The label names the file that failed, not the one after it, nor (one
    // per entry) the entry before it, whose run the window still shows.
    if (hashing || !wholeFolder)
      QCOMPARE(window->frmProgress->lblHashing->text(), QStringLiteral("Hashing: locked"));
    if (!wholeFolder)
      QCOMPARE(window->frmProgress->windowTitle(),
               QString::fromStdString("Progress: " + Work("out/locked.torrent")));
  }

  // A folder of only empty files gets one refusal in every format, and no
  // progress window.
  void noDataIsRefusedOnce() {
    WriteFile(Work("zeros/a"), 0);
    WriteFile(Work("zeros/b/c"), 0);
    for (int format = 0; format < 3; ++format) {
      auto window = NewWindow();
      window->pageMode->setCurrentIndex(1);
      window->txtClassicPath->setText(QString::fromStdString(Work("zeros")));
      window->cmbFormat->setCurrentIndex(format);
      window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
      dialogs_.Boxes.clear();
      dialogs_.SaveAnswers.push_back(Work("zeros.torrent"));
      Create(*window);
      QCOMPARE(dialogs_.Boxes.size(), size_t(1));
      QCOMPARE(dialogs_.Boxes[0].Text,
               std::string("\"zeros\" holds no data (no files, or only empty ones); a "
                           "torrent needs at least one byte."));
      QVERIFY(!window->frmProgress->isVisible());
      QVERIFY(!fs::exists(Work("zeros.torrent")));
      QVERIFY(window->StatusText().isEmpty());
    }
  }

  void classicModeFromAFolder() {
    const std::string folder = Work("Show");
    WriteFile(folder + "/ep1.mkv", 1000);
    WriteFile(folder + "/sub/ep2.mkv", 2000);
    WriteFile(folder + "/Thumbs.db", 10);
    const std::string output = Work("show.torrent");

    auto window = NewWindow();
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(folder + "/"));
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    dialogs_.SaveAnswers.push_back(output);
    Create(*window);

    QVERIFY(dialogs_.Boxes.empty());
    QCOMPARE(window->txtClassicPath->text(), QString::fromStdString(folder));  // the trailing "/" removed
    QCOMPARE(dialogs_.SaveRequests.at(0).Preset, folder + ".torrent");
    auto torrent = LoadTorrent(output);
    QCOMPARE(torrent->Name, std::string("Show"));
    QCOMPARE(torrent->Files.size(), size_t(2));  // thumbs.db skipped by default
    QCOMPARE(torrent->Files[0]->Name, std::string("ep1.mkv"));
    QCOMPARE(torrent->Files[1]->Name, std::string("ep2.mkv"));
  }

  // "Private torrent" and "Source:" go into the info dictionary, so each
  // choice gives a torrent of its own info hash.
  void privateAndSourceReachTheTorrent() {
    const std::string folder = Work("priv");
    WriteFile(folder + "/a.bin", 70000);
    struct TCase {
      const char* Label;
      bool Private;
      QString Source;
      std::string SourceBytes;
    };
    const TCase cases[] = {
        {"neither", false, QString(), ""},
        {"private", true, QString(), ""},
        {"source", false, QStringLiteral("TRK"), "TRK"},
        {"both", true, QStringLiteral("caf\u00e9"), "caf\xc3\xa9"},
    };
    std::vector<std::string> hashes;
    for (const auto& c : cases) {
      const std::string output = Work(std::string(c.Label) + ".torrent");
      auto window = WindowCreatingFirstFile(folder, output);
      window->chkPrivate->setChecked(c.Private);
      window->txtSource->setText(c.Source);
      Create(*window);
      QVERIFY2(dialogs_.Boxes.empty(), c.Label);
      const auto torrent = LoadTorrent(output);
      QVERIFY2(torrent->Errors.empty(), c.Label);
      QVERIFY2(torrent->Private == c.Private, c.Label);
      QVERIFY2(torrent->Source == c.SourceBytes, c.Label);
      const std::string bytes = ReadWholeFile(output);
      QVERIFY2((bytes.find("7:privatei1e") != std::string::npos) == c.Private, c.Label);
      QVERIFY2((bytes.find("6:source") != std::string::npos) == !c.SourceBytes.empty(), c.Label);
      hashes.push_back(torrent->InfoHashText);
      window->frmProgress->hide();
    }
    std::sort(hashes.begin(), hashes.end());
    QVERIFY(std::adjacent_find(hashes.begin(), hashes.end()) == hashes.end());
  }

  void privateAndSourceAreRemembered() {
    {
      auto first = NewWindow();
      QVERIFY(!first->chkPrivate->isChecked());
      QVERIFY(first->txtSource->text().isEmpty());
      first->chkPrivate->setChecked(true);
      first->txtSource->setText(QStringLiteral("My Tracker"));
      first->chkAutoSave->setChecked(false);  // remembered on close like the folder, not a setting
      QVERIFY(first->close());
    }
    const TProfileFile ini(Ini());
    QCOMPARE(ini.ReadString("memory", "private", ""), std::string("1"));
    QCOMPARE(ini.ReadString("memory", "source", ""), std::string("My Tracker"));
    {
      auto second = NewWindow();
      QVERIFY(second->chkPrivate->isChecked());
      QCOMPARE(second->txtSource->text(), QStringLiteral("My Tracker"));
      second->chkPrivate->setChecked(false);
      second->txtSource->clear();
      QVERIFY(second->close());
    }
    QCOMPARE(ini.ReadString("memory", "private", ""), std::string("0"));
    QCOMPARE(ini.ReadString("memory", "source", "?"), std::string());

    // A source that is not UTF-8 keeps its bytes through the window, into
    // the torrent and back into the file.
    ini.WriteString("memory", "source", "Caf\xe9");
    const std::string folder = Work("bytes");
    WriteFile(folder + "/a.bin", 1000);
    const std::string output = Work("bytes.torrent");
    {
      auto window = WindowCreatingFirstFile(folder, output);
      Create(*window);
      QCOMPARE(LoadTorrent(output)->Source, std::string("Caf\xe9"));
      QVERIFY(window->close());
    }
    QCOMPARE(ini.ReadString("memory", "source", ""), std::string("Caf\xe9"));
  }

  // The format chosen reaches the torrent, and the next window starts on it.
  void formatIsRememberedAndReachesTheTorrent() {
    const std::string folder = Work("format");
    WriteFile(folder + "/a.bin", 40000);
    struct TCase {
      int Index;
      const char* Key;
      bool V1;  // "pieces" in the info
      bool V2;  // "file tree" in the info
    };
    const TCase cases[] = {{1, "hybrid", true, true}, {2, "v2", false, true}, {0, "v1", true, false}};
    for (const TCase& c : cases) {
      const std::string output = Work(std::string("format-") + c.Key + ".torrent");
      {
        auto window = WindowCreatingFirstFile(folder, output);
        window->cmbFormat->setCurrentIndex(c.Index);
        window->chkAutoSave->setChecked(false);
        Create(*window);
        QVERIFY(window->close());
      }
      std::ifstream in(output, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      QCOMPARE(bytes.find("6:pieces") != std::string::npos, c.V1);
      QCOMPARE(bytes.find("9:file tree") != std::string::npos, c.V2);
      QCOMPARE(TProfileFile(Ini()).ReadString("memory", "format", ""), std::string(c.Key));
      auto next = NewWindow();
      QCOMPARE(next->cmbFormat->currentIndex(), c.Index);
      QVERIFY(next->close());
    }
  }

  void placeholderTrackerIsRefused() {
    auto window = NewWindow();
    Create(*window);
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));
    QCOMPARE(dialogs_.Boxes[0].Text, std::string("You must select a tracker to use with this torrent!"));
    QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Error"));
    QVERIFY(!window->frmProgress->isVisible());
  }

  // The prompt is the empty box's placeholder, not a text to delete first; it
  // stands for "no tracker chosen" whenever it shows, also after the user
  // typed and cleared a URL. Only a remembered empty box makes a torrent
  // without a tracker, and the page says so.
  void trackerPromptIsAPlaceholder_data() {
    QTest::addColumn<QString>("typed");       // typed into the box, then cleared; "" for nothing
    QTest::addColumn<bool>("rememberEmpty");  // the settings remember an empty box
    QTest::addColumn<bool>("refused");
    QTest::newRow("untouched") << QString() << false << true;
    QTest::newRow("typed, then cleared") << QStringLiteral("http://t.test/a") << false << true;
    QTest::newRow("remembered empty") << QString() << true << false;
  }
  void trackerPromptIsAPlaceholder() {
    QFETCH(QString, typed);
    QFETCH(bool, rememberEmpty);
    QFETCH(bool, refused);
    const std::string folder = Work("one");
    WriteFile(folder + "/a.bin", 10);
    if (rememberEmpty) TProfileFile(Ini()).WriteString("memory", "tracker", "");
    auto window = NewWindow();
    window->updateTimerTimer();  // the refresh puts the remembered tracker back
    QTRY_VERIFY_WITH_TIMEOUT(window->Refresh() && !window->Refresh()->Busy(), 60000);
    QLineEdit* edit = window->cmbAnnounceURL->lineEdit();
    QVERIFY(edit->text().isEmpty());
    QCOMPARE(edit->placeholderText(), QStringLiteral("(enter a tracker URL, or select from list below)"));
    if (!typed.isEmpty()) {
      QTest::keyClicks(edit, typed);
      edit->clear();
    }
    window->DirectoryListBox1->SetDirectory(folder);
    window->FileListBox1->item(0)->setSelected(true);
    window->chkPrivate->setChecked(true);  // a private torrent without a tracker is of no use
    dialogs_.SaveAnswers.push_back(Work("out.torrent"));
    Create(*window);
    QCOMPARE(dialogs_.SaveRequests.size(), size_t(refused ? 0 : 1));
    QCOMPARE(dialogs_.Boxes.size(), size_t(refused ? 1 : 0));
    if (refused)
      QCOMPARE(dialogs_.Boxes[0].Text, std::string("You must select a tracker to use with this torrent!"));
    QCOMPARE(fs::exists(Work("out.torrent")), !refused);
    if (!refused) {
      QVERIFY(LoadTorrent(Work("out.torrent"))->Announce().empty());
      QVERIFY2(window->lblCreated->text().endsWith(
                   QStringLiteral("; no tracker (DHT, peer exchange or web seeds)")),
               qPrintable(window->lblCreated->text()));
    }
    QCOMPARE(window->lblURL->text(), QStringLiteral("URL: "));
    // The settings keep the prompt for a box that shows it unchosen, as they always did.
    QVERIFY(window->close());
    QCOMPARE(TProfileFile(Ini()).ReadString("memory", "tracker", "?"),
             refused ? std::string("(enter a tracker URL, or select from list below)") : std::string());
  }

  void abortDuringHashing() {
    const std::string folder = Work("big");
    WriteFile(folder + "/big.bin", 16 * 262144);  // 16 pieces: 16 pumps
    const std::string output = Work("big.torrent");
    auto window = WindowCreatingFirstFile(folder, output);

    TfrmProgress& progress = *window->frmProgress;
    int ticks = 0;
    int overallAtAbort = -1;
    QTimer pump;  // runs only while the hashing lets events through
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      if (++ticks == 2) Create(*window);  // a second press while hashing is ignored
      if (ticks == 3) {
        overallAtAbort = progress.ProgressBar2->value();
        QTest::mouseClick(progress.btnAbort, Qt::LeftButton);
      }
    });
    pump.start();
    Create(*window);
    pump.stop();

    QVERIFY2(ticks >= 3, "the run never let events through");
    QCOMPARE(dialogs_.SaveRequests.size(), size_t(1));
    QVERIFY(overallAtAbort >= 0 && overallAtAbort < 16);
    QVERIFY(window->AbortRequested);
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));
    QCOMPARE(dialogs_.Boxes[0].Text, std::string("Operation Aborted!"));
    QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Abort"));
    QVERIFY(!fs::exists(output));
    for (const auto& entry : fs::directory_iterator(Work()))
      QVERIFY2(entry.path().extension() != ".torrent" &&
                   entry.path().filename().string().find("big.torrent") == std::string::npos,
               entry.path().c_str());
    // Done after the abort: bars full, "Finished" ready.
    QCOMPARE(progress.ProgressBar2->value(), progress.ProgressBar2->maximum());
    QVERIFY(progress.btnFinished->isEnabled() && !progress.btnAbort->isEnabled());

    // The next command starts with the flag cleared.
    dialogs_.SaveAnswers.push_back(output);
    Create(*window);
    QVERIFY(!window->AbortRequested);
    QVERIFY(fs::exists(output));
  }

  void closingDuringARunStopsIt() {
    const std::string folder = Work("closing");
    WriteFile(folder + "/big.bin", 16 * 262144);
    const std::string output = Work("closing.torrent");
    auto window = WindowCreatingFirstFile(folder, output);
    QSignalSpy closed(window.get(), &TfrmQuorvane::Closed);
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    Create(*window);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!fs::exists(output));
    QCOMPARE(dialogs_.Boxes.at(0).Text, std::string("Operation Aborted!"));
    // The close still saved the settings.
    QCOMPARE(TProfileFile(Ini()).ReadString("memory", "folder", ""), folder);
  }

  void progressBarsForOneMillionBytes() {
    const std::string folder = Work("one");
    WriteFile(folder + "/million.bin", 1000000);
    auto window = WindowCreatingFirstFile(folder, Work("million.torrent"));

    TfrmProgress& progress = *window->frmProgress;
    std::vector<int> seen;  // overall bar values while hashing
    QTimer pump;
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      QCOMPARE(progress.ProgressBar1->maximum(), 4);
      QCOMPARE(progress.ProgressBar2->maximum(), 4);
      QCOMPARE(progress.lblHashing->text(), QStringLiteral("Hashing: million.bin"));
      seen.push_back(progress.ProgressBar2->value());
    });
    pump.start();
    Create(*window);
    pump.stop();

    QVERIFY(!seen.empty());
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QVERIFY(seen.back() < 4);
    QCOMPARE(progress.ProgressBar1->maximum(), 4);
    QCOMPARE(progress.ProgressBar1->value(), 4);
    QCOMPARE(progress.ProgressBar2->maximum(), 4);
    QCOMPARE(progress.ProgressBar2->value(), 4);
    QCOMPARE(progress.FilePosition(), int64_t(4));
    QCOMPARE(progress.OverallPosition(), int64_t(4));
    QCOMPARE(progress.focusWidget(), static_cast<QWidget*>(progress.btnFinished));
  }

  // The window follows a run of many small files at most once a frame; the
  // end of the run still shows its last file and full bars.
  void progressOfManySmallFiles() {
    const std::string folder = Work("many");
    std::vector<QString> names;
    for (int i = 0; i < 300; ++i) {
      const std::string name = "f" + std::to_string(1000 + i);
      WriteFile(folder + "/" + name, 1000);
      names.push_back(QStringLiteral("Hashing: ") + QString::fromStdString(name));
    }
    auto window = NewWindow();
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(folder));
    window->radFolder->click();
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    dialogs_.SaveAnswers.push_back(Work("many.torrent"));

    TfrmProgress& progress = *window->frmProgress;
    std::vector<QString> labels;
    QTimer pump;
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] { labels.push_back(progress.lblHashing->text()); });
    pump.start();
    Create(*window);
    pump.stop();

    QVERIFY(dialogs_.Boxes.empty());
    QVERIFY(!labels.empty());
    for (const QString& label : labels)
      QVERIFY2(std::find(names.begin(), names.end(), label) != names.end(), qPrintable(label));
    QCOMPARE(progress.lblHashing->text(), names.back());
    QCOMPARE(progress.ProgressBar1->value(), progress.ProgressBar1->maximum());
    const auto torrent = LoadTorrent(Work("many.torrent"));
    const int bars = static_cast<int>(300000 / torrent->PieceLength + 1);
    QCOMPARE(progress.ProgressBar2->maximum(), bars);
    QCOMPARE(progress.ProgressBar2->value(), bars);
  }

  void selectionButtonsStatusBarAndPieceSize() {
    const std::string folder = Work("sel");
    for (const char* name : {"x1", "x2", "x3"}) WriteFile(folder + "/" + name, 1);
    fs::create_directories(Work("empty"));
    auto window = NewWindow();
    TFileListBox* list = window->FileListBox1;
    window->DirectoryListBox1->SetDirectory(Work("empty"));
    for (QPushButton* b : {window->btnAll, window->btnNone, window->btnInverse})
      QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(list->count(), 0);

    window->DirectoryListBox1->SetDirectory(folder);
    QTest::mouseClick(window->btnAll, Qt::LeftButton);
    QCOMPARE(SelectedNames(list).size(), size_t(3));
    QTest::mouseClick(window->btnNone, Qt::LeftButton);
    QVERIFY(SelectedNames(list).empty());
    list->item(1)->setSelected(true);
    QTest::mouseClick(window->btnInverse, Qt::LeftButton);
    QCOMPARE(SelectedNames(list), (std::vector<std::string>{"x1", "x3"}));
    QTest::mouseClick(window->btnInverse, Qt::LeftButton);
    QCOMPARE(SelectedNames(list), (std::vector<std::string>{"x2"}));

    // Activating a folder (Enter, or a double-click) enters it, and the file list follows.
    fs::create_directories(folder + "/inner");
    WriteFile(folder + "/inner/deep.txt", 1);
    window->DirectoryListBox1->SetDirectory(folder);
    const auto found = window->DirectoryListBox1->findItems(QStringLiteral("inner"), Qt::MatchEndsWith);
    QCOMPARE(found.size(), 1);
    window->DirectoryListBox1->setCurrentItem(found[0]);
    QTest::keyClick(window->DirectoryListBox1, Qt::Key_Return);
    QTRY_COMPARE(window->DirectoryListBox1->Directory(), folder + "/inner");
    QCOMPARE(list->FileName(0), std::string("deep.txt"));
    window->DirectoryListBox1->SetDirectory(folder);

    list->setCurrentRow(2);
    QCOMPARE(window->StatusText(), QString::fromStdString(folder + "/x3"));
    window->DirectoryListBox1->SetDirectory("/");
    QCOMPARE(window->DirectoryListBox1->Directory(), std::string("/"));

    QTest::mouseClick(window->radCustom, Qt::LeftButton);
    QVERIFY(window->cmbPieceSize->isEnabled());
    QCOMPARE(window->cmbPieceSize->currentText(), QStringLiteral("256kb"));
    window->cmbPieceSize->setCurrentIndex(7);
    QTest::mouseClick(window->radAuto, Qt::LeftButton);
    QVERIFY(!window->cmbPieceSize->isEnabled());
    QCOMPARE(window->cmbPieceSize->currentText(), QStringLiteral("16384kb"));
  }

  void classicChoosers() {
    auto window = NewWindow();
    window->txtClassicPath->setText(QStringLiteral("unchanged"));
    QTest::mouseClick(window->btnClassicFile, Qt::LeftButton);  // cancelled
    QTest::mouseClick(window->btnClassicDir, Qt::LeftButton);   // cancelled
    QCOMPARE(window->txtClassicPath->text(), QStringLiteral("unchanged"));
    QCOMPARE(dialogs_.OpenFilters.at(0), std::string("All Files (*.*)|*.*"));
    QCOMPARE(dialogs_.FolderTitles.at(0), std::string("Select a directory to hash"));
    dialogs_.OpenAnswers.push_back(std::string("/data/one file.iso"));
    QTest::mouseClick(window->btnClassicFile, Qt::LeftButton);
    QCOMPARE(window->txtClassicPath->text(), QStringLiteral("/data/one file.iso"));
    dialogs_.FolderAnswers.push_back(std::string("/data/folder"));
    QTest::mouseClick(window->btnClassicDir, Qt::LeftButton);
    QCOMPARE(window->txtClassicPath->text(), QStringLiteral("/data/folder"));
  }

  void dropOnTheCreatePage() {
    const std::string folder = Work("drop");
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) WriteFile(folder + "/" + name, 1);
    auto window = NewWindow();
    auto drop = [&](const std::vector<std::string>& paths) {
      QMimeData mime;
      QList<QUrl> urls;
      for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
      mime.setUrls(urls);
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window->tabCreate, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window->tabCreate, &event);
    };
    drop({folder + "/two.txt", folder + "/three.txt"});
    QCOMPARE(window->DirectoryListBox1->Directory(), folder);
    QCOMPARE(SelectedNames(window->FileListBox1), (std::vector<std::string>{"three.txt", "two.txt"}));

    window->pageMode->setCurrentIndex(1);
    drop({folder});
    QCOMPARE(window->txtClassicPath->text(), QString::fromStdString(folder));
  }

  void errorEscapingAHandlerIsReported() {
    // The settings folder cannot be created: a file stands in its way.
    WriteFile(Work("blocker"), 1);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Work("blocker")));
    auto window = NewWindow();
    QVERIFY(dialogs_.Boxes.empty());  // reading a missing file is no error
    QTest::mouseClick(window->btnSaveSettings, Qt::LeftButton);
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));
    QCOMPARE(dialogs_.Boxes[0].Text, "Unable to write to " + Work("blocker") + "/quorvane/quorvane.ini");
    QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Quorvane v2.1"));
    // The program goes on, and closing is still allowed.
    QTest::mouseClick(window->radCustom, Qt::LeftButton);
    QVERIFY(window->cmbPieceSize->isEnabled());
    QVERIFY(window->close());
  }

  void exceptionFromAnUnwrappedHandlerIsReported() {
    applicationDialogs = TScriptedDialogs();
    applicationDialogs.Answer = TMsgResult::Yes;
    bool after = false;
    QTimer::singleShot(0, this, [] { throw std::runtime_error("Something broke"); });
    QTimer::singleShot(0, this, [&] { after = true; });
    QTRY_VERIFY(after);  // the program went on with the next event
    QCOMPARE(applicationDialogs.Boxes.size(), size_t(1));
    QCOMPARE(applicationDialogs.Boxes[0].Text, std::string("Something broke"));
    QCOMPARE(applicationDialogs.Boxes[0].Caption, std::string("Quorvane v2.1"));
  }

  void homepageOpensTheConfiguredAddress() {
    TUrlCatcher catcher;
    auto window = NewWindow();
    QTest::mouseClick(window->btnHomepage, Qt::LeftButton);
    QCOMPARE(catcher.Opened.size(), 1);
    QCOMPARE(catcher.Opened[0], QUrl(QStringLiteral(QUORVANE_HOMEPAGE)));
    QVERIFY(window->mmoAbout->isReadOnly());
    QVERIFY(window->mmoAbout->toPlainText().startsWith(QStringLiteral("Quorvane 2.1")));
  }
};

int main(int argc, char** argv) {
  TQtTestEnvironment environment;
  TQuorvaneApplication app(argc, argv, applicationDialogs);
  MainFormTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "MainFormTest.moc"
