// bench_gui_create: one Create through the desktop program's window, driven
// offscreen, so its whole-process time can be set beside the CLI's.
//
// Usage: bench_gui_create [--check] PATH OUTPUT [PIECE]
//   --check  load OUTPUT afterwards and print its info hash (not for timed runs)
//   PATH     a file or a folder, made on the "Classic" page
//   OUTPUT   the .torrent to write (the answer of the save dialog)
//   PIECE    a piece length as the CLI's -l takes it ("1m", "262144");
//            without it the window chooses ("Auto")
//   BENCH_GUI_HOME  see TPrivateEnvironment
// Exits 0, or 1 on any failure.

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "../tests/support/ScriptedDialogs.h"
#include "app/FileNames.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "app/QuorvaneApplication.h"
#include "base/Stream.h"
#include "create/PieceLength.h"
#include "metainfo/TorrentFile.h"

namespace fs = std::filesystem;

namespace {

// Offscreen, and settings, runtime and cache folders of our own, so the
// user's settings are neither read nor touched. BENCH_GUI_HOME names a folder
// kept from run to run, as a returning user's settings are; without it every
// run starts afresh in a temporary one.
class TPrivateEnvironment {
 public:
  TPrivateEnvironment() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray kept = qgetenv("BENCH_GUI_HOME");
    const QByteArray root = kept.isEmpty() ? home_.path().toLocal8Bit() : kept;
    valid_ = !kept.isEmpty() || home_.isValid();
    fs::create_directories(root.toStdString() + "/runtime");
    fs::permissions(root.toStdString() + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_CACHE_HOME", root + "/cache");
  }
  bool Valid() const { return valid_; }

 private:
  QTemporaryDir home_;
  bool valid_ = false;
};

// Everything the dialogs were asked, for a failure report.
void PrintLog(const TScriptedDialogs& dialogs) {
  for (const std::string& line : dialogs.Log) std::fprintf(stderr, "  %s\n", line.c_str());
}

bool AnyErrorBox(const TScriptedDialogs& dialogs) {
  for (const auto& box : dialogs.Boxes)
    if (box.Buttons == TMsgButtons::Ok) return true;
  return false;
}

int Run(int argc, char** argv, bool printInfoHash) {
  const std::string path = argv[1], output = argv[2];
  std::optional<int32_t> pieceLength;
  if (argc == 4) {
    pieceLength = ParsePieceLength(argv[3]);
    if (!pieceLength) {
      std::fprintf(stderr, "bench_gui_create: unknown piece length %s\n", argv[3]);
      return 1;
    }
  }
  std::error_code error;
  if (!fs::exists(path, error)) {
    std::fprintf(stderr, "bench_gui_create: %s does not exist\n", path.c_str());
    return 1;
  }
  fs::remove(output, error);  // "the output exists" must mean this run wrote it

  TPrivateEnvironment environment;
  if (!environment.Valid()) {
    std::fprintf(stderr, "bench_gui_create: cannot make a temporary folder\n");
    return 1;
  }
  TScriptedDialogs dialogs;
  dialogs.Answer = TMsgResult::Yes;  // an unknown tracker is fine here
  TQuorvaneApplication app(argc, argv, dialogs);

  TfrmQuorvane window(dialogs, {QStringLiteral("quorvane")});
  window.show();

  window.pageMode->setCurrentIndex(1);
  window.txtClassicPath->setText(ShowName(path));
  (fs::is_directory(path) ? window.radFolder : window.radFile)->click();
  if (pieceLength) {
    window.radCustom->click();
    window.cmbPieceSize->setCurrentIndex(PieceLengthIndex(*pieceLength));
  } else {
    window.radAuto->click();
  }
  window.cmbAnnounceURL->setEditText(QStringLiteral("http://tracker.test/announce"));
  dialogs.SaveAnswers.push_back(output);

  const QPushButton* finished = window.frmProgress->btnFinished;
  const auto done = [&] { return finished->isEnabled() || AnyErrorBox(dialogs); };
  QElapsedTimer clock;
  // The run pumps events while it hashes; when the click returns it may be
  // over already, else the check below waits for it with events running.
  QTimer check;
  check.setInterval(5);
  QObject::connect(&check, &QTimer::timeout, &app, [&] {
    if (done()) QCoreApplication::quit();
  });
  // Posted after the window's start-up, which arms the tracker list refresh:
  // stopped here, as it would only report that there is no list to load.
  QTimer::singleShot(0, &app, [&] {
    window.updateTimer->stop();
    clock.start();
    window.btnCreateTorrent->click();
    if (done())
      QCoreApplication::quit();
    else
      check.start();
  });
  QCoreApplication::exec();
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

  if (AnyErrorBox(dialogs) || !fs::is_regular_file(output, error)) {
    std::fprintf(stderr, "bench_gui_create: no torrent was written; the dialogs saw:\n");
    PrintLog(dialogs);
    return 1;
  }
  std::fprintf(stderr, "create through the window: %.3f s\n", seconds);
  if (printInfoHash) {
    TTorrentFile torrent;
    TMemoryStream stream(ReadWholeFile(output));
    torrent.LoadFromStream(stream);
    if (!torrent.Errors.empty()) {
      std::fprintf(stderr, "bench_gui_create: %s does not load cleanly\n", output.c_str());
      return 1;
    }
    std::printf("%s\n", torrent.InfoHashText.c_str());
  }
  window.frmProgress->hide();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc > 1 && std::string(argv[1]) == "--check";
  if (check) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: bench_gui_create [--check] PATH OUTPUT [PIECE]\n");
    return 1;
  }
  try {
    return Run(argc, argv, check);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_gui_create: %s\n", error.what());
    return 1;
  }
}
