// The tracker list in the main window: the Qt event loop the download runs
// on, the refresh against a loopback list server, the tracker selection, the
// private tracker editor and the back-up tracker window. Offscreen; dialogs
// are answered by script.

#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "../support/QtTestEnvironment.h"
#include "../support/ScriptedDialogs.h"
#include "../support/UrlCatcher.h"
#include "../trackers/ListServer.h"
#include "app/BackupForm.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "app/QtEventLoop.h"
#include "app/QuorvaneApplication.h"
#include "app/ViewEditPage.h"
#include "base/ProfileFile.h"
#include "base/Stream.h"
#include "metainfo/TorrentFile.h"
#include "trackers/TrackerRefresh.h"

namespace fs = std::filesystem;

namespace {

TScriptedDialogs applicationDialogs;

// A list in the downloadable format.
std::string List(int version, const std::vector<TTracker>& entries,
                 const std::string& updateUrl = "http://update.test/") {
  std::string text =
      std::to_string(version) + "\r\n" + updateUrl + "\r\n" + std::to_string(entries.size()) + "\r\n";
  for (const TTracker& t : entries)
    text += t.Name + "\r\n" + t.Announce + "\r\n" + t.Webpage + "\r\n" + (t.Down ? "1" : "0") + "\r\n";
  return text;
}

const std::vector<TTracker> listA = {{"Alpha", "http://alpha.test/announce", "http://alpha.test/", false},
                                     {"Beta", "http://beta.test/announce", "ftp://beta.test/", true},
                                     {"Caf\xe9", "http://cafe.test/announce", "", false}};
const std::vector<TTracker> listB = {{"Fallback", "http://fallback.test/announce", "", false}};
const std::vector<TTracker> listC = {{"Cached", "http://cached.test/announce", "", false}};

TListServer::TRoute Answer(int status, std::string body) {
  return {.Status = status, .Body = std::move(body), .Location = "", .Silent = false};
}

std::vector<std::string> Items(const QComboBox* combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i) {
    const QVariant bytes = combo->itemData(i);
    items.push_back(bytes.isValid() ? bytes.toByteArray().toStdString() : combo->itemText(i).toStdString());
  }
  return items;
}

std::vector<std::string> Rows(const QListWidget* list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
  return rows;
}

int SelectedRow(const QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

}  // namespace

class TrackersGuiTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> work_;
  TScriptedDialogs dialogs_;
  std::unique_ptr<TListServer> server_;

  std::string Work(const std::string& relative) const { return work_->path().toStdString() + "/" + relative; }
  std::string CacheFile() const { return Work("cache/quorvane/trackers.lst"); }
  void WriteCache(const std::string& bytes) const {
    fs::create_directories(fs::path(CacheFile()).parent_path());
    WriteWholeFile(CacheFile(), bytes);
  }
  TProfileFile Ini() const { return TProfileFile(SettingsFileName()); }

  std::unique_ptr<TfrmQuorvane> NewWindow(std::vector<std::string> urls) {
    auto window = std::make_unique<TfrmQuorvane>(dialogs_, QStringList{QStringLiteral("quorvane")});
    window->SetTrackerListUrls(std::move(urls));
    return window;
  }
  std::unique_ptr<TfrmQuorvane> NewWindow(const std::string& path) {
    return NewWindow(std::vector<std::string>{server_->Url(path), server_->Url(path + ".2")});
  }
  // Runs one refresh now, as the timer does, and waits for it to end.
  static bool Refresh(TfrmQuorvane& window) {
    window.updateTimerTimer();
    return Settled(window);
  }
  // Waits until no refresh is armed or running; false after 20 s.
  static bool Settled(TfrmQuorvane& window) {
    QDeadlineTimer deadline(20000);
    auto busy = [&] {
      return window.updateTimer->isActive() || !window.Refresh() || window.Refresh()->Busy();
    };
    while (busy() && !deadline.hasExpired()) QTest::qWait(10);
    return !busy();
  }

 private slots:
  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Work("config")));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Work("cache")));
    dialogs_ = TScriptedDialogs();
    server_ = std::make_unique<TListServer>();
  }
  void cleanup() {
    server_.reset();
    work_.reset();
  }

  // ---- the event loop ----

  void eventLoopRunsPostedWorkInOrderAndReportsErrors() {
    TQtEventLoop loop;
    std::vector<std::string> reported;
    loop.OnHandlerException = [&](const std::exception& e) { reported.push_back(e.what()); };
    std::vector<int> ran;
    loop.Post([&] { ran.push_back(1); });
    loop.Post([] { throw std::runtime_error("handler failed"); });
    loop.Post([&] { ran.push_back(2); });
    // From another thread, too: the queue is the same.
    std::thread other([&] { loop.Post([&] { ran.push_back(3); }); });
    other.join();
    QVERIFY(loop.RunUntil([&] { return ran.size() == 3; }, std::chrono::seconds(10)));
    QCOMPARE(ran, (std::vector<int>{1, 2, 3}));
    QCOMPARE(reported, (std::vector<std::string>{"handler failed"}));
    QVERIFY(!loop.ProcessPending());
    loop.Post([] {});
    QVERIFY(loop.ProcessPending());
  }

  void eventLoopWatchesDescriptors() {
    TQtEventLoop loop;
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    std::vector<unsigned> seen;
    loop.Watch(fds[0], TEventLoop::FdRead, [&](unsigned events) {
      seen.push_back(events);
      char c;
      [[maybe_unused]] auto n = ::read(fds[0], &c, 1);
    });
    QVERIFY(!loop.RunUntil([&] { return !seen.empty(); }, std::chrono::milliseconds(50)));  // nothing to read
    QCOMPARE(::write(fds[1], "x", 1), ssize_t(1));
    QVERIFY(loop.RunUntil([&] { return seen.size() == 1; }, std::chrono::seconds(10)));
    QVERIFY(seen[0] & TEventLoop::FdRead);
    // Drained: no second delivery.
    QVERIFY(!loop.RunUntil([&] { return seen.size() > 1; }, std::chrono::milliseconds(50)));
    loop.Unwatch(fds[0]);
    QCOMPARE(::write(fds[1], "y", 1), ssize_t(1));
    QVERIFY(!loop.RunUntil([&] { return seen.size() > 1; }, std::chrono::milliseconds(50)));
    // The writer's end: ready at once; closing the reader shows as an error.
    bool writable = false;
    loop.Watch(fds[1], TEventLoop::FdWrite, [&](unsigned events) {
      writable = (events & TEventLoop::FdWrite) != 0;
      loop.Unwatch(fds[1]);  // a handler may end its own watch
    });
    QVERIFY(loop.RunUntil([&] { return writable; }, std::chrono::seconds(10)));
    ::close(fds[0]);
    ::close(fds[1]);
  }

  void eventLoopWaitEndsAtItsLimitOrAtQuit() {
    TQtEventLoop loop;
    const auto start = std::chrono::steady_clock::now();
    QVERIFY(!loop.RunUntil([] { return false; }, std::chrono::milliseconds(100)));
    QVERIFY(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(100));
    QTimer::singleShot(10, [&] { loop.Quit(); });
    QVERIFY(!loop.RunUntil([] { return false; }, TEventLoop::NoLimit));
    QVERIFY(loop.Quitting());
  }

  // ---- the refresh ----

  void refreshOutcomes() {
    const std::string html = "<html><body>Please log in</body></html>";
    const std::string cut = "208\r\nhttp://update.test/\r\n3\r\nAlpha\r\nhttp://alpha.test/announce\r\n";
    struct TRoute {
      int Status = 0;  // 0: no route (404)
      std::string Body;
    };
    struct TCase {
      const char* Name;
      TRoute Primary, Fallback;
      std::string Cache;  // empty: none
      std::vector<std::string> Captions;
      std::vector<std::string> Items;
      std::string CacheAfter;
      const char* Status;
    };
    const std::string a = List(208, listA), b = List(208, listB), c = List(208, listC);
    const std::vector<TCase> cases = {
        {.Name = "primary answers",
         .Primary = {200, a},
         .Fallback = {200, b},
         .Cache = c,
         .Captions = {},
         .Items = {"Alpha", "Beta", "Caf\xe9", "Mine"},
         .CacheAfter = a,
         .Status = "Tracker list loaded!"},
        {.Name = "fallback answers",
         .Primary = {},
         .Fallback = {200, b},
         .Cache = "",
         .Captions = {},
         .Items = {"Fallback", "Mine"},
         .CacheAfter = b,
         .Status = "Tracker list loaded!"},
        {.Name = "a portal page is no list",
         .Primary = {200, html},
         .Fallback = {200, b},
         .Cache = c,
         .Captions = {},
         .Items = {"Fallback", "Mine"},
         .CacheAfter = b,
         .Status = "Tracker list loaded!"},
        {.Name = "both fail, cache",
         .Primary = {500, "oops"},
         .Fallback = {},
         .Cache = c,
         .Captions = {"Warning"},
         .Items = {"Cached", "Mine"},
         .CacheAfter = c,
         .Status = "Tracker list loaded!"},
        {.Name = "a cut list keeps the cache",
         .Primary = {200, cut},
         .Fallback = {},
         .Cache = c,
         .Captions = {"Warning"},
         .Items = {"Cached", "Mine"},
         .CacheAfter = c,
         .Status = "Tracker list loaded!"},
        {.Name = "both fail, no cache",
         .Primary = {},
         .Fallback = {404, "gone"},
         .Cache = "",
         .Captions = {"Warning", "Error"},
         .Items = {},
         .CacheAfter = "",
         .Status = "Attempting to update tracker list..."},
    };
    int n = 0;
    for (const TCase& tc : cases) {
      const std::string path = "/" + std::to_string(n++) + "/torrent/trackers.lst";
      if (tc.Primary.Status) server_->Route(path, Answer(tc.Primary.Status, tc.Primary.Body));
      if (tc.Fallback.Status) server_->Route(path + ".2", Answer(tc.Fallback.Status, tc.Fallback.Body));
      fs::remove_all(Work("cache"));
      if (!tc.Cache.empty()) WriteCache(tc.Cache);
      if (tc.Cache.empty() && TTrackerCache::Installed().Exists())
        QSKIP("a tracker list is installed on this machine");
      Ini().WriteInteger("private", "count", 1);
      Ini().WriteString("private0", "name", "Mine");
      Ini().WriteString("private0", "announce", "http://mine.test/announce");
      dialogs_ = TScriptedDialogs();

      auto window = NewWindow(path);
      // The timer fires once, 500 ms after the window was made.
      QVERIFY2(Settled(*window), tc.Name);
      QVERIFY2(dialogs_.Captions() == tc.Captions, tc.Name);
      if (tc.Captions.size() == 2) {
        QCOMPARE(
            dialogs_.Boxes[0].Text,
            std::string("There was an error updating the tracker list, information may not be current!"));
        QCOMPARE(dialogs_.Boxes[1].Text,
                 std::string("No cached version of the tracker list could be found; you're on your own"));
      }
      QVERIFY2(Items(window->cmbAnnounceURL) == tc.Items, tc.Name);
      QVERIFY2(window->StatusText() == QLatin1String(tc.Status), tc.Name);
      QVERIFY2((fs::exists(CacheFile()) ? ReadWholeFile(CacheFile()) : std::string()) == tc.CacheAfter,
               tc.Name);
      QVERIFY2(server_->Hits(path) == 1, tc.Name);
      QVERIFY2(server_->Hits(path + ".2") == (tc.Name == std::string("primary answers") ? 0 : 1), tc.Name);
      // The remembered tracker (the prompt, on a first run) is put back.
      QVERIFY2(window->cmbAnnounceURL->currentText().isEmpty() &&
                   window->cmbAnnounceURL->lineEdit()->placeholderText() == QLatin1String(TrackerPrompt),
               tc.Name);
      QVERIFY2(window->lblStatus->text() == QLatin1String("Status: N/A"), tc.Name);
      QVERIFY2(!window->btnVisit->isEnabled(), tc.Name);
      QVERIFY2(!window->updateTimer->isActive(), tc.Name);
    }
  }

  void updatingSwitchedOffReadsTheCacheOnly() {
    // CR, LF and CR LF line ends and bytes after the entries: all kept as they were.
    const std::string cached =
        "208\rhttp://update.test/\n1\r\nOnly\nhttp://only.test/a\r\n\r\n0\r\ntrailing \xff\r\n";
    server_->Route("/off", Answer(200, List(208, listA)));
    Ini().WriteBool("settings", "noupdate", true);
    WriteCache(cached);
    auto window = NewWindow("/off");
    QVERIFY(window->chkNoUpdate->isChecked());
    QVERIFY(Refresh(*window));
    QCOMPARE(server_->TotalHits(), 0);
    QCOMPARE(ReadWholeFile(CacheFile()), cached);
    QCOMPARE(Items(window->cmbAnnounceURL), (std::vector<std::string>{"Only"}));
    QVERIFY(dialogs_.Boxes.empty());

    // No cache: only the "Error" box, and an empty selection.
    fs::remove(CacheFile());
    if (TTrackerCache::Installed().Exists()) QSKIP("a tracker list is installed on this machine");
    QVERIFY(Refresh(*window));
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{"Error"}));
    QCOMPARE(window->cmbAnnounceURL->count(), 0);
    QCOMPARE(server_->TotalHits(), 0);
  }

  void badCacheAndUnwritableCacheGoToTheGeneralErrorReport() {
    // A damaged cache (count 3, one entry) with updating off: the error report,
    // and the selection shows what was read before the fault.
    Ini().WriteBool("settings", "noupdate", true);
    WriteCache("208\r\nhttp://update.test/\r\n3\r\nFirst\r\nhttp://first.test/a\r\n\r\n0\r\nSecond\r\n");
    auto window = NewWindow("/unused");
    QVERIFY(Refresh(*window));
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{ApplicationTitle}));
    QCOMPARE(Items(window->cmbAnnounceURL), (std::vector<std::string>{"First"}));
    QCOMPARE(window->StatusText(), QStringLiteral("Attempting to update tracker list..."));

    // A cache folder that cannot be written: reported, the list not loaded.
    dialogs_ = TScriptedDialogs();
    server_->Route("/ok", Answer(200, List(208, listB)));
    fs::remove_all(Work("cache"));
    WriteWholeFile(Work("blocker"), "x");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Work("blocker")));
    auto blocked = NewWindow("/ok");
    blocked->chkNoUpdate->setChecked(false);
    QVERIFY(Refresh(*blocked));
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{ApplicationTitle}));
    QCOMPARE(blocked->cmbAnnounceURL->count(), 1);  // still the design's single item
    QCOMPARE(blocked->StatusText(), QStringLiteral("Attempting to update tracker list..."));
  }

  void versionCheck() {
    TUrlCatcher catcher;
    struct TCase {
      const char* Name;
      int Version;
      TMsgResult Answer;
      bool Asked;
      bool Opened;
    };
    for (const TCase& tc : {TCase{"208", 208, TMsgResult::Yes, false, false},
                            TCase{"209, No", 209, TMsgResult::No, true, false},
                            TCase{"209, Yes", 209, TMsgResult::Yes, true, true}}) {
      const std::string path = "/v" + std::to_string(tc.Version) + (tc.Answer == TMsgResult::Yes ? "y" : "n");
      server_->Route(path, Answer(200, List(tc.Version, listB, "http://update.test/get")));
      dialogs_ = TScriptedDialogs();
      dialogs_.Answer = tc.Answer;
      catcher.Opened.clear();
      auto window = NewWindow(path);
      QVERIFY(Refresh(*window));
      QVERIFY2(dialogs_.Boxes.size() == (tc.Asked ? 1u : 0u), tc.Name);
      if (tc.Asked) {
        QCOMPARE(dialogs_.Boxes[0].Text, std::string("A new version of Quorvane is afvailable! Update now?"));
        QCOMPARE(dialogs_.Boxes[0].Caption, std::string("Version Check"));
        QVERIFY(dialogs_.Boxes[0].Buttons == TMsgButtons::YesNo);
      }
      QVERIFY2(catcher.Opened == (tc.Opened ? QList<QUrl>{QUrl("http://update.test/get")} : QList<QUrl>{}),
               tc.Name);
      // Either answer: the list is loaded.
      QVERIFY2(Items(window->cmbAnnounceURL) == std::vector<std::string>{"Fallback"}, tc.Name);
    }
  }

  void selectionResolvesNamesAndRemembersTheTracker() {
    TUrlCatcher catcher;
    server_->Route("/sel", Answer(200, List(208, listA)));
    Ini().WriteString("memory", "tracker", "Beta");
    auto window = NewWindow("/sel");
    QVERIFY(Refresh(*window));
    QCOMPARE(window->cmbAnnounceURL->currentText(), QStringLiteral("Beta"));
    QCOMPARE(window->lblURL->text(), QStringLiteral("URL: http://beta.test/announce"));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: *DOWN*"));
    QVERIFY(window->btnVisit->isEnabled());
    // Beta's home page is no web address: Visit opens nothing.
    QTest::mouseClick(window->btnVisit, Qt::LeftButton);
    QVERIFY(catcher.Opened.isEmpty());

    struct TCase {
      QString Typed;
      const char* Url;
      const char* Status;
      bool Visit;
    };
    for (const TCase& tc :
         {TCase{"Alpha", "URL: http://alpha.test/announce", "Status: UP", true},
          TCase{"alpha", "URL: alpha", "Status: N/A", false},
          TCase{"udp://typed.test:80 ", "URL: udp://typed.test:80 ", "Status: N/A", false}}) {
      window->cmbAnnounceURL->setEditText(tc.Typed);
      QCOMPARE(window->lblURL->text(), QLatin1String(tc.Url));
      QCOMPARE(window->lblStatus->text(), QLatin1String(tc.Status));
      QCOMPARE(window->btnVisit->isEnabled(), tc.Visit);
    }
    // A name that is not UTF-8 is looked up by its own bytes.
    window->cmbAnnounceURL->setCurrentIndex(2);
    QCOMPARE(window->TrackerTextBytes(), std::string("Caf\xe9"));
    QCOMPARE(window->lblURL->text(), QStringLiteral("URL: http://cafe.test/announce"));

    window->cmbAnnounceURL->setEditText(QStringLiteral("Alpha"));
    QTest::mouseClick(window->btnVisit, Qt::LeftButton);
    QCOMPARE(catcher.Opened, (QList<QUrl>{QUrl("http://alpha.test/")}));

    // Every refresh puts the remembered tracker back, "Save Now" too...
    QTest::mouseClick(window->btnSaveSettings, Qt::LeftButton);
    QVERIFY(window->updateTimer->isActive());
    QVERIFY(Settled(*window));
    QCOMPARE(server_->Hits("/sel"), 2);
    QCOMPARE(window->cmbAnnounceURL->currentText(), QStringLiteral("Beta"));
    // ...unless remembering is off.
    window->chkRememberTracker->setChecked(false);
    window->cmbAnnounceURL->setEditText(QStringLiteral("Alpha"));
    QVERIFY(Refresh(*window));
    QCOMPARE(window->cmbAnnounceURL->currentText(), QStringLiteral("Alpha"));

    // Closing remembers a listed name by its bytes.
    window->chkRememberTracker->setChecked(true);
    window->cmbAnnounceURL->setCurrentIndex(2);
    QVERIFY(window->close());
    QCOMPARE(Ini().ReadString("memory", "tracker", ""), std::string("Caf\xe9"));
    QVERIFY(dialogs_.Boxes.empty());
  }

  // A list that could not be downloaded is as old as its cache: it says
  // nothing of a tracker being up now, though "down" still asks.
  void offlineListShowsNoTrackerUp() {
    server_->Route("/off/list", Answer(404, "gone"));
    server_->Route("/off/list.2", Answer(503, "busy"));
    WriteCache(List(208, listA));
    Ini().WriteString("memory", "tracker", "Alpha");
    auto window = NewWindow("/off/list");
    QVERIFY(Refresh(*window));
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{"Warning"}));
    // The remembered tracker, and those chosen afterwards.
    QCOMPARE(window->cmbAnnounceURL->currentText(), QStringLiteral("Alpha"));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: N/A (offline)"));
    window->cmbAnnounceURL->setEditText(QStringLiteral("Beta"));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: *DOWN*"));
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://typed.test/announce"));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: N/A"));
    // Back online, the list's marks count again, also for the tracker shown.
    window->cmbAnnounceURL->setEditText(QStringLiteral("Alpha"));
    server_->Route("/off/list", Answer(200, List(208, listA)));
    QVERIFY(Refresh(*window));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: UP"));
  }

  void downTrackerIsConfirmedAgainstTheLoadedList() {
    server_->Route("/down", Answer(200, List(208, listA)));
    Ini().WriteBool("settings", "remembertracker", false);
    const std::string source = Work("data/file.bin");
    fs::create_directories(Work("data"));
    WriteWholeFile(source, "payload");
    auto window = NewWindow("/down");
    // Typed before the list arrived: the label still says N/A afterwards.
    window->cmbAnnounceURL->setEditText(QStringLiteral("Beta"));
    QVERIFY(Refresh(*window));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: N/A"));
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(source));
    dialogs_.Answer = TMsgResult::No;
    dialogs_.SaveAnswers.push_back(Work("down.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{"Question"}));
    QCOMPARE(dialogs_.Boxes[0].Text, std::string("Tracker may be down; are you sure you want to continue?"));
    QVERIFY(!fs::exists(Work("down.torrent")));
    QCOMPARE(window->lblStatus->text(), QStringLiteral("Status: *DOWN*"));
  }

  void closingDuringADownload() {
    server_->Route("/slow", {.Status = 200, .Body = "", .Location = "", .Silent = true});
    auto window = NewWindow("/slow");
    window->updateTimerTimer();
    QTRY_COMPARE_WITH_TIMEOUT(server_->Hits("/slow"), 1, 10000);
    QVERIFY(window->Refresh()->Busy());
    // "Save Now" meanwhile: queued behind the running refresh, no second request.
    QTest::mouseClick(window->btnSaveSettings, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window->Refresh()->Queued(), 10000);
    QCOMPARE(server_->Hits("/slow"), 1);
    QVERIFY(window->close());
    window.reset();
    QTest::qWait(50);
    QVERIFY(dialogs_.Boxes.empty());
  }

  void privateTrackerEditor() {
    server_->Route("/priv", Answer(200, List(208, listB)));
    Ini().WriteInteger("private", "count", 1);
    Ini().WriteString("private0", "name", "Caf\xe9");
    Ini().WriteString("private0", "announce", "http://cafe.private/announce");
    auto window = NewWindow("/priv");
    QVERIFY(Refresh(*window));
    QCOMPARE(Items(window->cmbAnnounceURL), (std::vector<std::string>{"Fallback", "Caf\xe9"}));
    window->PageControl1->setCurrentIndex(2);

    // Both fields are needed.
    QTest::mouseClick(window->btnPrivateAddModify, Qt::LeftButton);
    window->txtPrivateName->setText(QStringLiteral("Home"));
    QCOMPARE(window->btnPrivateAddModify->text(), QStringLiteral("Add"));
    QTest::mouseClick(window->btnPrivateAddModify, Qt::LeftButton);
    QCOMPARE(dialogs_.Boxes.size(), size_t(2));
    QCOMPARE(dialogs_.Boxes[0].Text, std::string("Please enter tracker name!"));
    QCOMPARE(dialogs_.Boxes[1].Text, std::string("Please enter tracker announce URL!"));
    QCOMPARE(dialogs_.Captions(), (std::vector<std::string>{"Error", "Error"}));
    QCOMPARE(window->lstPrivateTrackers->count(), 1);

    // Add.
    window->txtPrivateAnnounce->setText(QStringLiteral("http://home.test/announce"));
    QTest::mouseClick(window->btnPrivateAddModify, Qt::LeftButton);
    QCOMPARE(window->lstPrivateTrackers->count(), 2);
    QCOMPARE(window->lstPrivateTrackers->item(1)->text(), QStringLiteral("Home"));
    QCOMPARE(window->btnPrivateAddModify->text(), QStringLiteral("Modify"));
    QCOMPARE(window->PrivateTrackers.back().Announce, std::string("http://home.test/announce"));
    // Not in the selection before the next parse.
    QCOMPARE(window->cmbAnnounceURL->count(), 2);

    // Clicking an entry fills the boxes; Modify changes the record in place.
    window->lstPrivateTrackers->setCurrentRow(0);
    QVERIFY(window->btnPrivateDelete->isEnabled());
    QCOMPARE(window->txtPrivateAnnounce->text(), QStringLiteral("http://cafe.private/announce"));
    QCOMPARE(window->btnPrivateAddModify->text(), QStringLiteral("Modify"));
    window->txtPrivateWebsite->setText(QStringLiteral("http://cafe.private/"));
    QTest::mouseClick(window->btnPrivateAddModify, Qt::LeftButton);
    QCOMPARE(window->PrivateTrackers.size(), size_t(2));
    QCOMPARE(window->PrivateTrackers[0].Name, std::string("Caf\xe9"));  // its bytes kept
    QCOMPARE(window->PrivateTrackers[0].Webpage, std::string("http://cafe.private/"));
    QCOMPARE(Rows(window->lstPrivateTrackers)[1], std::string("Home"));

    // Delete: the selected entry and its record; the button goes grey again.
    window->lstPrivateTrackers->setCurrentRow(1);
    QCOMPARE(window->txtPrivateName->text(), QStringLiteral("Home"));
    QTest::mouseClick(window->btnPrivateDelete, Qt::LeftButton);
    QCOMPARE(window->lstPrivateTrackers->count(), 1);
    QCOMPARE(window->PrivateTrackers.size(), size_t(1));
    QVERIFY(!window->btnPrivateDelete->isEnabled());
    // Added again, it goes to the end; "Save Now" brings it into the selection.
    window->txtPrivateAnnounce->setText(QStringLiteral("http://home2.test/announce"));
    QTest::mouseClick(window->btnPrivateAddModify, Qt::LeftButton);
    QCOMPARE(Rows(window->lstPrivateTrackers).back(), std::string("Home"));
    QTest::mouseClick(window->btnSaveSettings, Qt::LeftButton);
    QVERIFY(Settled(*window));
    QCOMPARE(Items(window->cmbAnnounceURL), (std::vector<std::string>{"Fallback", "Caf\xe9", "Home"}));
    window->cmbAnnounceURL->setCurrentIndex(2);
    QCOMPARE(window->lblURL->text(), QStringLiteral("URL: http://home2.test/announce"));
    QCOMPARE(Ini().ReadString("private0", "name", ""), std::string("Caf\xe9"));
    QCOMPARE(Ini().ReadString("private1", "announce", ""), std::string("http://home2.test/announce"));
    QCOMPARE(dialogs_.Boxes.size(), size_t(2));
  }

  void backupWindow() {
    const std::vector<TTracker> list = {{"Alpha", "http://a.test/announce", "", false},
                                        {"Beta", "http://b.test/announce", "", false},
                                        {"ALPHA", "http://a2.test/announce", "", false},
                                        {"Gamma", "http://a.test/announce", "", false}};
    server_->Route("/bk", Answer(200, List(208, list)));
    auto window = NewWindow("/bk");
    TfrmBackup& backup = *window->frmBackup;
    QCOMPARE(backup.windowTitle(), QStringLiteral("Back-up Tracker Selection"));
    QCOMPARE(backup.size(), QSize(478, 204));
    QVERIFY(backup.lblNote->wordWrap());
    QVERIFY(backup.lblNote->text().endsWith(QStringLiteral(
        "Trackers from above will be tried in the order they are listed if the main tracker fails.")));
    QVERIFY(!backup.cmbTrackers->isEditable());

    QTest::mouseClick(window->chkBackup, Qt::LeftButton);
    QVERIFY(window->btnBackup->isEnabled());
    // Before any list: nothing to choose, and Add does nothing.
    window->updateTimer->stop();
    QTest::mouseClick(window->btnBackup, Qt::LeftButton);
    QVERIFY(backup.isVisible() && !backup.isModal());
    QCOMPARE(backup.cmbTrackers->count(), 0);
    QTest::mouseClick(backup.btnAdd, Qt::LeftButton);
    QCOMPARE(backup.lstBackup->count(), 0);
    QTest::mouseClick(backup.btnOk, Qt::LeftButton);
    QVERIFY(!backup.isVisible());

    QVERIFY(Refresh(*window));
    QTest::mouseClick(window->btnBackup, Qt::LeftButton);
    QCOMPARE(Items(backup.cmbTrackers), (std::vector<std::string>{"Alpha", "Beta", "ALPHA", "Gamma"}));
    QCOMPARE(backup.cmbTrackers->currentIndex(), 0);
    auto add = [&](int index) {
      backup.cmbTrackers->setCurrentIndex(index);
      QTest::mouseClick(backup.btnAdd, Qt::LeftButton);
    };
    add(0);
    add(0);  // once only
    add(2);  // letter case does not count
    add(1);
    add(3);
    QCOMPARE(Rows(backup.lstBackup), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));

    struct TStep {
      const char* Name;
      int Select;  // -1: clear the selection
      QPushButton* TfrmBackup::*Button;
      std::vector<std::string> Rows;
      int Selected;
    };
    const std::vector<TStep> steps = {
        {"Up with nothing selected", -1, &TfrmBackup::btnUp, {"Alpha", "Beta", "Gamma"}, -1},
        {"Dn with nothing selected", -1, &TfrmBackup::btnDown, {"Alpha", "Beta", "Gamma"}, -1},
        {"Up on the first", 0, &TfrmBackup::btnUp, {"Alpha", "Beta", "Gamma"}, 0},
        {"Dn on the first", 0, &TfrmBackup::btnDown, {"Beta", "Alpha", "Gamma"}, 1},
        {"Dn on the last", 2, &TfrmBackup::btnDown, {"Beta", "Alpha", "Gamma"}, 2},
        {"Up on the last", 2, &TfrmBackup::btnUp, {"Beta", "Gamma", "Alpha"}, 1},
        {"Remove", 1, &TfrmBackup::btnRemove, {"Beta", "Alpha"}, -1},
        {"Remove with nothing selected", -1, &TfrmBackup::btnRemove, {"Beta", "Alpha"}, -1},
    };
    for (const TStep& step : steps) {
      backup.lstBackup->clearSelection();
      if (step.Select >= 0) backup.lstBackup->setCurrentRow(step.Select);
      QTest::mouseClick(backup.*(step.Button), Qt::LeftButton);
      QVERIFY2(Rows(backup.lstBackup) == step.Rows, step.Name);
      QVERIFY2(SelectedRow(backup.lstBackup) == step.Selected, step.Name);
      QVERIFY2(backup.Backup.Selected == step.Selected, step.Name);
    }
    QTest::mouseClick(backup.btnOk, Qt::LeftButton);
    QVERIFY(!backup.isVisible());

    // The View/Edit page fills the list with a metainfo's URLs; they stay for
    // the next creation, beside names that resolve and one that vanished.
    const TBackupListAccess access = window->BackupListAccess();
    access.ShowWithLines({"udp://kept.test:80/announce", "Beta", "Gone", "Alpha", "Gamma"});
    QVERIFY(backup.isVisible());
    QCOMPARE(access.Lines().size(), size_t(5));
    QCOMPARE(access.LookupAnnounceURL("ALPHA"), std::string("http://a2.test/announce"));
    QCOMPARE(access.LookupAnnounceURL("alpha"), std::string());
    QTest::mouseClick(backup.btnOk, Qt::LeftButton);
    const std::vector<std::string> resolved = {"udp://kept.test:80/announce", "http://b.test/announce",
                                               "Gone", "http://a.test/announce", "http://a.test/announce"};
    QCOMPARE(window->ResolveBackupTrackers(), resolved);

    const std::string source = Work("data/file.bin");
    fs::create_directories(Work("data"));
    WriteWholeFile(source, std::string(70000, 'q'));
    const std::string output = Work("file.torrent");
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(source));
    window->cmbAnnounceURL->setEditText(QStringLiteral("Alpha"));
    dialogs_.SaveAnswers.push_back(output);
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    QVERIFY(dialogs_.Boxes.empty());
    TTorrentFile torrent;
    TMemoryStream stream(ReadWholeFile(output));
    torrent.LoadFromStream(stream);
    QCOMPARE(torrent.Announce(), std::string("http://a.test/announce"));
    // Tiers: the main tracker, then each back-up URL that differs from it.
    QCOMPARE(torrent.BackupTrackers(),
             (std::vector<std::string>{"http://a.test/announce", "udp://kept.test:80/announce",
                                       "http://b.test/announce", "Gone"}));
    QCOMPARE(access.Lines().size(), size_t(5));  // creating reads the list, nothing more

    // Unchecked: no back-up trackers.
    QTest::mouseClick(window->chkBackup, Qt::LeftButton);
    QVERIFY(!window->btnBackup->isEnabled());
    QTest::mouseClick(window->frmProgress->btnFinished, Qt::LeftButton);
    dialogs_.SaveAnswers.push_back(output);
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    TTorrentFile plain;
    TMemoryStream plainStream(ReadWholeFile(output));
    plain.LoadFromStream(plainStream);
    QVERIFY(plain.BackupTrackers().empty());
  }
};

int main(int argc, char** argv) {
  TQtTestEnvironment environment(false);  // the tests point the cache at their own folders
  TQuorvaneApplication app(argc, argv, applicationDialogs);
  TrackersGuiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TrackersGuiTest.moc"
