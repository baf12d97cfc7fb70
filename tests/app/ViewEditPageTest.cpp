// The "View/Edit Torrent" page driven through its controls, with scripted
// dialogs and a stand-in for the back-up tracker window.

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QClipboard>
#include <QComboBox>
#include <QProgressBar>
#include <QTimer>
#include "app/TorrentFileList.h"
#include "app/ViewEditPage.h"

#include "app/BackupForm.h"
#include "app/CreationDriver.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "base/Stream.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/TorrentFile.h"

#include "../support/ScriptedDialogs.h"

namespace fs = std::filesystem;

namespace {

std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }
std::string Int(long long v) { return "i" + std::to_string(v) + "e"; }
const std::string Pieces20 = std::string(20, '\x22');

// Top-level keys before "info", the info dictionary's own keys, and a key
// after it that the page does not know.
std::string Torrent(const std::string& head, const std::string& info, const std::string& tail = "") {
  return "d" + head + Str("info") + "d" + info + "e" + tail + "e";
}

std::string SingleFile(const std::string& name = "movie.bin", long long length = 12345) {
  return Str("length") + Int(length) + Str("name") + Str(name) + Str("piece length") + Int(16384) +
         Str("pieces") + Str(Pieces20);
}

std::string MultiFile() {
  return Str("files") + "l" + "d" + Str("length") + Int(10) + Str("path") + "l" + Str("a") + Str("b") +
         Str("c.txt") + "e" + "e" + "d" + Str("length") + Int(5) + Str("path") + "l" + Str("d.txt") + "e" +
         "e" + "e" + Str("name") + Str("top") + Str("piece length") + Int(16384) + Str("pieces") +
         Str(Pieces20);
}

// A hybrid's info keys: a/b/c.txt fills the first piece, so no pad is needed; the roots are
// made up, as nothing here reads the data.
std::string HybridMultiFile() {
  const auto entry = [](long long length, char root) {
    return "d" + Str("") + "d" + Str("length") + Int(length) + Str("pieces root") +
           Str(std::string(32, root)) + "ee";
  };
  const std::string tree = "d" + Str("a") + "d" + Str("b") + "d" + Str("c.txt") + entry(16384, '\x05') +
                           "ee" + Str("d.txt") + entry(5, '\x06') + "e";
  return Str("file tree") + tree + Str("files") + "l" + "d" + Str("length") + Int(16384) + Str("path") + "l" +
         Str("a") + Str("b") + Str("c.txt") + "e" + "e" + "d" + Str("length") + Int(5) + Str("path") + "l" +
         Str("d.txt") + "e" + "e" + "e" + Str("meta version") + Int(2) + Str("name") + Str("top") +
         Str("piece length") + Int(16384) + Str("pieces") + Str(Pieces20 + Pieces20);
}

// The same files as a v2-only torrent.
std::string V2OnlySingleFile() {
  return Str("file tree") + "d" + Str("movie") + "d" + Str("") + "d" + Str("length") + Int(5) +
         Str("pieces root") + Str(std::string(32, '\x07')) + "eee" + Str("meta version") + Int(2) +
         Str("name") + Str("movie") + Str("piece length") + Int(16384);
}

std::string Announce(const std::string& url = "http://main/announce") { return Str("announce") + Str(url); }

std::unique_ptr<TTorrentFile> LoadFile(const std::string& path) {
  auto torrent = std::make_unique<TTorrentFile>();
  TFileStream in(path, TFileMode::OpenRead);
  torrent->LoadFromStream(in);
  return torrent;
}

class TFakeBackupList {
 public:
  TBackupListAccess Access() {
    return {[this] { return Lines; },
            [this](const std::vector<std::string>& lines) {
              Lines = lines;
              ++Shown;
            },
            [this](const std::string& name) {
              std::string url;
              for (const auto& [trackerName, announce] : Trackers)
                if (trackerName == name) url = announce;  // the last match wins
              return url;
            }};
  }

  std::vector<std::string> Lines;
  std::vector<std::pair<std::string, std::string>> Trackers;
  int Shown = 0;
};

// A write that fails as on a full disk.
ssize_t FailingWrite(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

}  // namespace

class TViewEditPageTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TScriptedDialogs> dialogs_;
  std::unique_ptr<TFakeBackupList> backup_;
  std::unique_ptr<TViewEditPage> page_;
  QStringList status_;

  template <class T>
  T* Find(const char* name) {
    auto* widget = page_->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  QLabel* Label(const char* name) { return Find<QLabel>(name); }
  TTorrentFileList* Files() { return Find<TTorrentFileList>("lstFiles"); }

  std::string Path(const char* name) const { return (fs::path(dir_->path().toStdString()) / name).string(); }
  std::string Write(const char* name, const std::string& bytes) {
    const auto path = Path(name);
    WriteWholeFile(path, bytes);
    return path;
  }
  void Open(const std::string& path) {
    Edit("txtTorrent")->setText(QFile::decodeName(QByteArray::fromStdString(path)));
  }
  int Loads() const { return static_cast<int>(status_.count(QStringLiteral("Loading complete!"))); }
  QCheckBox* Check(const char* name) { return Find<QCheckBox>(name); }
  QPlainTextEdit* Memo(const char* name) { return Find<QPlainTextEdit>(name); }

  static std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
      bytes[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
    return bytes;
  }
  // Makes a torrent of source (a file or a folder) with the creation driver.
  std::string MakeTorrent(const std::string& source, const char* output, TMetaFormat format = TMetaFormat::V1,
                          int32_t pieceLength = 0) {
    TScriptedDialogs dialogs;
    TNullProgress progress;
    TCreationDriver driver(dialogs, progress);
    driver.Input.Format = format;
    if (pieceLength > 0) {
      driver.Input.AutoPieceSize = false;
      driver.Input.PieceLength = pieceLength;
    }
    driver.Input.Mode = TCreateMode::Classic;
    driver.Input.ClassicPath = source;
    driver.Input.TrackerText = "http://main/announce";
    dialogs.SaveAnswers.push_back(Path(output));
    driver.btnCreateTorrentClick();
    if (driver.Result().Written.size() != 1) qFatal("no torrent made of %s", source.c_str());
    return Path(output);
  }
  // Three files a:100000 b:700000 c:50000 in data/: piece 0 spans a and b,
  // pieces 1 and 2 lie inside b, piece 3 spans b and c.
  std::string MakeDataTorrent() {
    QDir(dir_->path()).mkdir(QStringLiteral("data"));
    Write("data/a", Pattern(100000, 1));
    Write("data/b", Pattern(700000, 2));
    Write("data/c", Pattern(50000, 3));
    return MakeTorrent(Path("data"), "data.torrent");
  }
  // Verify of the data folder shows one box with this caption, holding
  // every present text and no absent one.
  void VerifyShows(const char* label, const std::string& caption, const std::vector<std::string>& present,
                   const std::vector<std::string>& absent) {
    dialogs_->Boxes.clear();
    dialogs_->FolderAnswers = {Path("data")};
    Button("btnVerifyData")->click();
    QVERIFY2(dialogs_->Boxes.size() == 1, label);
    const auto& box = dialogs_->Boxes[0];
    QVERIFY2(box.Caption == caption, label);
    for (const auto& text : present) QVERIFY2(box.Text.find(text) != std::string::npos, box.Text.c_str());
    for (const auto& text : absent) QVERIFY2(box.Text.find(text) == std::string::npos, box.Text.c_str());
  }
  void Flip(const char* name, size_t at) {
    std::string bytes = ReadWholeFile(Path(name));
    bytes[at] ^= 1;
    WriteWholeFile(Path(name), bytes);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dialogs_ = std::make_unique<TScriptedDialogs>();
    backup_ = std::make_unique<TFakeBackupList>();
    status_.clear();
    page_ = std::make_unique<TViewEditPage>(TViewEditLinks{
        *dialogs_, backup_->Access(), [this](const QString& text) { status_ << text; }, nullptr});
    page_->show();
  }
  void cleanup() {
    page_.reset();
    dir_.reset();
  }

  void controlsStartAsDesigned() {
    struct TCase {
      const char* Name;
      const char* Text;
      bool Enabled;
    };
    const TCase buttons[] = {
        {"btnTorrentBrowse", "...", true},       {"btnViewBackupTrackers", "Backup", false},
        {"btnCreationDateReset", "Reset", true}, {"btnChange", "Change", false},
        {"btnViewSave", "Save", false},          {"btnViewSaveAs", "Save As ..", false},
    };
    for (const auto& b : buttons) {
      // The caption as shown: a mnemonic's "&" only underlines the next letter.
      QCOMPARE(Button(b.Name)->text().remove(u'&'), QString::fromLatin1(b.Text));
      QCOMPARE(Button(b.Name)->isEnabled(), b.Enabled);
    }
    for (const char* name : {"txtTorrent", "txtAnnounceURL", "txtViewName", "txtFilesName"})
      QVERIFY2(Edit(name)->text().isEmpty(), name);
    QVERIFY(Find<QPlainTextEdit>("mmoViewComment")->toPlainText().isEmpty());
    QVERIFY(!Find<QCheckBox>("chkViewBackup")->isChecked());
    QCOMPARE(Label("lblViewSHA1")->text(), QStringLiteral("SHA1:"));
    QCOMPARE(Label("lblViewCreationDate")->text(), QStringLiteral("Creation Date:"));
    QCOMPARE(Label("lblFilesSize")->text(), QStringLiteral("Size:"));
    QCOMPARE(Files()->count(), 0);
    QCOMPARE(Files()->selectionMode(), QAbstractItemView::SingleSelection);

    // Nothing loaded: both saves refuse, the back-up box changes nothing.
    Button("btnViewSave")->setEnabled(true);
    Button("btnViewSave")->click();
    page_->btnViewSaveAsClick();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    for (const auto& m : dialogs_->Boxes) {
      QCOMPARE(m.Text, std::string("No torrent loaded!"));
      QCOMPARE(m.Caption, std::string("Error"));
    }
    QVERIFY(!dialogs_->LastSave());
    Find<QCheckBox>("chkViewBackup")->click();
    QVERIFY(!Button("btnViewBackupTrackers")->isEnabled());
  }

  void typingAPathLoadsOnlyWhenItNamesAFile() {
    QDir(dir_->path()).mkdir(QStringLiteral("t"));
    const auto a = Write("t/a", Torrent(Announce(), SingleFile()));
    Write("t/ab", Torrent(Announce("http://other/announce"), SingleFile()));
    QTest::keyClicks(Edit("txtTorrent"), QFile::decodeName(QByteArray::fromStdString(a)));
    // The folders on the way are no files: no load and no error.
    QCOMPARE(Loads(), 1);
    QVERIFY(dialogs_->Boxes.empty());
    QCOMPARE(page_->LoadedPath(), a);
    QTest::keyClicks(Edit("txtTorrent"), QStringLiteral("b"));
    QCOMPARE(Loads(), 2);
    QCOMPARE(Edit("txtAnnounceURL")->text(), QStringLiteral("http://other/announce"));
    QTest::keyClicks(Edit("txtTorrent"), QStringLiteral("c"));  // names nothing: the model stays
    QCOMPARE(Loads(), 2);
    QVERIFY(page_->Torrent());
    QCOMPARE(page_->LoadedPath(), a + "b");
    QTest::keyClick(Edit("txtTorrent"), Qt::Key_Backspace);
    QTest::keyClick(Edit("txtTorrent"), Qt::Key_Backspace);
    QCOMPARE(Loads(), 4);  // ".../ab" and ".../a" each reload
    QCOMPARE(page_->LoadedPath(), a);
    QCOMPARE(status_.first(), QStringLiteral("Loading Torrent! This may take a while..."));
    QVERIFY(dialogs_->Boxes.empty());
  }

  void browseSetsThePathAndLoads() {
    const auto a = Write("b.torrent", Torrent(Announce(), SingleFile()));
    dialogs_->OpenAnswers = {a, a};  // one for each of the two browses
    Button("btnTorrentBrowse")->click();
    QCOMPARE(dialogs_->OpenFilters.at(0), std::string(".torrent files (*.torrent)|*.torrent"));
    QCOMPARE(Loads(), 1);
    Button("btnTorrentBrowse")->click();  // the same file again reloads it
    QCOMPARE(Loads(), 2);
    dialogs_->OpenAnswers = {std::nullopt};
    Button("btnTorrentBrowse")->click();
    QCOMPARE(Loads(), 2);
    QCOMPARE(page_->LoadedPath(), a);
  }

  void failedLoadsClearThePage() {
    struct TCase {
      const char* Label;
      std::string Bytes;
      std::string Errors;
    };
    const TCase cases[] = {
        {"not bencoded", "this is no torrent",
         "Error parsing file; does not appear to be valid bencoded metainfo"},
        // No file entry: the box says why.
        {"multi-file with an empty file list",
         Torrent(Announce(), Str("files") + "le" + Str("name") + Str("x") + Str("piece length") + Int(16384) +
                                 Str("pieces") + Str(Pieces20)),
         "Corrupt File: \"info.files\" is empty"},
        // Without trackers as well: that is no reason, and no line of the box.
        {"trackerless with an empty file list",
         Torrent("", Str("files") + "le" + Str("name") + Str("x") + Str("piece length") + Int(16384) +
                         Str("pieces") + Str(Pieces20)),
         "Corrupt File: \"info.files\" is empty"},
    };
    const auto good = Write("good.torrent", Torrent(Announce() + Str("comment") + Str("c"), MultiFile()));
    for (const auto& c : cases) {
      QTest::qWait(0);
      Open(good);
      QVERIFY2(page_->Torrent(), c.Label);
      QVERIFY(Button("btnViewSave")->isEnabled());
      QVERIFY(Button("btnChange")->isEnabled());
      dialogs_->Boxes.clear();
      Open(Write("bad.torrent", c.Bytes));
      QVERIFY2(!page_->Torrent(), c.Label);
      QCOMPARE(dialogs_->Boxes.size(), size_t(1));
      QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error Loading!"));
      QCOMPARE(dialogs_->Boxes[0].Text, c.Errors);
      QCOMPARE(status_.last(), QStringLiteral("Loading error!"));
      QCOMPARE(Files()->count(), 0);
      for (const char* name : {"txtAnnounceURL", "txtViewName", "txtFilesName"})
        QVERIFY2(Edit(name)->text().isEmpty(), name);
      QVERIFY(Find<QPlainTextEdit>("mmoViewComment")->toPlainText().isEmpty());
      QCOMPARE(Label("lblViewSHA1")->text(), QStringLiteral("SHA1:"));
      QCOMPARE(Label("lblViewCreationDate")->text(), QStringLiteral("Creation Date:"));
      QCOMPARE(Label("lblFilesSize")->text(), QStringLiteral("Size:"));
      QVERIFY(!Button("btnViewSave")->isEnabled());
      QVERIFY(!Button("btnViewSaveAs")->isEnabled());
      QVERIFY(!Button("btnChange")->isEnabled());
      // The loaded path still names the last good file.
      QCOMPARE(page_->LoadedPath(), good);
      fs::remove(Path("bad.torrent"));
    }
  }

  void aLoadedTorrentIsShown() {
    const auto file =
        Write("m.torrent", Torrent(Announce() + Str("comment") + Str("two\r\nlines"), MultiFile()));
    Open(file);
    QVERIFY(page_->Torrent());
    QCOMPARE(Edit("txtAnnounceURL")->text(), QStringLiteral("http://main/announce"));
    QCOMPARE(Edit("txtViewName")->text(), QStringLiteral("top"));
    QCOMPARE(Find<QPlainTextEdit>("mmoViewComment")->toPlainText(), QStringLiteral("two\nlines"));
    QCOMPARE(Label("lblViewSHA1")->text(),
             QStringLiteral("SHA1: ") + QString::fromStdString(page_->Torrent()->InfoHashText));
    QCOMPARE(page_->Torrent()->InfoHashText.size(), size_t(40));
    QCOMPARE(Files()->count(), 2);
    QCOMPARE(Files()->item(0)->text(), QStringLiteral("a/b/c.txt"));
    QCOMPARE(Files()->item(1)->text(), QStringLiteral("d.txt"));
    QCOMPARE(Files()->currentRow(), 0);
    QCOMPARE(Edit("txtFilesName")->text(), QStringLiteral("a/b/c.txt"));
    QCOMPARE(Label("lblFilesSize")->text(), QStringLiteral("Size: 10"));
    QVERIFY(Edit("txtFilesName")->isEnabled());
    QVERIFY(Button("btnViewSave")->isEnabled());
    QVERIFY(Button("btnViewSaveAs")->isEnabled());
    QCOMPARE(status_.last(), QStringLiteral("Loading complete!"));

    Files()->setCurrentRow(1);
    QCOMPARE(Edit("txtFilesName")->text(), QStringLiteral("d.txt"));
    QCOMPARE(Label("lblFilesSize")->text(), QStringLiteral("Size: 5"));
    // Clicking the selected line again undoes an edit not yet applied.
    Edit("txtFilesName")->setText(QStringLiteral("zzz"));
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {},
                      Files()->visualItemRect(Files()->item(1)).center());
    QCOMPARE(Edit("txtFilesName")->text(), QStringLiteral("d.txt"));
  }

  void singleFileRenamesThroughTheName() {
    const auto file = Write("s.torrent", Torrent(Announce(), SingleFile("movie.bin", 12345)));
    Open(file);
    QCOMPARE(Files()->count(), 1);
    QCOMPARE(Files()->item(0)->text(), QStringLiteral("movie.bin"));
    QCOMPARE(Label("lblFilesSize")->text(), QStringLiteral("Size: 12345"));
    QVERIFY(!Edit("txtFilesName")->isEnabled());
    const auto hashBefore = page_->Torrent()->InfoHashText;
    dialogs_->Answer = TMsgResult::Yes;  // the new name gives a new info hash

    Edit("txtViewName")->selectAll();
    QTest::keyClicks(Edit("txtViewName"), QStringLiteral("film.mkv"));
    QCOMPARE(Files()->item(0)->text(), QStringLiteral("film.mkv"));
    QCOMPARE(Edit("txtFilesName")->text(), QStringLiteral("film.mkv"));
    QCOMPARE(page_->Torrent()->Name, std::string("film.mkv"));
    QCOMPARE(page_->Torrent()->Files[0]->Name, std::string("film.mkv"));

    Button("btnViewSave")->click();
    QCOMPARE(status_.last(), QString::fromStdString(file) + QStringLiteral(" written sucessfully!"));
    const auto saved = LoadFile(file);
    QCOMPARE(saved->Name, std::string("film.mkv"));
    QCOMPARE(saved->TotalLength, 12345);
    QVERIFY(saved->InfoHashText != hashBefore);
  }

  void changeRenamesTheSelectedFile() {
    struct TCase {
      const char* Label;
      int Row;
      const char* Text;
      const char* Path;
      const char* Name;
    };
    const TCase cases[] = {
        {"new folders", 0, "x/y.txt", "x/", "y.txt"},
        {"name only keeps the folders", 0, "z.txt", "a/b/", "z.txt"},
        {"into a folder", 1, "sub/d2.txt", "sub/", "d2.txt"},
    };
    dialogs_->Answer = TMsgResult::Yes;  // a new file name gives a new info hash
    for (const auto& c : cases) {
      const auto file = Write(c.Label, Torrent(Announce(), MultiFile()));
      Open(file);
      Files()->setCurrentRow(c.Row);
      Edit("txtFilesName")->setText(QString::fromLatin1(c.Text));
      Button("btnChange")->click();
      QVERIFY2(page_->Torrent(), c.Label);
      QCOMPARE(Files()->item(c.Row)->text(), QString::fromLatin1(c.Text));
      QCOMPARE(page_->Torrent()->Files[c.Row]->Path, std::string(c.Path));
      QCOMPARE(page_->Torrent()->Files[c.Row]->Name, std::string(c.Name));
      Button("btnViewSave")->click();
      const auto saved = LoadFile(file);
      QCOMPARE(saved->Files[c.Row]->Path + saved->Files[c.Row]->Name, std::string(c.Path) + c.Name);
      QCOMPARE(saved->Files[1 - c.Row]->Path + saved->Files[1 - c.Row]->Name,
               std::string(c.Row == 0 ? "d.txt" : "a/b/c.txt"));
    }
  }

  void backupCheckBoxDecidesTheAnnounceList() {
    const std::string head = Announce() + Str("announce-list") + "l" + "l" + Str("http://main/announce") +
                             "e" + "l" + Str("http://b1/announce") + "e" + "e";
    const auto file = Write("k.torrent", Torrent(head, MultiFile()));
    auto* check = Find<QCheckBox>("chkViewBackup");
    auto* open = Button("btnViewBackupTrackers");

    // Loaded with an announce-list: checked. The shared list still holds
    // other lines, but until the window is opened for this torrent a save
    // keeps the loaded tiers as they were.
    backup_->Lines = {"http://elsewhere/announce"};
    Open(file);
    QVERIFY(check->isChecked());
    QVERIFY(open->isEnabled());
    Button("btnViewSave")->click();
    QCOMPARE(LoadFile(file)->BackupTrackers(),
             (std::vector<std::string>{"http://main/announce", "http://b1/announce"}));
    QVERIFY(ReadWholeFile(file).find(head) != std::string::npos);

    // Opened for this torrent, the window's lines are what is saved,
    // resolved through the tracker list.
    open->click();
    backup_->Trackers = {{"One", "http://old-one/announce"}, {"One", "http://one/announce"}, {"Blank", ""}};
    backup_->Lines = {"One", "Blank", "one", "http://u/announce"};
    Button("btnViewSave")->click();
    QCOMPARE(LoadFile(file)->BackupTrackers(),
             (std::vector<std::string>{"http://main/announce", "http://one/announce", "Blank", "one",
                                       "http://u/announce"}));

    // Unchecked: no announce-list, whatever the list holds.
    check->click();
    QVERIFY(!open->isEnabled());
    Button("btnViewSave")->click();
    QVERIFY(LoadFile(file)->BackupTrackers().empty());
    check->click();
    QVERIFY(open->isEnabled());

    // Checking the box again by hand takes the window's list as it stands.
    Open(Write("n0.torrent", Torrent(Announce(), MultiFile())));
    QVERIFY(!check->isChecked());
    backup_->Lines = {"http://x/announce"};
    check->click();
    Button("btnViewSave")->click();
    QCOMPARE(LoadFile(Path("n0.torrent"))->BackupTrackers(),
             (std::vector<std::string>{"http://main/announce", "http://x/announce"}));

    // "Backup" hands the loaded model's URLs to the window.
    backup_->Lines.clear();
    Open(Write("k2.torrent", Torrent(head, MultiFile())));
    open->click();
    QCOMPARE(backup_->Shown, 2);
    QCOMPARE(backup_->Lines, (std::vector<std::string>{"http://main/announce", "http://b1/announce"}));
    Button("btnViewSave")->click();
    QCOMPARE(LoadFile(Path("k2.torrent"))->BackupTrackers(),
             (std::vector<std::string>{"http://main/announce", "http://b1/announce"}));

    // Without an announce-list: unchecked and disabled.
    Open(Write("n.torrent", Torrent(Announce(), MultiFile())));
    QVERIFY(!check->isChecked());
    QVERIFY(!open->isEnabled());
  }

  void saveAsThenSaveWritesToTheLoadedFile() {
    const auto loaded = Write("a.torrent", Torrent(Announce(), MultiFile()));
    const auto other = Path("b.torrent");
    Open(loaded);
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://first/announce"));

    dialogs_->SaveAnswers = {std::nullopt};  // cancelled: nothing happens
    Button("btnViewSaveAs")->click();
    QVERIFY(!fs::exists(other));
    QCOMPARE(dialogs_->LastSave()->DefaultExt, std::string("torrent"));
    QCOMPARE(dialogs_->LastSave()->Filter, std::string("torrent files (*.torrent)|*.torrent"));
    QVERIFY(dialogs_->LastSave()->ConfirmOverwrite);

    dialogs_->SaveAnswers = {other};
    Button("btnViewSaveAs")->click();
    QCOMPARE(status_.last(), QString::fromStdString(other) + QStringLiteral(" written sucessfully!"));
    QCOMPARE(LoadFile(other)->Announce(), std::string("http://first/announce"));
    QCOMPARE(LoadFile(loaded)->Announce(), std::string("http://main/announce"));

    Edit("txtAnnounceURL")->setText(QStringLiteral("http://second/announce"));
    Button("btnViewSave")->click();
    QCOMPARE(page_->LoadedPath(), loaded);
    QCOMPARE(LoadFile(loaded)->Announce(), std::string("http://second/announce"));
    QCOMPARE(LoadFile(other)->Announce(), std::string("http://first/announce"));
    QVERIFY(dialogs_->Boxes.empty());
  }

  // Save asks before it overwrites a file another program changed after the
  // load; No keeps that program's version, Yes writes the page's.
  void saveAsksBeforeOverwritingANewerFile() {
    const auto file = Write("n.torrent", Torrent(Announce(), MultiFile()));
    Open(file);
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://mine/announce"));
    const std::string theirs = Torrent(Announce("http://theirs/announce"), MultiFile());
    Write("n.torrent", theirs);

    dialogs_->Answers = {TMsgResult::No};
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QVERIFY2(dialogs_->Boxes[0].Text.find("changed on disk") != std::string::npos,
             dialogs_->Boxes[0].Text.c_str());
    QCOMPARE(ReadWholeFile(file), theirs);

    dialogs_->Answers = {TMsgResult::Yes};
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    QCOMPARE(LoadFile(file)->Announce(), std::string("http://mine/announce"));

    // The page's own save is no change by another program.
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://again/announce"));
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    QCOMPARE(LoadFile(file)->Announce(), std::string("http://again/announce"));
  }

  // A change that lands while the question is open is one the user did not
  // agree to replace: the save checks again under the lock, right before its
  // rename, and says so instead of winning silently.
  void saveRefusesAChangeMadeAfterTheQuestion() {
    const auto file = Write("r.torrent", Torrent(Announce(), MultiFile()));
    Open(file);
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://mine/announce"));
    Write("r.torrent", Torrent(Announce("http://theirs/announce"), MultiFile()));
    const std::string later = Torrent(Announce("http://later/announce"), MultiFile());
    dialogs_->Answers = {TMsgResult::Yes};
    dialogs_->WhileOpen = [&] {
      dialogs_->WhileOpen = nullptr;
      Write("r.torrent", later + std::string(" "));  // another size: no stamp can match by chance
    };
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    QVERIFY2(dialogs_->Boxes[1].Text.find("was changed by another program after it was loaded; not saved") !=
                 std::string::npos,
             dialogs_->Boxes[1].Text.c_str());
    QCOMPARE(ReadWholeFile(file), later + " ");
    QVERIFY(status_.isEmpty() || !status_.last().contains(QStringLiteral("written")));
  }

  void aFailedSaveKeepsTheOldFile() {
    const std::string original = Torrent(Announce(), MultiFile());
    const auto file = Write("f.torrent", original);
    Open(file);
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://changed/announce"));

    const TFileSysCalls previous =
        SetFileSysCalls({FileSysCalls().Open, FileSysCalls().Read, FailingWrite, FileSysCalls().Close});
    Button("btnViewSave")->click();
    SetFileSysCalls(previous);
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QCOMPARE(dialogs_->Boxes[0].Text.substr(0, 16 + file.size()), "Error writing " + file + ": ");
    QVERIFY2(dialogs_->Boxes[0].Text.find(std::strerror(ENOSPC)) != std::string::npos,
             dialogs_->Boxes[0].Text.c_str());
    QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error"));
    QCOMPARE(ReadWholeFile(file), original);
    QCOMPARE(static_cast<int>(
                 std::distance(fs::directory_iterator(dir_->path().toStdString()), fs::directory_iterator())),
             1);

    // Save As into a folder that does not exist.
    const auto nowhere = Path("missing/x.torrent");
    dialogs_->SaveAnswers = {nowhere};
    Button("btnViewSaveAs")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    QCOMPARE(dialogs_->Boxes[1].Text.substr(0, 16 + nowhere.size()), "Error writing " + nowhere + ": ");
    QVERIFY2(dialogs_->Boxes[1].Text.find(std::strerror(ENOENT)) != std::string::npos,
             dialogs_->Boxes[1].Text.c_str());

    // The model is still loaded and can be saved.
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(2));
    QCOMPARE(LoadFile(file)->Announce(), std::string("http://changed/announce"));
  }

  void aFileThatCannotBeOpenedGoesToTheErrorReport() {
    const auto good = Write("g.torrent", Torrent(Announce(), MultiFile()));
    const auto locked = Write("l.torrent", Torrent(Announce("http://locked/announce"), MultiFile()));
    std::vector<std::string> reported;
    page_.reset();
    page_ = std::make_unique<TViewEditPage>(
        TViewEditLinks{*dialogs_, backup_->Access(), nullptr,
                       [&](const std::exception& e) { reported.push_back(e.what()); }});
    Open(good);
    QVERIFY(page_->Torrent());

    const TFileSysCalls previous =
        SetFileSysCalls({[](const char*, int, mode_t) {
                           errno = EACCES;
                           return -1;
                         },
                         FileSysCalls().Read, FileSysCalls().Write, FileSysCalls().Close});
    Open(locked);
    SetFileSysCalls(previous);
    QCOMPARE(reported.size(), size_t(1));
    QVERIFY(dialogs_->Boxes.empty());
    // No model, while the page still shows the old one.
    QVERIFY(!page_->Torrent());
    QCOMPARE(Edit("txtAnnounceURL")->text(), QStringLiteral("http://main/announce"));
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QCOMPARE(dialogs_->Boxes[0].Text, std::string("No torrent loaded!"));
    QCOMPARE(ReadWholeFile(good), Torrent(Announce(), MultiFile()));
  }

  void displayingDoesNotChangeTheModel() {
    // Name and comment that are not UTF-8, and keys the page does not edit.
    const std::string name = "caf\xe9 \xff\xfe";
    const std::string comment = "bad \xc3\x28 bytes\r\nsecond line";
    const std::string info = Str("length") + Int(77) + Str("name") + Str(name) + Str("piece length") +
                             Int(16384) + Str("pieces") + Str(Pieces20) + Str("private") + Int(1) +
                             Str("source") + Str("xyz");
    const std::string original =
        Torrent(Announce() + Str("comment") + Str(comment) + Str("created by") + Str("someone"), info,
                Str("url-list") + Str("http://seed/"));
    const auto file = Write("u.torrent", original);
    Open(file);
    QVERIFY(page_->Torrent());
    QCOMPARE(page_->Torrent()->Name, name);
    QCOMPARE(page_->Torrent()->Comment, comment);
    QCOMPARE(page_->Torrent()->Files[0]->Name, name);
    const auto hash = page_->Torrent()->InfoHashText;

    Button("btnViewSave")->click();
    const std::string saved = ReadWholeFile(file);
    QVERIFY(saved.find(Str("comment") + Str(comment)) != std::string::npos);
    QVERIFY(saved.find(Str("url-list") + Str("http://seed/")) != std::string::npos);
    QVERIFY(saved.find(Str("created by") + Str("someone")) != std::string::npos);
    QVERIFY(saved.find(Str("info") + "d" + info + "e") != std::string::npos);
    QCOMPARE(LoadFile(file)->InfoHashText, hash);

    // A user's edit of the comment applies, with CR LF line breaks.
    auto* memo = Find<QPlainTextEdit>("mmoViewComment");
    memo->setPlainText(QStringLiteral("new\ncomment"));
    QCOMPARE(page_->Torrent()->Comment, std::string("new\r\ncomment"));
    QCOMPARE(page_->Torrent()->Name, name);
    Button("btnViewSave")->click();
    QCOMPARE(LoadFile(file)->InfoHashText, hash);
  }

  void datesAreShownInLocalTime() {
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(QDate(2023, 11, 15), QLocale::ShortFormat);
    // TZ is UTC+3 for this program: 2023-11-14 22:13:20 UTC is 01:13:20 local.
    Open(Write("d1.torrent", Torrent(Announce() + Str("creation date") + Int(1700000000), MultiFile())));
    const QString shown = Label("lblViewCreationDate")->text();
    QVERIFY2(shown.startsWith(QStringLiteral("Creation Date: ") + date + u' '), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("1:13:20")), qPrintable(shown));

    // Local midnight shows the date alone.
    Open(Write("d2.torrent", Torrent(Announce() + Str("creation date") + Int(1699995600), MultiFile())));
    QCOMPARE(Label("lblViewCreationDate")->text(), QStringLiteral("Creation Date: ") + date);

    // No date.
    const auto file = Write("d3.torrent", Torrent(Announce(), MultiFile()));
    Open(file);
    QCOMPARE(Label("lblViewCreationDate")->text(), QStringLiteral("Creation Date: N/A"));
    QCOMPARE(DateTimeOf(*page_->Torrent()), 0.0);
    Button("btnViewSave")->click();
    QVERIFY(ReadWholeFile(file).find("creation date") == std::string::npos);

    // Reset stores the current time as UTC.
    const auto before = static_cast<int64_t>(std::time(nullptr));
    Button("btnCreationDateReset")->click();
    QVERIFY(Label("lblViewCreationDate")->text() != QStringLiteral("Creation Date: N/A"));
    Button("btnViewSave")->click();
    const auto stored = DateTimeToUnix(DateTimeOf(*LoadFile(file)));
    QVERIFY2(stored >= before && stored <= before + 60, qPrintable(QString::number(stored - before)));
  }

  // A damaged torrent (pieces that do not cover its data, a key the model
  // does not own) is saved only when the user says Yes.
  void aDamagedTorrentIsSavedOnlyAfterAsking() {
    const std::string info = Str("files") + "l" + "d" + Str("length") + Int(100000) + Str("path") + "l" +
                             Str("big.bin") + "e" + "e" + "e" + Str("name") + Str("top") +
                             Str("piece length") + Int(16384) + Str("pieces") + Str(Pieces20) +
                             Str("private") + Int(1);
    const std::string original = Torrent(Announce(), info);
    const auto file = Write("damaged.torrent", original);
    const auto other = Path("other.torrent");
    Open(file);
    QVERIFY(page_->Torrent());
    QVERIFY(dialogs_->Boxes.empty());  // it loads and is shown
    Edit("txtAnnounceURL")->setText(QStringLiteral("http://changed/announce"));

    struct TCase {
      const char* Label;
      const char* Button;
      std::optional<TMsgResult> Answer;  // none: the default
      bool Written;
    };
    const TCase cases[] = {
        {"Save, default answer", "btnViewSave", std::nullopt, false},
        {"Save, No", "btnViewSave", TMsgResult::No, false},
        {"Save As, No", "btnViewSaveAs", TMsgResult::No, false},
        {"Save, Yes", "btnViewSave", TMsgResult::Yes, true},
    };
    for (const auto& c : cases) {
      dialogs_->Boxes.clear();
      dialogs_->SaveRequests.clear();
      dialogs_->SaveAnswers = {other};
      if (c.Answer) dialogs_->Answers = {*c.Answer};
      Button(c.Button)->click();
      QVERIFY2(dialogs_->Boxes.size() == 1, c.Label);
      const auto& box = dialogs_->Boxes[0];
      QCOMPARE(box.Caption, std::string("Question"));
      QVERIFY(box.Buttons == TMsgButtons::YesNo);
      QVERIFY2(box.Text.rfind("This torrent is damaged", 0) == 0, box.Text.c_str());
      QVERIFY2(box.Text.find("\"info.pieces\" holds 1 piece hashes, but the total length needs 7") !=
                   std::string::npos,
               box.Text.c_str());
      QVERIFY2(box.Text.size() > 12 && box.Text.substr(box.Text.size() - 12) == "Save anyway?",
               box.Text.c_str());
      if (!c.Written) {
        QVERIFY2(dialogs_->SaveRequests.empty(), c.Label);  // asked before choosing a file
        QCOMPARE(ReadWholeFile(file), original);
        QVERIFY(!fs::exists(other));
      }
    }
    QCOMPARE(LoadFile(file)->Announce(), std::string("http://changed/announce"));

    // A torrent without an announce URL is not damaged: no question.
    const auto bare = Write("bare.torrent", Torrent("", MultiFile()));
    Open(bare);
    dialogs_->Boxes.clear();
    Button("btnViewSave")->click();
    QVERIFY(dialogs_->Boxes.empty());
    QCOMPARE(status_.last(), QString::fromStdString(bare) + QStringLiteral(" written sucessfully!"));
  }

  void changeRefusesNamesOutsideTheTorrent() {
    for (const char* text : {"", ".", "..", "../../evil.sh", "/etc/passwd", "a//b.txt", "dir/"}) {
      const auto file = Write("r.torrent", Torrent(Announce(), MultiFile()));
      Open(file);
      dialogs_->Boxes.clear();
      Files()->setCurrentRow(0);
      Edit("txtFilesName")->setText(QString::fromLatin1(text));
      Button("btnChange")->click();
      QVERIFY2(dialogs_->Boxes.size() == 1, text);
      QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error"));
      QCOMPARE(Files()->item(0)->text(), QStringLiteral("a/b/c.txt"));
      QCOMPARE(page_->Torrent()->Files[0]->Path + page_->Torrent()->Files[0]->Name, std::string("a/b/c.txt"));
    }
    // A name typed into txtViewName is checked when saving.
    const std::string original = Torrent(Announce(), MultiFile());
    const auto file = Write("n.torrent", original);
    Open(file);
    Edit("txtViewName")->setText(QStringLiteral(".."));
    dialogs_->Boxes.clear();
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error"));
    QCOMPARE(ReadWholeFile(file), original);
  }

  // Padding is shown as such and cannot be chosen to be renamed; a rename onto
  // another file's path is refused as in the CLI.
  void padsAreShownAsPaddingAndNotRenamed() {
    const std::string padded = Torrent(
        Announce(), Str("files") + "l" + "d" + Str("length") + Int(5) + Str("path") + "l" + Str("a") + "e" +
                        "e" + "d" + Str("attr") + Str("p") + Str("length") + Int(16379) + Str("path") + "l" +
                        Str(".pad") + Str("16379") + "e" + "e" + "d" + Str("length") + Int(7) + Str("path") +
                        "l" + Str("b") + "e" + "e" + "e" + Str("name") + Str("top") + Str("piece length") +
                        Int(16384) + Str("pieces") + Str(Pieces20 + Pieces20));
    const auto file = Write("p.torrent", padded);
    Open(file);
    QCOMPARE(Files()->count(), 3);
    QCOMPARE(Files()->item(1)->text(), QStringLiteral("[padding] .pad/16379"));
    QVERIFY(!(Files()->item(1)->flags() & (Qt::ItemIsEnabled | Qt::ItemIsSelectable)));
    QVERIFY(Files()->item(2)->flags() & Qt::ItemIsEnabled);
    // Rows still count as files do: row 2 is b.
    Files()->setCurrentRow(2);
    QCOMPARE(Edit("txtFilesName")->text(), QStringLiteral("b"));
    QVERIFY(Edit("txtFilesName")->isEnabled());
    // The padding cannot be chosen to be renamed, by mouse or by keys.
    Files()->setCurrentRow(1);
    QCOMPARE(Files()->currentRow(), 2);
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {},
                      Files()->visualItemRect(Files()->item(1)).center());
    QCOMPARE(Files()->currentRow(), 2);
    QTest::keyClick(Files(), Qt::Key_Up);
    QCOMPARE(Files()->currentRow(), 0);

    for (const char* text : {"a", "A"}) {
      dialogs_->Boxes.clear();
      Files()->setCurrentRow(2);
      Edit("txtFilesName")->setText(QString::fromLatin1(text));
      Button("btnChange")->click();
      QVERIFY2(dialogs_->Boxes.size() == 1, text);
      QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error"));
      QVERIFY2(dialogs_->Boxes[0].Text.starts_with("Cannot rename to \"" + std::string(text) + "\": file 0 "),
               dialogs_->Boxes[0].Text.c_str());
      QVERIFY(!page_->Torrent()->InfoChanged());
    }
    QCOMPARE(page_->Torrent()->Files[1]->Path + page_->Torrent()->Files[1]->Name, std::string(".pad/16379"));
    QCOMPARE(page_->Torrent()->Files[2]->Name, std::string("b"));
  }

  // "...torrent" keeps its name: cut to "..", it would name the folder above.
  void aNameEndingInTorrentIsShownAsItIsUsed() {
    const auto file = Write("dots.torrent", Torrent(Announce(), SingleFile("...torrent", 5)));
    Open(file);
    QCOMPARE(status_.last(), QStringLiteral("Loading complete!"));
    QCOMPARE(Edit("txtViewName")->text(), QStringLiteral("...torrent"));
    QCOMPARE(Files()->item(0)->text(), QStringLiteral("...torrent"));
    QVERIFY(!page_->Torrent()->IsDamaged());
  }

  // A torrent without trackers is trackerless, not corrupt: it loads without
  // a box, says how its peers are found, and saves without the question a
  // damaged torrent gets.
  void trackerlessTorrentIsNoFault() {
    const QString none = QStringLiteral("no tracker (DHT, peer exchange or web seeds)");
    struct TCase {
      const char* Label;
      std::string Head;  // the keys before "info"
      bool Trackerless;
    } cases[] = {
        {"no tracker at all", "", true},
        {"back-up trackers only", Str("announce-list") + "ll" + Str("http://b/announce") + "ee", false},
        {"a main tracker", Announce(), false},
    };
    for (const TCase& c : cases) {
      dialogs_->Boxes.clear();
      const std::string file = Write(c.Label, Torrent(c.Head, SingleFile()));
      Open(file);
      QVERIFY2(page_->Torrent(), c.Label);
      QVERIFY2(dialogs_->Boxes.empty(), c.Label);
      QCOMPARE(status_.last(), QStringLiteral("Loading complete!"));
      QCOMPARE(Edit("txtAnnounceURL")->placeholderText(), c.Trackerless ? none : QString());
      // Saved as it is: no question, and no tracker appears.
      Button("btnViewSave")->click();
      QVERIFY2(dialogs_->Boxes.empty(), dialogs_->Boxes.empty() ? c.Label : dialogs_->Boxes[0].Text.c_str());
      const auto saved = LoadFile(file);
      QCOMPARE(saved->Announce(), page_->Torrent()->Announce());
      if (c.Trackerless) QVERIFY(saved->Announce().empty() && saved->AnnounceTiers().empty());
      fs::remove(file);
    }
  }

  void aHybridIsNotRenamed() {
    // A rename that would change the order of the tree's files cannot keep both file lists.
    const std::string original = Torrent(Announce(), HybridMultiFile(), Str("piece layers") + "de");
    const auto file = Write("h.torrent", original);
    Open(file);
    for (const bool byName : {true, false}) {
      Files()->setCurrentRow(1);
      if (byName) {
        Edit("txtViewName")->setText(QStringLiteral("film"));
        Edit("txtFilesName")->setText(QStringLiteral("0.txt"));
      } else {
        Edit("txtViewName")->setText(QStringLiteral("top"));
        Edit("txtFilesName")->setText(QStringLiteral("A.txt"));
      }
      Button("btnChange")->click();
      dialogs_->Boxes.clear();
      Button("btnViewSave")->click();
      QCOMPARE(dialogs_->Boxes.size(), size_t(1));
      QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Error"));
      QCOMPARE(dialogs_->Boxes[0].Text, std::string(HybridRenameError));
      QCOMPARE(ReadWholeFile(file), original);
    }
    // Named as loaded again, it saves with its v2 keys.
    Edit("txtFilesName")->setText(QStringLiteral("d.txt"));
    Button("btnChange")->click();
    Find<QPlainTextEdit>("mmoViewComment")->setPlainText(QStringLiteral("c"));
    dialogs_->Boxes.clear();
    Button("btnViewSave")->click();
    QVERIFY2(dialogs_->Boxes.empty(), dialogs_->Boxes.empty() ? "" : dialogs_->Boxes[0].Text.c_str());
    const std::string saved = ReadWholeFile(file);
    QVERIFY(saved.find("7:comment1:c") != std::string::npos);
    QVERIFY(saved.find(Str("meta version") + Int(2)) != std::string::npos);
    QVERIFY(saved.find(Str("piece layers") + "de") != std::string::npos);
  }

  // A rename that keeps the order renames the tree too, and keeps every v2 key.
  void aHybridRenameKeepingTheOrderIsSaved() {
    const auto file = Write("h.torrent", Torrent(Announce(), HybridMultiFile(), Str("piece layers") + "de"));
    Open(file);
    Edit("txtViewName")->setText(QStringLiteral("film"));
    Files()->setCurrentRow(1);
    Edit("txtFilesName")->setText(QStringLiteral("e.txt"));
    Button("btnChange")->click();
    dialogs_->Boxes.clear();
    dialogs_->Answers = {TMsgResult::Yes};
    Button("btnViewSave")->click();
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Question"));
    const auto saved = LoadFile(file);
    QVERIFY(saved->DamageLines().empty());
    QVERIFY(saved->Format() == TMetaFormat::Hybrid);
    QCOMPARE(saved->Name, std::string("film"));
    QCOMPARE(saved->Files[1]->Name, std::string("e.txt"));
    QVERIFY(ReadWholeFile(file).find(Str("e.txt") + "d" + Str("") + "d") != std::string::npos);
    QVERIFY(ReadWholeFile(file).find(Str("piece layers") + "de") != std::string::npos);
  }

  // Both hashes shown, asked about and put in the magnet link; v1 torrents show one.
  void v2AndHybridHashes() {
    struct TCase {
      const char* Label;
      std::string Info;
      bool V1;
    };
    const TCase cases[] = {
        {"hybrid", HybridMultiFile(), true},
        {"v2-only", V2OnlySingleFile(), false},
    };
    for (const auto& c : cases) {
      const auto file = Write((std::string(c.Label) + ".torrent").c_str(), Torrent(Announce(), c.Info));
      Open(file);
      QVERIFY2(page_->Torrent()->DamageLines().empty(), c.Label);
      const std::string oldV1 = page_->Torrent()->InfoHashText, oldV2 = page_->Torrent()->InfoHashV2Text;
      QCOMPARE(oldV1.empty(), !c.V1);
      QVERIFY(Label("lblInfoHashV2")->isVisibleTo(page_.get()));
      QVERIFY2(Label("lblInfoHashV2")->text().contains(QString::fromStdString(oldV2)), c.Label);
      if (c.V1) QVERIFY(Label("lblViewSHA1")->text().contains(QString::fromStdString(oldV1)));

      Button("btnCopyMagnet")->click();
      const std::string link = QGuiApplication::clipboard()->text().toStdString();
      QVERIFY2(link.find("xt=urn:btmh:1220" + oldV2) != std::string::npos, link.c_str());
      QCOMPARE(link.find("xt=urn:btih:" + oldV1) != std::string::npos, c.V1);

      Check("chkViewPrivate")->click();
      const std::string newV2 = page_->Torrent()->SavedInfoHashV2Text(page_->Torrent()->Pieces);
      const std::string newV1 = SavedInfoHash(*page_->Torrent());
      QVERIFY(newV2 != oldV2);
      dialogs_->Boxes.clear();
      dialogs_->Answers = {TMsgResult::Yes};
      Button("btnViewSave")->click();
      QCOMPARE(dialogs_->Boxes.size(), size_t(1));
      const std::string& text = dialogs_->Boxes[0].Text;
      QVERIFY2(text.find(oldV2) != std::string::npos && text.find(newV2) != std::string::npos, text.c_str());
      if (c.V1)
        QVERIFY2(text.find(oldV1) != std::string::npos && text.find(newV1) != std::string::npos,
                 text.c_str());
      const auto saved = LoadFile(file);
      QCOMPARE(saved->InfoHashV2Text, newV2);
      QCOMPARE(saved->InfoHashText, newV1);
      QVERIFY(saved->Private);
      QVERIFY2(Label("lblInfoHashV2")->text().contains(QString::fromStdString(newV2)), c.Label);
    }
    // A v1 torrent after them hides the second label again.
    Open(Write("v1.torrent", Torrent(Announce(), MultiFile())));
    QVERIFY(!Label("lblInfoHashV2")->isVisibleTo(page_.get()));
  }

  void datesTheLocaleCannotShowAreSeconds() {
    struct TCase {
      long long Seconds;
      QString Shown;
    };
    const TCase cases[] = {
        {253402300800LL, QStringLiteral("Creation Date: 253402300800 (Unix time)")},
        {-62135596801LL, QStringLiteral("Creation Date: -62135596801 (Unix time)")},
        {9223372036854775807LL, QStringLiteral("Creation Date: 9223372036854775807 (Unix time)")},
        {-9223372036854775807LL - 1, QStringLiteral("Creation Date: -9223372036854775808 (Unix time)")},
    };
    for (const auto& c : cases) {
      const auto file = Write(("big" + std::to_string(c.Seconds) + ".torrent").c_str(),
                              Torrent(Announce() + Str("creation date") + Int(c.Seconds), MultiFile()));
      Open(file);
      QCOMPARE(Label("lblViewCreationDate")->text(), c.Shown);
      // Saved unchanged, the date stays exact.
      Button("btnViewSave")->click();
      QVERIFY(ReadWholeFile(file).find(Str("creation date") + Int(c.Seconds)) != std::string::npos);
    }
    // The last second the locale shows is still a date.
    Open(Write("last.torrent",
               Torrent(Announce() + Str("creation date") + Int(253402300799LL - 3 * 3600), MultiFile())));
    QVERIFY(!Label("lblViewCreationDate")->text().contains(QStringLiteral("Unix time")));
  }

  void privateSourceAndWebSeedsAreShownAndSaved() {
    const std::string seedBytes = "http://seed/caf\xe9/";  // not UTF-8
    const std::string info = Str("length") + Int(77) + Str("name") + Str("x.bin") + Str("piece length") +
                             Int(16384) + Str("pieces") + Str(Pieces20) + Str("private") + Int(1) +
                             Str("source") + Str("SRC");
    const auto file = Write(
        "p.torrent",
        Torrent(Announce(), info, Str("url-list") + "l" + Str(seedBytes) + Str("http://mirror/x.bin") + "e"));
    Open(file);
    QVERIFY(Check("chkViewPrivate")->isChecked());
    QCOMPARE(Edit("txtViewSource")->text(), QStringLiteral("SRC"));
    const QStringList lines = Memo("mmoViewWebSeeds")->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], QStringLiteral("http://mirror/x.bin"));

    // Edits: the flag off, another source, one seed more and one fewer; the
    // seed left alone keeps its bytes.
    Check("chkViewPrivate")->click();
    Edit("txtViewSource")->setText(QStringLiteral("OTHER"));
    Memo("mmoViewWebSeeds")->setPlainText(lines[0] + QStringLiteral("\n\n  http://new/x.bin  \n"));
    dialogs_->Answer = TMsgResult::Yes;
    Button("btnViewSave")->click();
    const auto saved = LoadFile(file);
    QVERIFY(saved->Errors.empty());
    QVERIFY(!saved->Private);
    QCOMPARE(saved->Source, std::string("OTHER"));
    QCOMPARE(saved->WebSeeds, (std::vector<std::string>{seedBytes, "http://new/x.bin"}));

    // Cleared, they are gone from the file.
    Open(file);
    QVERIFY(!Check("chkViewPrivate")->isChecked());
    Edit("txtViewSource")->clear();
    Memo("mmoViewWebSeeds")->clear();
    Button("btnViewSave")->click();
    const std::string bytes = ReadWholeFile(file);
    for (const char* key : {"7:private", "6:source", "8:url-list"})
      QVERIFY2(bytes.find(key) == std::string::npos, key);

    // A torrent without them, and a failed load, show none.
    Open(Write("p2.torrent", Torrent(Announce(), info, Str("url-list") + Str("http://one/"))));
    QCOMPARE(Memo("mmoViewWebSeeds")->toPlainText(), QStringLiteral("http://one/"));
    Open(Write("bad.torrent", "no torrent"));
    QVERIFY(!Check("chkViewPrivate")->isChecked());
    QVERIFY(Edit("txtViewSource")->text().isEmpty());
    QVERIFY(Memo("mmoViewWebSeeds")->toPlainText().isEmpty());
    QVERIFY(!Button("btnCopyMagnet")->isEnabled());
    QVERIFY(!Button("btnVerifyData")->isEnabled());
  }

  // Only edits inside the info dictionary give a new info hash, and only
  // those ask; No, the default, writes nothing.
  void theInfoHashQuestion() {
    struct TCase {
      const char* Label;
      std::function<void()> Edit;
      bool Changes;
    };
    const TCase cases[] = {
        {"announce", [&] { Edit("txtAnnounceURL")->setText(QStringLiteral("http://x/announce")); }, false},
        {"comment", [&] { Memo("mmoViewComment")->setPlainText(QStringLiteral("c")); }, false},
        {"web seeds", [&] { Memo("mmoViewWebSeeds")->setPlainText(QStringLiteral("http://w/")); }, false},
        {"date", [&] { Button("btnCreationDateReset")->click(); }, false},
        {"private", [&] { Check("chkViewPrivate")->click(); }, true},
        {"source", [&] { Edit("txtViewSource")->setText(QStringLiteral("S")); }, true},
        {"name", [&] { Edit("txtViewName")->setText(QStringLiteral("renamed")); }, true},
    };
    const std::string original = Torrent(Announce(), MultiFile());
    for (const auto& c : cases) {
      const auto file = Write((std::string(c.Label) + ".torrent").c_str(), original);
      Open(file);
      const std::string oldHash = page_->Torrent()->InfoHashText;
      c.Edit();
      const std::string newHash = SavedInfoHash(*page_->Torrent());
      QVERIFY2((newHash != oldHash) == c.Changes, c.Label);
      dialogs_->Boxes.clear();
      Button("btnViewSave")->click();
      if (!c.Changes) {
        QVERIFY2(dialogs_->Boxes.empty(), c.Label);
        QCOMPARE(LoadFile(file)->InfoHashText, oldHash);
        continue;
      }
      QVERIFY2(dialogs_->Boxes.size() == 1, c.Label);
      const auto& box = dialogs_->Boxes[0];
      QCOMPARE(box.Caption, std::string("Question"));
      QVERIFY(box.Buttons == TMsgButtons::YesNoDefaultNo);  // No is the safe answer
      QVERIFY2(box.Text.find(oldHash) != std::string::npos && box.Text.find(newHash) != std::string::npos,
               box.Text.c_str());
      QVERIFY2(ReadWholeFile(file) == original, c.Label);  // No: untouched

      // Save As asks too, before the file is chosen.
      dialogs_->Boxes.clear();
      Button("btnViewSaveAs")->click();
      QCOMPARE(dialogs_->Boxes.size(), size_t(1));
      QVERIFY(dialogs_->SaveRequests.empty());

      // Yes writes the new hash, shows it, and a second save has nothing to ask.
      dialogs_->Answers = {TMsgResult::Yes};
      Button("btnViewSave")->click();
      QCOMPARE(LoadFile(file)->InfoHashText, newHash);
      QCOMPARE(Label("lblViewSHA1")->text(), QStringLiteral("SHA1: ") + QString::fromStdString(newHash));
      dialogs_->Boxes.clear();
      Button("btnViewSave")->click();
      QVERIFY2(dialogs_->Boxes.empty(), c.Label);
    }
  }

  // Typing a new announce URL replaces the main tracker in the tiers; a URL
  // passed on the way never swallows a back-up tracker it matched.
  void theAnnounceURLReplacesTheMainTracker() {
    const std::string head = Announce() + Str("announce-list") + "l" + "l" + Str("http://main/announce") +
                             "e" + "l" + Str("http://b1/announce") + "e" + "e";
    const auto file = Write("t.torrent", Torrent(head, MultiFile()));
    Open(file);
    auto* announce = Edit("txtAnnounceURL");
    announce->setText(QStringLiteral("http://b1/announce"));
    announce->setText(QStringLiteral("http://b1/announce2"));
    Button("btnViewSave")->click();
    auto saved = LoadFile(file);
    QCOMPARE(saved->Announce(), std::string("http://b1/announce2"));
    QCOMPARE(saved->AnnounceTiers(),
             (std::vector<std::vector<std::string>>{{"http://b1/announce2"}, {"http://b1/announce"}}));

    announce->clear();
    Button("btnViewSave")->click();
    saved = LoadFile(file);
    QVERIFY(saved->Announce().empty());
    QCOMPARE(saved->AnnounceTiers(), (std::vector<std::vector<std::string>>{{"http://b1/announce"}}));
  }

  void theMagnetLinkGoesToTheClipboard() {
    const auto file =
        Write("m.torrent", Torrent(Announce(), MultiFile(), Str("url-list") + Str("http://ws/")));
    QVERIFY(!Button("btnCopyMagnet")->isEnabled());
    Open(file);
    QGuiApplication::clipboard()->clear();
    Button("btnCopyMagnet")->click();
    const std::string hash = page_->Torrent()->InfoHashText;
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::fromStdString("magnet:?xt=urn:btih:" + hash +
                                    "&dn=top&tr=http%3A%2F%2Fmain%2Fannounce&ws=http%3A%2F%2Fws%2F"));
    QCOMPARE(status_.last(), QStringLiteral("Magnet link copied to the clipboard"));

    // After an edit of the info, the link carries the hash the saved file gets.
    Check("chkViewPrivate")->click();
    Button("btnCopyMagnet")->click();
    const QString link = QGuiApplication::clipboard()->text();
    QVERIFY(!link.contains(QString::fromStdString(hash)));
    dialogs_->Answer = TMsgResult::Yes;
    Button("btnViewSave")->click();
    QVERIFY2(link.startsWith(QString::fromStdString("magnet:?xt=urn:btih:" + LoadFile(file)->InfoHashText)),
             qPrintable(link));
  }

  void verifyNamesTheDamagedFile() {
    const auto torrent = MakeDataTorrent();
    Open(torrent);
    QVERIFY(Button("btnVerifyData")->isEnabled());

    // Cancelled: nothing is checked.
    Button("btnVerifyData")->click();
    QCOMPARE(dialogs_->FolderStarts.size(), size_t(1));
    QCOMPARE(dialogs_->FolderStarts[0], Path("data"));  // beside the torrent, under its name
    QVERIFY(dialogs_->Boxes.empty());

    struct TCase {
      const char* Label;
      std::function<void()> Damage;
      const char* Caption;
      std::vector<std::string> Present, Absent;
    };
    const TCase cases[] = {
        {"good data", [] {}, "Verify", {"All 4 pieces match the data in " + Path("data") + "."}, {}},
        {"a flipped byte in b",
         [&] { Flip("data/b", 300000); },
         "Warning",
         {"The data in " + Path("data") + " does not match the torrent:", "damaged: b, bytes 162144-424287",
          "1 of 4 pieces do not match."},
         {"damaged: a", "damaged: c"}},
        {"c missing",
         [&] { fs::remove(Path("data/c")); },
         "Warning",
         {"damaged: b, bytes 162144-424287, 686432-699999", "missing: c", "2 of 4 pieces do not match."},
         {"damaged: a"}},
    };
    for (const auto& c : cases) {
      c.Damage();
      VerifyShows(c.Label, c.Caption, c.Present, c.Absent);
      if (QTest::currentTestFailed()) return;
    }
    QVERIFY(page_->isEnabled());

    // A single file lies in the folder picked.
    QDir(dir_->path()).mkdir(QStringLiteral("solo"));
    Write("solo/one.bin", Pattern(300000, 4));
    Open(MakeTorrent(Path("solo/one.bin"), "one.torrent"));
    QVERIFY(!page_->Torrent()->MultiFile);
    dialogs_->Boxes.clear();
    dialogs_->FolderAnswers = {Path("solo")};
    Button("btnVerifyData")->click();
    QCOMPARE(dialogs_->FolderStarts.back(), Path(""));  // the torrent's folder
    QCOMPARE(dialogs_->Boxes.at(0).Caption, std::string("Verify"));
    Flip("solo/one.bin", 5);
    dialogs_->Boxes.clear();
    dialogs_->FolderAnswers = {Path("solo")};
    Button("btnVerifyData")->click();
    QVERIFY2(dialogs_->Boxes.at(0).Text.find("damaged: one.bin, bytes 0-262143") != std::string::npos,
             dialogs_->Boxes.at(0).Text.c_str());
  }

  // A v2 torrent is checked piece by piece; a piece layer that does not
  // reduce to its root is named before the data, whose file is then checked
  // by its root.
  void verifyOfAV2TorrentAndALayerFault() {
    MakeDataTorrent();
    const std::string v2 = MakeTorrent(Path("data"), "v2.torrent", TMetaFormat::V2, 65536);
    std::string bytes = ReadWholeFile(v2);
    const std::string layer(LoadFile(v2)->PieceLayer(1));
    QCOMPARE(layer.size(), size_t(11 * 32));
    bytes[bytes.find(layer) + 100] ^= 1;
    const std::string fault = Write("fault.torrent", bytes);
    const std::string faultLine =
        "metadata fault: the piece layer of \"b\" does not reduce to its \"pieces root\" (b checked by its "
        "root "
        "alone)";

    struct TCase {
      const char* Label;
      std::string Torrent;
      std::function<void()> Damage;
      const char* Caption;
      std::vector<std::string> Present, Absent;
    };
    const TCase cases[] = {
        {"v2, good data", v2, [] {}, "Verify", {"All 14 pieces match the data in " + Path("data") + "."}, {}},
        {"v2, a flipped byte in b",
         v2,
         [&] { Flip("data/b", 300000); },
         "Warning",
         {"damaged: b, bytes 262144-327679", "1 of 14 pieces do not match."},
         {"damaged: a", "damaged: c", "metadata fault"}},
        {"layer fault, b damaged",
         fault,
         [] {},
         "Warning",
         {"The torrent itself is wrong:\n\n" + faultLine + "\n\nThe data in " + Path("data") +
              " does not match the torrent:",
          "damaged: b, bytes 0-699999", "11 of 14 pieces do not match."},
         {"damaged: a", "damaged: c"}},
        {"layer fault, good data",
         fault,
         [&] { Flip("data/b", 300000); },
         "Warning",
         {"The torrent itself is wrong:\n\n" + faultLine + "\n\nAll 14 pieces match the data in " +
          Path("data") + "."},
         {"damaged:"}},
    };
    std::string opened;
    for (const auto& c : cases) {
      Open(c.Torrent);
      QVERIFY2(page_->Torrent() && page_->Torrent()->Format() == TMetaFormat::V2, c.Label);
      // A torrent with a wrong layer loads, but not as a clean one. (Opened
      // again, the same path does not reload.)
      if (c.Torrent != opened)
        QCOMPARE(status_.last(), c.Torrent == fault
                                     ? QStringLiteral("Loading complete, but the torrent is damaged!")
                                     : QStringLiteral("Loading complete!"));
      opened = c.Torrent;
      c.Damage();
      VerifyShows(c.Label, c.Caption, c.Present, c.Absent);
      if (QTest::currentTestFailed()) return;
    }

    // A hybrid's v1 hash that disagrees with data its tree vouches for is the torrent's fault too.
    MakeDataTorrent();
    const std::string hybrid = MakeTorrent(Path("data"), "hybrid.torrent", TMetaFormat::Hybrid, 65536);
    bytes = ReadWholeFile(hybrid);
    // Piece 3's hash: pieces of the same bytes have the same one.
    const size_t pieces = bytes.find(':', bytes.find("6:pieces") + 8) + 1;
    bytes[pieces + 3 * 20 + 5] ^= 1;
    Open(Write("wrong.torrent", bytes));
    QCOMPARE(status_.last(), QStringLiteral("Loading complete!"));
    VerifyShows(
        "hybrid, a wrong v1 hash", "Warning",
        {"The torrent itself is wrong:\n\nmetadata fault: b: \"info.pieces\" disagrees with the file tree "
         "for piece 3, where the data matches the tree\n\nAll 14 pieces match the data in " +
         Path("data") + "."},
        {"damaged:"});
  }

  // In the window, a verify shows the progress window, and "Abort" stops it.
  void verifyWithTheProgressWindow() {
    TfrmQuorvane window(*dialogs_, {QStringLiteral("quorvane")});
    window.SetTrackerListUrls({"http://127.0.0.1:1/trackers.lst"});
    auto* page = window.tabViewTorrent->findChild<TViewEditPage*>();
    QDir(dir_->path()).mkdir(QStringLiteral("big"));
    Write("big/big.bin", Pattern(16 * 262144, 5));  // 16 pieces
    const auto torrent = MakeTorrent(Path("big"), "big.torrent");
    page->findChild<QLineEdit*>(QStringLiteral("txtTorrent"))->setText(QString::fromStdString(torrent));
    QVERIFY(page->Torrent());
    auto* verify = page->findChild<QPushButton*>(QStringLiteral("btnVerifyData"));
    TfrmProgress& progress = *window.frmProgress;

    dialogs_->FolderAnswers = {Path("big")};
    verify->click();
    QCOMPARE(dialogs_->Boxes.at(0).Caption, std::string("Verify"));
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.windowTitle(), QString::fromStdString("Verifying: " + Path("big")));
    QCOMPARE(progress.ProgressBar2->value(), progress.ProgressBar2->maximum());
    QVERIFY(progress.btnFinished->isEnabled() && !progress.btnAbort->isEnabled());

    int ticks = 0;
    bool pageWasDisabled = false;
    QTimer pump;  // runs only while the run lets events through
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      ++ticks;
      pageWasDisabled = pageWasDisabled || !page->isEnabled();
      if (ticks == 2) QTest::mouseClick(window.btnCreateTorrent, Qt::LeftButton);  // ignored meanwhile
      if (ticks == 3) QTest::mouseClick(progress.btnAbort, Qt::LeftButton);
    });
    dialogs_->Boxes.clear();
    dialogs_->FolderAnswers = {Path("big")};
    pump.start();
    verify->click();
    pump.stop();
    QVERIFY2(ticks >= 3, "the run never let events through");
    QVERIFY(pageWasDisabled);
    QVERIFY(page->isEnabled());
    QCOMPARE(dialogs_->Boxes.size(), size_t(1));
    QCOMPARE(dialogs_->Boxes[0].Text, std::string("Operation Aborted!"));
    QCOMPARE(dialogs_->Boxes[0].Caption, std::string("Abort"));
    QVERIFY(dialogs_->SaveRequests.empty());  // the create press did nothing

    // The next run starts with the flag cleared.
    dialogs_->Boxes.clear();
    dialogs_->FolderAnswers = {Path("big")};
    verify->click();
    QCOMPARE(dialogs_->Boxes.at(0).Caption, std::string("Verify"));
    progress.hide();
  }

  // The page inside the main window: its status bar, its back-up window and
  // its tracker list.
  void thePageLivesInTheMainWindow() {
    TfrmQuorvane window(*dialogs_, {QStringLiteral("quorvane")});
    // Nothing listens here, should the refresh fire.
    window.SetTrackerListUrls({"http://127.0.0.1:1/trackers.lst"});
    window.Trackers = {TTracker{"One", "http://one/announce", "", false}};
    auto* page = window.tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(page);
    const std::string head = Announce() + Str("announce-list") + "l" + "l" + Str("http://main/announce") +
                             "e" + "l" + Str("http://b1/announce") + "e" + "e";
    const auto file = Write("w.torrent", Torrent(head, MultiFile()));
    page->findChild<QLineEdit*>(QStringLiteral("txtTorrent"))->setText(QString::fromStdString(file));
    QVERIFY(page->Torrent());
    QCOMPARE(window.StatusText(), QStringLiteral("Loading complete!"));

    page->findChild<QPushButton*>(QStringLiteral("btnViewBackupTrackers"))->click();
    QVERIFY(window.frmBackup->isVisible());
    QCOMPARE(window.frmBackup->Backup.Entries,
             (std::vector<std::string>{"http://main/announce", "http://b1/announce"}));
    QCOMPARE(window.frmBackup->cmbTrackers->currentText(), QStringLiteral("One"));

    window.frmBackup->AssignEntries({"One", "http://b1/announce"});
    page->findChild<QPushButton*>(QStringLiteral("btnViewSave"))->click();
    QCOMPARE(window.StatusText(), QString::fromStdString(file) + QStringLiteral(" written sucessfully!"));
    QCOMPARE(LoadFile(file)->BackupTrackers(),
             (std::vector<std::string>{"http://main/announce", "http://one/announce", "http://b1/announce"}));
    window.frmBackup->hide();
  }
};

int main(int argc, char** argv) {
  // A fixed zone without daylight saving, so local times are known.
  qputenv("TZ", "QVT-3");
  ::tzset();
  QTemporaryDir home;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
  QFile::setPermissions(home.path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/cache")));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TViewEditPageTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ViewEditPageTest.moc"
