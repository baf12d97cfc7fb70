// The windows as a desktop user meets them: they fit the system font, the
// progress window stays up during a run, a .torrent given on the command
// line opens, the keyboard reaches every control, and German is spoken under
// a German locale.

#include <sys/stat.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "../support/PatternFile.h"
#include "../support/QtTestEnvironment.h"
#include "../support/ScriptedDialogs.h"

#include "app/BackupForm.h"
#include "app/DirectoryListBox.h"
#include "app/DriveComboBox.h"
#include "app/ElidedLabel.h"
#include "app/FileListBox.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "app/QtDialogs.h"
#include "app/QuorvaneApplication.h"
#include "app/TorrentFileList.h"
#include "app/ViewEditPage.h"

namespace fs = std::filesystem;

namespace {

TScriptedDialogs applicationDialogs;

// Every text-showing control of window that is on screen now and shows less
// than its text needs, or sticks out of the window.
QStringList ClippedControls(QWidget* window) {
  QStringList clipped;
  const QRect inside = window->rect();
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->window() != window) continue;
    auto* label = qobject_cast<QLabel*>(w);
    if (!label && !qobject_cast<QAbstractButton*>(w)) continue;
    if (qobject_cast<QToolButton*>(w)) continue;  // the tab bars' own buttons, checked apart
    if (label && label->text().isEmpty()) continue;
    const QSize need = label && label->wordWrap() ? w->minimumSizeHint() : w->sizeHint();
    const QRect where(w->mapTo(window, QPoint(0, 0)), w->size());
    const QString name =
        w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (w->width() < need.width() || w->height() < need.height())
      clipped << QStringLiteral("%1 \"%2\" %3x%4 < %5x%6")
                     .arg(name, label ? label->text() : static_cast<QAbstractButton*>(w)->text())
                     .arg(w->width())
                     .arg(w->height())
                     .arg(need.width())
                     .arg(need.height());
    else if (!inside.contains(where))
      clipped << QStringLiteral("%1 outside the window").arg(name);
  }
  return clipped;
}

// A tab bar that needs scroll arrows hides some of its tabs.
bool ShowsEveryTab(const QTabWidget* tabs) {
  const QTabBar* bar = tabs->tabBar();
  for (const QToolButton* b : bar->findChildren<QToolButton*>())
    if (b->isVisible()) return false;
  return bar->tabRect(bar->count() - 1).right() < bar->width();
}

// Takes back what InstallTranslators gave the application.
void RemoveTranslators(const std::vector<QTranslator*>& translators) {
  for (QTranslator* translator : translators) {
    QCoreApplication::removeTranslator(translator);
    std::unique_ptr<QTranslator> owned(translator);
  }
}

// The Alt key a control's text gives it: the character after a single "&".
QChar MnemonicOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    return text[i + 1].toLower();
  }
  return {};
}

// Alt keys that more than one visible control of window answers to: such a
// key only moves the focus between them, and presses none.
QStringList MnemonicClashes(QWidget* window) {
  QMap<QChar, QStringList> owners;
  auto add = [&](const QString& text, const QString& who) {
    if (const QChar key = MnemonicOf(text); !key.isNull()) owners[key] << who;
  };
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->window() != window) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(w))
      add(button->text(), w->objectName());
    else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy())
      add(label->text(), label->buddy()->objectName());
    else if (auto* group = qobject_cast<QGroupBox*>(w); group && group->isCheckable())
      add(group->title(), w->objectName());
    else if (auto* bar = qobject_cast<QTabBar*>(w))
      for (int tab = 0; tab < bar->count(); ++tab) add(bar->tabText(tab), bar->tabText(tab));
  }
  QStringList clashes;
  for (auto it = owners.cbegin(); it != owners.cend(); ++it)
    if (it.value().size() > 1)
      clashes << QStringLiteral("Alt+%1: %2").arg(it.key().toUpper(), it.value().join(QStringLiteral(", ")));
  return clashes;
}

// The rows of a test that runs once in English and once in German.
void LanguageRows() {
  QTest::addColumn<bool>("german");
  QTest::newRow("English") << false;
  QTest::newRow("German") << true;
}

// German for the length of a test, when asked: the translations and the
// default locale; both are put back at the end.
class TTestLanguage {
 public:
  explicit TTestLanguage(bool german)
      : translators_(german ? InstallTranslators(QLocale(QLocale::German, QLocale::Germany))
                            : std::vector<QTranslator*>()) {
    if (german) QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  ~TTestLanguage() {
    RemoveTranslators(translators_);
    QLocale::setDefault(locale_);
  }
  TTestLanguage(const TTestLanguage&) = delete;
  TTestLanguage& operator=(const TTestLanguage&) = delete;
  bool Installed() const { return !translators_.empty(); }

 private:
  QLocale locale_;
  std::vector<QTranslator*> translators_;
};

// The font sizes and languages the windows are checked at.
void AddFontSizeRows() {
  QTest::addColumn<int>("points");
  QTest::addColumn<bool>("german");  // longer texts
  for (int points : {9, 11, 12}) QTest::addRow("%d pt", points) << points << false;
  for (int points : {9, 12}) QTest::addRow("%d pt, German", points) << points << true;
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> work_;
  TScriptedDialogs dialogs_;
  QFont originalFont_;

  std::string Work(const std::string& relative = "") const {
    const std::string root = work_->path().toStdString();
    return relative.empty() ? root : root + "/" + relative;
  }
  // A small single-file torrent named "a.txt".
  std::string WriteTorrent(const std::string& relative) const {
    const std::string path = Work(relative);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        << "d8:announce17:http://t.test/ann4:infod6:lengthi5e4:name5:a.txt12:piece lengthi16384e"
           "6:pieces20:01234567890123456789ee";
    return path;
  }
  std::unique_ptr<TfrmQuorvane> NewWindow(const QStringList& arguments = {QStringLiteral("quorvane")}) {
    auto window = std::make_unique<TfrmQuorvane>(dialogs_, arguments);
    window->SetTrackerListUrls({});  // no network: the refresh falls back at once
    return window;
  }
  // A window whose create hashes one file of 16 pieces (16 pumps) in folder.
  std::unique_ptr<TfrmQuorvane> WindowCreatingBigFile(const std::string& folder) {
    WriteFile(Work(folder) + "/big.bin", 16 * 262144);
    auto window = NewWindow();
    window->DirectoryListBox1->SetDirectory(Work(folder));
    window->FileListBox1->item(0)->setSelected(true);
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    return window;
  }

 private slots:
  void initTestCase() { originalFont_ = QApplication::font(); }
  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Work("config")));
    dialogs_ = TScriptedDialogs();
  }
  void cleanup() {
    QApplication::setFont(originalFont_);
    work_.reset();
  }

  // Hidden during a run, the window would leave "Abort" out of reach while
  // the run goes on; afterwards Escape and close mean "Finished".
  void progressWindowStaysUpDuringARun() {
    auto window = WindowCreatingBigFile("run");
    dialogs_.SaveAnswers.push_back(Work("run.torrent"));
    TfrmProgress& progress = *window->frmProgress;

    int ticks = 0;
    bool visibleAfterEscape = false, visibleAfterClose = false;
    QTimer pump;  // runs only while the hashing lets events through
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      if (++ticks != 2) return;
      QTest::keyClick(&progress, Qt::Key_Escape);
      visibleAfterEscape = progress.isVisible();
      progress.close();
      visibleAfterClose = progress.isVisible();
    });
    pump.start();
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    pump.stop();
    QVERIFY2(ticks >= 2, "the run never let events through");
    QVERIFY(visibleAfterEscape);
    QVERIFY(visibleAfterClose);
    QVERIFY(fs::exists(Work("run.torrent")));

    // Done: Escape hides the window, as "Finished" does; so does close after the next run.
    QVERIFY(progress.isVisible() && progress.btnFinished->isEnabled());
    QTest::keyClick(&progress, Qt::Key_Escape);
    QVERIFY(!progress.isVisible());
    dialogs_.SaveAnswers.push_back(Work("again.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    QVERIFY(progress.isVisible());
    QVERIFY(progress.close());
    QVERIFY(!progress.isVisible());
  }

  // A run takes the keyboard, also when the window is open from an earlier
  // one, so Alt+A aborts; Return presses "Finished" once it is offered.
  void progressWindowTakesTheKeyboard() {
    auto window = WindowCreatingBigFile("keys");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    TfrmProgress& progress = *window->frmProgress;

    dialogs_.SaveAnswers.push_back(Work("first.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    QVERIFY(fs::exists(Work("first.torrent")));
    QVERIFY(progress.isVisible());
    QCOMPARE(QApplication::focusWidget(), progress.btnFinished);
    // The user goes back to the main window; the progress window stays open.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    int ticks = 0;
    QWidget* active = nullptr;
    QWidget* focused = nullptr;
    bool abortPressed = false;
    QTimer pump;  // runs only while the hashing lets events through
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      if (++ticks != 2) return;
      active = QApplication::activeWindow();
      focused = QApplication::focusWidget();
      if (active) QTest::keyClick(active, Qt::Key_A, Qt::AltModifier);
      // A mnemonic clicks its button a moment later: the run waits for it here.
      abortPressed = QTest::qWaitFor([&] { return window->AbortRequested; }, 10000);
    });
    pump.start();
    dialogs_.SaveAnswers.push_back(Work("second.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    pump.stop();
    QVERIFY2(ticks >= 2, "the run never let events through");
    QCOMPARE(active, static_cast<QWidget*>(&progress));
    QCOMPARE(focused, progress.btnAbort);
    QVERIFY(abortPressed);
    QVERIFY(!fs::exists(Work("second.torrent")));
    QCOMPARE(dialogs_.Boxes.back().Text, std::string("Operation Aborted!"));

    // Done: the focus is on "Finished", and Return presses it.
    QVERIFY(progress.isVisible() && progress.btnFinished->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!progress.isVisible());
    // Return presses "Finished" as the default button too, wherever the focus is.
    progress.show();
    progress.btnAbort->setEnabled(false);
    progress.setFocus();
    QTest::keyClick(&progress, Qt::Key_Return);
    QVERIFY(!progress.isVisible());
  }

  // After the box with a verify's result the progress window has the keyboard
  // again, so Escape or Return closes it as after a creation.
  void verifyHandsTheKeyboardBack() {
    const std::string path = WriteTorrent("verify/single.torrent");
    std::ofstream(Work("verify/a.txt"), std::ios::binary) << "hello";
    auto window = NewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->OpenTorrent(path);
    // The box is modal over the main window, which has the keyboard while it is open.
    dialogs_.WhileOpen = [&] { window->activateWindow(); };
    dialogs_.FolderAnswers.push_back(Work("verify"));
    auto* verify = window->tabViewTorrent->findChild<QPushButton*>(QStringLiteral("btnVerifyData"));
    QTest::mouseClick(verify, Qt::LeftButton);
    QCOMPARE(dialogs_.Boxes.size(), size_t(1));  // the pieces are made up: a warning
    TfrmProgress& progress = *window->frmProgress;
    QVERIFY(progress.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&progress));
    QCOMPARE(QApplication::focusWidget(), progress.btnFinished);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!progress.isVisible());
  }

  // After "Operation Aborted!" the progress window has the keyboard again,
  // says the run was aborted instead of a time left, and Escape closes it.
  void abortHandsTheKeyboardBack() {
    auto window = WindowCreatingBigFile("abort");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    TfrmProgress& progress = *window->frmProgress;
    // The box is modal over the main window, which has the keyboard while it is open.
    dialogs_.WhileOpen = [&] { window->activateWindow(); };
    int ticks = 0;
    QTimer pump;  // runs only while the hashing lets events through
    pump.setInterval(0);
    connect(&pump, &QTimer::timeout, this, [&] {
      if (++ticks == 2) QTest::mouseClick(progress.btnAbort, Qt::LeftButton);
    });
    pump.start();
    dialogs_.SaveAnswers.push_back(Work("aborted.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    pump.stop();
    QVERIFY2(ticks >= 2, "the run never let events through");
    QCOMPARE(dialogs_.Boxes.back().Text, std::string("Operation Aborted!"));
    QVERIFY(!fs::exists(Work("aborted.torrent")));
    QVERIFY(progress.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&progress));
    QCOMPARE(QApplication::focusWidget(), progress.btnFinished);
    QCOMPARE(progress.lblRate->text(), QStringLiteral("Aborted"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!progress.isVisible());
  }

  // Return in a question gives its default answer; the info-hash question's is No.
  void questionsAnswerTheirDefaultOnReturn_data() {
    QTest::addColumn<bool>("defaultNo");
    QTest::newRow("Yes/No") << false;
    QTest::newRow("Yes/No, default No") << true;
  }
  void questionsAnswerTheirDefaultOnReturn() {
    QFETCH(bool, defaultNo);
    TQtDialogs dialogs;
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = true;
      QTest::keyClick(box, Qt::Key_Return);
    });
    const TMsgResult result = dialogs.MessageBox(
        "Save anyway?", "Question", defaultNo ? TMsgButtons::YesNoDefaultNo : TMsgButtons::YesNo);
    QVERIFY(seen);
    QVERIFY(result == (defaultNo ? TMsgResult::No : TMsgResult::Yes));
  }

  // "quorvane FILE.torrent", as a file manager's "Open with" starts it.
  void torrentOnTheCommandLineOpens_data() {
    QTest::addColumn<QStringList>("arguments");  // %1 stands for the file
    QTest::addColumn<bool>("loads");
    QTest::newRow("alone") << QStringList{"quorvane", "%1"} << true;
    QTest::newRow("after -autosize") << QStringList{"quorvane", "-autosize", "%1"} << true;
    QTest::newRow("as a file URL") << QStringList{"quorvane", "file://%1"} << true;
    QTest::newRow("missing") << QStringList{"quorvane", "%1.gone"} << false;
    QTest::newRow("an option") << QStringList{"quorvane", "-AUTOSIZE"} << false;
    QTest::newRow("a folder") << QStringList{"quorvane", "/"} << false;
  }
  void torrentOnTheCommandLineOpens() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, loads);
    const std::string path = WriteTorrent("cli/single.torrent");
    for (QString& argument : arguments) argument.replace(QLatin1String("%1"), QString::fromStdString(path));
    auto window = NewWindow(arguments);
    // Only an existing file switches to the View/Edit page.
    QCOMPARE(window->PageControl1->currentWidget(), loads ? window->tabViewTorrent : window->tabCreate);
    const auto* page = window->tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(dialogs_.Boxes.empty());
    if (!loads) {
      QVERIFY(!page->Torrent());
      QVERIFY2(window->StatusText().contains(arguments.last()), qPrintable(window->StatusText()));
      return;
    }
    QVERIFY(page->Torrent());
    QCOMPARE(page->Torrent()->Name, std::string("a.txt"));
    QCOMPARE(page->LoadedPath(), path);
  }

  void withoutAFileTheCreatePageShows() {
    auto window = NewWindow({QStringLiteral("quorvane"), QStringLiteral("-autosize")});
    QCOMPARE(window->PageControl1->currentIndex(), 0);
    QVERIFY(!window->tabViewTorrent->findChild<TViewEditPage*>()->Torrent());
  }

  // One .torrent dropped anywhere on the window opens on the View/Edit page;
  // on the "Create Torrent" page too, where other files are taken for hashing.
  void droppedTorrentOpens_data() {
    QTest::addColumn<int>("page");
    for (int page : {0, 1, 2}) QTest::addRow("page %d", page) << page;
  }
  void droppedTorrentOpens() {
    QFETCH(int, page);
    const std::string path = WriteTorrent("drop/single.torrent");
    auto window = NewWindow();
    window->PageControl1->setCurrentIndex(page);
    QWidget* target = page == 0 ? window->tabCreate : static_cast<QWidget*>(window.get());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QCOMPARE(window->PageControl1->currentWidget(), window->tabViewTorrent);
    const auto* viewEdit = window->tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(viewEdit->Torrent());
    QCOMPARE(viewEdit->LoadedPath(), path);
  }

  // Screen readers name every control that takes the focus; labels with a
  // mnemonic lead to their box, and buttons have one of their own.
  void everyControlHasANameAndAKey() {
    auto window = NewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->frmBackup->ShowWithTrackers({"Alpha"});
    window->frmProgress->show();
    // Captions the program sets itself, and the browse button named for screen readers.
    const QStringList noMnemonic = {QStringLiteral("btnPrivateAddModify"), QStringLiteral("btnOk"),
                                    QStringLiteral("btnTorrentBrowse")};
    QStringList faults;
    auto check = [&](QWidget* top) {
      for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisible() || !(w->focusPolicy() & Qt::TabFocus)) continue;
        if (qobject_cast<QTabBar*>(w) || qobject_cast<QComboBox*>(w->parentWidget())) continue;
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(w);
        if (!access || access->text(QAccessible::Name).trimmed().isEmpty())
          faults << QStringLiteral("%1 has no accessible name").arg(w->objectName());
        if (auto* button = qobject_cast<QAbstractButton*>(w);
            button && !noMnemonic.contains(w->objectName()) && !button->text().isEmpty() &&
            !button->text().contains(u'&'))
          faults << QStringLiteral("%1 has no mnemonic").arg(w->objectName());
      }
      for (QLabel* label : top->findChildren<QLabel*>())
        if (label->text().contains(u'&') && !label->buddy())
          faults << QStringLiteral("label \"%1\" leads nowhere").arg(label->text());
    };
    for (int page = 0; page < window->PageControl1->count(); ++page) {
      window->PageControl1->setCurrentIndex(page);
      for (int mode = 0; mode < (page == 0 ? 2 : 1); ++mode) {
        window->pageMode->setCurrentIndex(mode);
        Settle();
        check(window.get());
      }
    }
    check(window->frmBackup);
    check(window->frmProgress);
    faults.removeDuplicates();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
  }

  // Every window, in every language, gives each Alt key to one control only.
  void mnemonicsAreUniqueInEveryWindow_data() { LanguageRows(); }
  void mnemonicsAreUniqueInEveryWindow() {
    QFETCH(bool, german);
    const TTestLanguage language(german);
    QVERIFY(!german || language.Installed());
    auto window = NewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStringList faults;
    auto check = [&](QWidget* top, const QString& where) {
      Settle();
      for (const QString& clash : MnemonicClashes(top)) faults << where + QStringLiteral(": ") + clash;
    };
    for (int page = 0; page < window->PageControl1->count(); ++page) {
      window->PageControl1->setCurrentIndex(page);
      for (int mode = 0; mode < (page == 0 ? 2 : 1); ++mode) {
        window->pageMode->setCurrentIndex(mode);
        check(window.get(), window->PageControl1->tabText(page) + u'/' + window->pageMode->tabText(mode));
      }
    }
    window->frmBackup->ShowWithTrackers({"Alpha"});
    check(window->frmBackup, QStringLiteral("back-up trackers"));
    window->frmProgress->show();
    check(window->frmProgress, QStringLiteral("progress"));
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
  }

  // Alt and a letter never types into a box, also when the button it names is
  // disabled; Ctrl+Tab goes through the window's pages from wherever the
  // focus is and leaves the creation mode alone; the back-up check box has a
  // label with a key of its own.
  void keyboardKeepsToItsTargets_data() { LanguageRows(); }
  void keyboardKeepsToItsTargets() {
    QFETCH(bool, german);
    const TTestLanguage language(german);
    auto window = NewWindow();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto key = [](QAbstractButton* button) {
      return static_cast<Qt::Key>(MnemonicOf(button->text()).toUpper().unicode());
    };
    QVERIFY(!window->btnBackup->isEnabled());
    struct TBox {
      const char* Name;
      QWidget* Widget;
      int Mode;  // the creation mode it is on
      std::function<QString()> Text;
    } boxes[] = {
        {"tracker", window->cmbAnnounceURL, 0, [&] { return window->cmbAnnounceURL->currentText(); }},
        {"source", window->txtSource, 0, [&] { return window->txtSource->text(); }},
        {"comment", window->mmoComment, 0, [&] { return window->mmoComment->toPlainText(); }},
        {"path", window->txtClassicPath, 1, [&] { return window->txtClassicPath->text(); }},
    };
    for (const TBox& box : boxes) {
      window->PageControl1->setCurrentWidget(window->tabCreate);
      window->pageMode->setCurrentIndex(box.Mode);
      box.Widget->setFocus();
      QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("OpenTrackr"));
      QTest::keyClick(QApplication::focusWidget(), key(window->btnBackup), Qt::AltModifier);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::AltModifier);  // no control's key
      QVERIFY2(box.Text().endsWith(QStringLiteral("OpenTrackr")), qPrintable(box.Text()));

      // Ctrl+Tab: the next page, not the other creation mode.
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
      QVERIFY2(window->PageControl1->currentWidget() == window->tabViewTorrent, box.Name);
      QVERIFY2(window->pageMode->currentIndex() == box.Mode, box.Name);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
      QVERIFY2(window->PageControl1->currentWidget() == window->tabCreate, box.Name);
      QCOMPARE(window->pageMode->currentIndex(), box.Mode);
    }
    // From the file list inside the "Simple" page too.
    window->pageMode->setCurrentIndex(0);
    window->FileListBox1->setFocus();
    QTest::keyClick(window->FileListBox1, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(window->PageControl1->currentWidget(), window->tabViewTorrent);
    QCOMPARE(window->pageMode->currentIndex(), 0);

    // The check box: a label, and its key enables the button.
    window->PageControl1->setCurrentWidget(window->tabCreate);
    QVERIFY(!window->chkBackup->text().isEmpty());
    QVERIFY(!MnemonicOf(window->chkBackup->text()).isNull());
    window->txtSource->setFocus();
    QTest::keyClick(window.get(), key(window->chkBackup), Qt::AltModifier);
    QTRY_VERIFY(window->chkBackup->isChecked());
    QVERIFY(window->btnBackup->isEnabled());
  }

  // Ctrl+O and Ctrl+S on the View/Edit page, F1 for help, Ctrl+Q to quit.
  void windowKeys() {
    const std::string path = WriteTorrent("keys/single.torrent");
    auto window = NewWindow();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(window->PageControl1->currentWidget(), window->tabAbout);

    // Ctrl+S belongs to the View/Edit page: elsewhere it does nothing.
    window->PageControl1->setCurrentIndex(0);
    dialogs_.OpenAnswers.push_back(path);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(dialogs_.OpenFilters.empty());
    window->PageControl1->setCurrentWidget(window->tabViewTorrent);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(dialogs_.OpenFilters.size(), size_t(1));
    const auto* page = window->tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(page->Torrent());

    auto* name = window->tabViewTorrent->findChild<QLineEdit*>(QStringLiteral("txtViewName"));
    name->setText(QStringLiteral("renamed.txt"));
    dialogs_.Answer = TMsgResult::Yes;  // yes, the info hash changes
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(window->StatusText().endsWith(QStringLiteral(" written sucessfully!")),
             qPrintable(window->StatusText()));
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(saved.find("11:renamed.txt") != std::string::npos);

    QSignalSpy closed(window.get(), &TfrmQuorvane::Closed);
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(closed.count(), 1);
  }

  // The choosers open where the current path points.
  void dialogsStartAtTheCurrentPath() {
    const std::string data = Work("data");
    WriteFile(data + "/one.bin", 1);
    WriteTorrent("data/sub/single.torrent");
    auto window = NewWindow();
    window->DirectoryListBox1->SetDirectory(data);
    struct TCase {
      const char* Path;  // in txtClassicPath, below the work folder
      const char* Start;
    } cases[] = {
        {"", "data"},                         // nothing typed: the "Simple" page's folder
        {"data/one.bin", "data"},             // a file: its folder
        {"data/sub", "data/sub"},             // a folder: itself
        {"data/sub/half-typed", "data/sub"},  // not there yet: the nearest folder
    };
    for (const TCase& c : cases) {
      window->txtClassicPath->setText(*c.Path ? QString::fromStdString(Work(c.Path)) : QString());
      QTest::mouseClick(window->btnClassicFile, Qt::LeftButton);
      QTest::mouseClick(window->btnClassicDir, Qt::LeftButton);
      QVERIFY2(dialogs_.OpenStarts.back() == Work(c.Start), c.Path);
      QVERIFY2(dialogs_.FolderStarts.back() == Work(c.Start), c.Path);
    }
    // The View/Edit page's browse opens at the loaded torrent's folder.
    window->OpenTorrent(Work("data/sub/single.torrent"));
    auto* browse = window->tabViewTorrent->findChild<QPushButton*>(QStringLiteral("btnTorrentBrowse"));
    QTest::mouseClick(browse, Qt::LeftButton);
    QCOMPARE(dialogs_.OpenStarts.back(), Work("data/sub"));
  }

  // Under a German locale the windows speak German, Qt's standard buttons too;
  // the translators are loaded as the program loads them.
  void germanUnderAGermanLocale() {
    QVERIFY(InstallTranslators(QLocale(QLocale::English, QLocale::UnitedStates)).empty());
    const std::vector<QTranslator*> translators =
        InstallTranslators(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(!translators.empty());
    auto window = NewWindow();
    window->frmProgress->FileStarted(0, "a.flac");
    QTRY_COMPARE(window->frmProgress->lblHashing->text(), QStringLiteral("Hash-Berechnung: a.flac"));
    QCOMPARE(window->frmProgress->windowTitle(), QStringLiteral("Fortschritt"));
    window->frmProgress->SetCaption(std::string(ProgressCaptionPrefix) + "/daten/a.torrent");
    QCOMPARE(window->frmProgress->windowTitle(), QStringLiteral("Fortschritt: /daten/a.torrent"));
    QCOMPARE(window->cmbAnnounceURL->lineEdit()->placeholderText(),
             QStringLiteral("(Tracker-URL eingeben oder aus der Liste wählen)"));
    // The lines of "Error Loading!": whole ones, and the prefix of those naming a key.
    std::ofstream(Work("junk.torrent"), std::ios::binary) << "not bencoded";
    std::ofstream(Work("nameless.torrent"), std::ios::binary)
        << "d8:announce1:a4:infod5:filesle4:name2:..12:piece lengthi16384e6:pieces0:ee";
    window->OpenTorrent(Work("junk.torrent"));
    window->OpenTorrent(Work("nameless.torrent"));
    QCOMPARE(dialogs_.Boxes.size(), size_t(2));
    QCOMPARE(QString::fromStdString(dialogs_.Boxes[0].Text),
             QStringLiteral("Fehler beim Lesen der Datei; sie scheint keine gültigen bencodierten "
                            "Metainfo-Daten zu enthalten"));
    QVERIFY2(QString::fromStdString(dialogs_.Boxes[1].Text).startsWith(QStringLiteral("Beschädigte Datei: ")),
             dialogs_.Boxes[1].Text.c_str());
    const QString created = window->PageControl1->tabText(0), create = window->btnCreateTorrent->text(),
                  abort = window->frmProgress->btnAbort->text(), backup = window->frmBackup->windowTitle(),
                  about = window->mmoAbout->toPlainText(), aborted = TranslatedMessage("Operation Aborted!"),
                  yes = QCoreApplication::translate("QPlatformTheme", "&Yes");
    window.reset();
    RemoveTranslators(translators);
    QCOMPARE(created, QStringLiteral("Torrent erstellen"));
    QCOMPARE(create, QStringLiteral(".torrent jetzt e&rstellen!"));
    QCOMPARE(abort, QStringLiteral("&Abbrechen"));
    QCOMPARE(backup, QStringLiteral("Auswahl der Ersatz-Tracker"));
    QVERIFY(about.startsWith(QStringLiteral("Quorvane 2.1 - ein Programm")));
    QCOMPARE(aborted, QStringLiteral("Vorgang abgebrochen!"));
    // Qt's own catalogue is there when Debian's qt6-translations-l10n is.
    if (translators.size() > 1) QCOMPARE(yes, QStringLiteral("&Ja"));
    // Removed, English is back.
    QCOMPARE(TranslatedMessage("Operation Aborted!"), QStringLiteral("Operation Aborted!"));
  }

  // The View/Edit page fits the window at every font size, its file list shows
  // eight rows at the smallest window and grows with it, and sizes read as
  // people read them, the exact bytes beside them.
  void viewEditPageFitsAndItsFileListGrows_data() { AddFontSizeRows(); }
  void viewEditPageFitsAndItsFileListGrows() {
    QFETCH(int, points);
    QFETCH(bool, german);
    const TTestLanguage language(german);
    if (!german) QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QFont font = originalFont_;
    font.setPointSize(points);
    QApplication::setFont(font);

    // Twenty files, the first 4.2 MiB.
    std::string files;
    for (int i = 0; i < 20; ++i) {
      const std::string name = "track" + std::to_string(i) + ".flac";
      files += "d6:lengthi" + std::to_string(i == 0 ? 4404019 : 1000 + i) + "e4:pathl" +
               std::to_string(name.size()) + ":" + name + "ee";
    }
    const std::string path = Work("album.torrent");
    std::ofstream(path, std::ios::binary) << "d8:announce13:http://t.test4:infod5:filesl" + files +
                                                 "e4:name5:album12:piece lengthi4194304e6:pieces20:"
                                                 "01234567890123456789ee";
    auto window = NewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->OpenTorrent(path);
    window->resize(window->minimumSize());
    Settle();
    auto* list = window->tabViewTorrent->findChild<TTorrentFileList*>(QStringLiteral("lstFiles"));
    QCOMPARE(list->count(), 20);

    // Nothing sticks out of the window or gets less than it needs.
    QStringList faults = ClippedControls(window.get());
    const QRect inside = window->rect();
    for (QWidget* w : window->tabViewTorrent->findChildren<QWidget*>()) {
      if (!w->isVisible() || !w->parentWidget() || qobject_cast<QAbstractScrollArea*>(w->parentWidget()))
        continue;
      const QRect where(w->mapTo(window.get(), QPoint(0, 0)), w->size());
      if (!inside.contains(where)) faults << w->objectName() + QStringLiteral(" outside the window");
      if (w->width() < w->minimumSizeHint().width())
        faults << QStringLiteral("%1 %2 wide < %3")
                      .arg(w->objectName())
                      .arg(w->width())
                      .arg(w->minimumSizeHint().width());
    }
    faults.removeDuplicates();
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

    const int row = list->visualItemRect(list->item(0)).height();
    QVERIFY2(list->viewport()->height() >= TTorrentFileList::LeastRows * row,
             qPrintable(QStringLiteral("%1 px for rows of %2").arg(list->viewport()->height()).arg(row)));
    const int smallest = list->height();
    window->resize(window->width(), window->height() + 200);
    Settle();
    QVERIFY2(list->height() >= smallest + 100, qPrintable(QString::number(list->height())));

    const QString size = german ? QStringLiteral("4,2 MiB") : QStringLiteral("4.2 MiB");
    QCOMPARE(list->item(0)->text(TTorrentFileList::SizeColumn), size);
    QCOMPARE(list->item(0)->text(TTorrentFileList::BytesColumn), QStringLiteral("4404019"));
    QVERIFY2(list->item(0)
                 ->toolTip(TTorrentFileList::SizeColumn)
                 .contains(german ? QStringLiteral("4.404.019") : QStringLiteral("4,404,019")),
             qPrintable(list->item(0)->toolTip(TTorrentFileList::SizeColumn)));
    QCOMPARE(list->item(19)->text(TTorrentFileList::SizeColumn),
             german ? QStringLiteral("1.019 Bytes") : QStringLiteral("1,019 bytes"));
    // Ctrl+C copies the path and the exact bytes.
    list->setCurrentRow(0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("track0.flac\t4404019"));
  }

  // Error boxes show the critical icon, whatever their caption; the file
  // errors of the system and the faults a verify finds in a torrent speak
  // German in German windows, what they name kept; one version in every title.
  void errorsLookAndReadAsErrors() {
    struct TIconCase {
      const char* Caption;
      QMessageBox::Icon Icon;
    } icons[] = {
        {"Error", QMessageBox::Critical},          {"Error Loading!", QMessageBox::Critical},
        {ApplicationTitle, QMessageBox::Critical},  // the general error report
        {"Warning", QMessageBox::Warning},         {"Abort", QMessageBox::Information},
    };
    TQtDialogs dialogs;
    for (const TIconCase& c : icons) {
      QMessageBox::Icon shown = QMessageBox::NoIcon;
      QTimer answer;
      answer.setInterval(10);
      connect(&answer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          shown = box->icon();
          box->accept();
        }
      });
      answer.start();
      dialogs.MessageBox("Cannot open file \"/data/a\": Permission denied", c.Caption, TMsgButtons::Ok);
      answer.stop();
      QVERIFY2(shown == c.Icon, c.Caption);
    }
    auto window = NewWindow();
    QCOMPARE(QString::fromLatin1(ApplicationTitle), window->windowTitle());

    const TTestLanguage language(true);
    QVERIFY(language.Installed());
    struct TTextCase {
      std::string English;
      const char* German;
    } texts[] = {
        {"Cannot open file \"/daten/a b.flac\": Permission denied",
         "Datei „/daten/a b.flac“ kann nicht geöffnet werden: Permission denied"},
        {"Cannot create file \"/daten/\"x\".torrent\": No space left on device",
         "Datei „/daten/\"x\".torrent“ kann nicht angelegt werden: No space left on device"},
        {"Operation Aborted!", "Vorgang abgebrochen!"},
        {"Cannot open file", "Cannot open file"},  // no path: left as it is
    };
    for (const TTextCase& c : texts) QCOMPARE(TranslatedMessage(c.English), QString::fromUtf8(c.German));
    QCOMPARE(TranslatedFault(QStringLiteral("the piece layer of \"CD1/01.flac\" does not reduce to its "
                                            "\"pieces root\"")),
             QStringLiteral("die Stückebene von \"CD1/01.flac\" ergibt nicht ihre „pieces root“"));
    QCOMPARE(TranslatedFault(QStringLiteral("something new")), QStringLiteral("something new"));
    window->frmProgress->FileStarted(0, "a.flac");
    QTRY_VERIFY(!window->frmProgress->lblHashing->text().startsWith(QStringLiteral("Hashe:")));
  }

  // The help covers every page and choice of the window, in both languages,
  // under the window's own version.
  void helpCoversEveryPage_data() { LanguageRows(); }
  void helpCoversEveryPage() {
    QFETCH(bool, german);
    const TTestLanguage language(german);
    auto window = NewWindow();
    const QString help = window->mmoAbout->toPlainText();
    const QStringList english = {QStringLiteral("Quorvane 2.1 - a maker of .torrent files"),
                                 QStringLiteral("2. Simple mode"),
                                 QStringLiteral("3. Classic mode"),
                                 QStringLiteral("4. Trackers, comment and piece size"),
                                 QStringLiteral("5. Format: v1, v2 or hybrid"),
                                 QStringLiteral("6. Source and private torrents"),
                                 QStringLiteral("7. Viewing and editing a torrent"),
                                 QStringLiteral("8. Verifying data and magnet links"),
                                 QStringLiteral("9. Credits")};
    const QStringList deutsch = {QStringLiteral("Quorvane 2.1 - ein Programm"),
                                 QStringLiteral("2. Einfacher Modus"),
                                 QStringLiteral("3. Klassischer Modus"),
                                 QStringLiteral("4. Tracker, Kommentar und Stückgröße"),
                                 QStringLiteral("5. Format: v1, v2 oder Hybrid"),
                                 QStringLiteral("6. Quelle und private Torrents"),
                                 QStringLiteral("7. Einen Torrent ansehen und bearbeiten"),
                                 QStringLiteral("8. Daten prüfen und Magnet-Links"),
                                 QStringLiteral("9. Danksagung")};
    for (const QString& heading : german ? deutsch : english)
      QVERIFY2(help.contains(u'\n' + heading + u'\n') || help.startsWith(heading), qPrintable(heading));
    // What the sections name is what the window shows.
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(window->chkPrivate),
                                    static_cast<QAbstractButton*>(window->btnCreateTorrent)})
      QVERIFY2(help.contains(button->text().remove(u'&')), qPrintable(button->text()));
    QVERIFY(window->windowTitle().endsWith(QStringLiteral("v2.1")));
  }

  // The line of a create and the info hashes of View/Edit show whole, or cut
  // in the middle with the whole text at hand, at every font size.
  void createdAndHashLinesShowWhole_data() { AddFontSizeRows(); }
  void createdAndHashLinesShowWhole() {
    QFETCH(int, points);
    QFETCH(bool, german);
    const TTestLanguage language(german);
    QFont font = originalFont_;
    font.setPointSize(points);
    QApplication::setFont(font);
    const std::string data = Work("Some Album With A Rather Long Title/01 - The First Track.flac");
    WriteFile(data, 100000);

    auto window = NewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->resize(window->minimumSize());
    Settle();
    // "Simple" on a folder whose files lie in a subfolder: the note says so, whole.
    window->pageMode->setCurrentIndex(0);
    window->DirectoryListBox1->SetDirectory(Work());
    QLabel* note = window->lblSubfolderNote;
    QTRY_VERIFY(note->isVisible());
    QVERIFY(note->text().startsWith(QStringLiteral("1 ")));
    QTRY_VERIFY2(
        note->height() >= note->heightForWidth(note->width()),
        qPrintable(
            QStringLiteral("%1 px for %2").arg(note->height()).arg(note->heightForWidth(note->width()))));
    QVERIFY(window->rect().contains(QRect(note->mapTo(window.get(), QPoint(0, 0)), note->size())));
    window->pageMode->setCurrentIndex(1);
    window->txtClassicPath->setText(QString::fromStdString(data));
    window->cmbFormat->setCurrentIndex(1);  // hybrid: two hashes, the longest line
    window->cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
    dialogs_.SaveAnswers.push_back(Work("hybrid.torrent"));
    QTest::mouseClick(window->btnCreateTorrent, Qt::LeftButton);
    QVERIFY(fs::exists(Work("hybrid.torrent")));
    window->frmProgress->hide();
    window->activateWindow();
    Settle();
    QLabel* created = window->lblCreated;
    QVERIFY(created->isVisible());
    const QRect inside = window->rect();
    QVERIFY(inside.contains(QRect(created->mapTo(window.get(), QPoint(0, 0)), created->size())));
    QTRY_VERIFY2(created->height() >= created->heightForWidth(created->width()),
                 qPrintable(QStringLiteral("%1 px for %2")
                                .arg(created->height())
                                .arg(created->heightForWidth(created->width()))));
    QVERIFY(created->text().contains(QString::fromStdString(Work("hybrid.torrent"))));
    QVERIFY(created->textInteractionFlags() & Qt::TextSelectableByMouse);

    window->OpenTorrent(Work("hybrid.torrent"));
    Settle();
    const auto* page = window->tabViewTorrent->findChild<TViewEditPage*>();
    QVERIFY(page && page->Torrent());
    const QString v2 = QString::fromStdString(page->Torrent()->InfoHashV2Text);
    auto* line = window->tabViewTorrent->findChild<TElidedLabel*>(QStringLiteral("lblInfoHashV2"));
    QVERIFY(line && line->isVisible());
    QVERIFY(line->text().contains(v2));
    const QRect where(line->mapTo(window.get(), QPoint(0, 0)), line->size());
    QVERIFY2(inside.contains(where), qPrintable(QStringLiteral("%1 px wide at x %2 in %3")
                                                    .arg(where.width())
                                                    .arg(where.x())
                                                    .arg(inside.width())));
    // Cut in the middle: the end, which says what kind of torrent it is, stays.
    const QString end = line->text().mid(line->text().indexOf(v2) + v2.size());
    QVERIFY(end.contains(german ? QStringLiteral("v1 und v2") : QStringLiteral("v1 and v2")));
    const QString shown =
        line->fontMetrics().elidedText(line->text(), Qt::ElideMiddle, line->contentsRect().width());
    QVERIFY2(shown.endsWith(end), qPrintable(shown));
    if (line->Elided()) {
      QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), line->mapToGlobal(QPoint(2, 2)));
      QApplication::sendEvent(line, &tip);
      QTRY_COMPARE(QToolTip::text(), line->text());
      QToolTip::hideText();
    }
    // The hashes alone to copy.
    for (const auto& [name, hash] :
         {std::pair{"actCopyInfoHashV2", v2},
          std::pair{"actCopySHA1", QString::fromStdString(page->Torrent()->InfoHashText)}}) {
      auto* copy = window->tabViewTorrent->findChild<QAction*>(QLatin1String(name));
      QVERIFY2(copy && copy->isEnabled(), name);
      copy->trigger();
      QCOMPARE(QGuiApplication::clipboard()->text(), hash);
    }
  }

  // Paragraphs are single lines the memo wraps: a line broken at a fixed
  // column leaves single words on lines when the memo wraps it again.
  void aboutTextIsParagraphsThatWrap() {
    auto window = NewWindow();
    QCOMPARE(window->mmoAbout->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    const QStringList lines = window->mmoAbout->toPlainText().split(u'\n');
    QVERIFY(lines.size() > 10);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
      QVERIFY2(lines[i].size() <= 50 || lines[i + 1].isEmpty(), qPrintable(lines[i]));
    QVERIFY(lines.join(u' ').contains(QStringLiteral("the files and folders you choose")));
  }

  void everyTextFitsAtEveryFontSize_data() { AddFontSizeRows(); }
  void everyTextFitsAtEveryFontSize() {
    QFETCH(int, points);
    QFETCH(bool, german);
    const TTestLanguage language(german);
    QFont font = originalFont_;
    font.setPointSize(points);
    QApplication::setFont(font);

    auto window = NewWindow();
    window->DirectoryListBox1->SetDirectory(Work());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    Settle();
    // Never below the design, never below what the layouts need.
    QVERIFY(window->minimumWidth() >= 460 && window->minimumHeight() >= 483);
    QVERIFY(window->minimumWidth() >= window->minimumSizeHint().width());
    QVERIFY(window->minimumHeight() >= window->minimumSizeHint().height());
    QVERIFY(window->width() >= window->minimumWidth() && window->height() >= window->minimumHeight());
    qInfo("%d pt%s: main window minimum %dx%d", points, german ? " German" : "", window->minimumWidth(),
          window->minimumHeight());
    // The smallest the user can make it is what is checked.
    window->resize(window->minimumSize());
    Settle();

    QVERIFY(ShowsEveryTab(window->PageControl1));
    QVERIFY(ShowsEveryTab(window->pageMode));
    for (int page = 0; page < window->PageControl1->count(); ++page) {
      window->PageControl1->setCurrentIndex(page);
      for (int mode = 0; mode < (page == 0 ? 2 : 1); ++mode) {
        window->pageMode->setCurrentIndex(mode);
        Settle();
        const QStringList clipped = ClippedControls(window.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(QStringLiteral("page %1/%2: ").arg(page).arg(mode) +
                                               clipped.join(QStringLiteral("; "))));
      }
    }
    // The file list keeps a fair share of the "Simple" page beside the drive list.
    window->PageControl1->setCurrentIndex(0);
    window->pageMode->setCurrentIndex(0);
    Settle();
    QVERIFY2(window->FileListBox1->width() * 3 >= window->pageMode->width(),
             qPrintable(QString::number(window->FileListBox1->width())));
    // A long mount path is elided, not made room for.
    const int driveWidth = window->DriveComboBox1->sizeHint().width();
    window->DriveComboBox1->addItem(QStringLiteral("/media/someone/") + QString(120, u'x'));
    QCOMPARE(window->DriveComboBox1->sizeHint().width(), driveWidth);
    QCOMPARE(window->DriveComboBox1->view()->textElideMode(), Qt::ElideMiddle);

    TfrmProgress& progress = *window->frmProgress;
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    Settle();
    QVERIFY(progress.width() >= 447 && progress.height() >= 134);
    qInfo("%d pt%s: progress window %dx%d", points, german ? " German" : "", progress.width(),
          progress.height());
    QVERIFY2(ClippedControls(&progress).isEmpty(), qPrintable(ClippedControls(&progress).join(u';')));
    progress.hide();

    TfrmBackup& backup = *window->frmBackup;
    backup.ShowWithTrackers({"Alpha", "Beta"});
    QVERIFY(QTest::qWaitForWindowExposed(&backup));
    Settle();
    qInfo("%d pt%s: back-up window %dx%d (minimum %dx%d)", points, german ? " German" : "", backup.width(),
          backup.height(), backup.minimumWidth(), backup.minimumHeight());
    QVERIFY2(ClippedControls(&backup).isEmpty(), qPrintable(ClippedControls(&backup).join(u';')));
    backup.hide();
  }
};

int main(int argc, char** argv) {
  TQtTestEnvironment environment;
  TQuorvaneApplication app(argc, argv, applicationDialogs);
  DesktopTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "DesktopTest.moc"
