// quorvane: the desktop program.

#include <QIcon>

#include "app/AppIcon.h"
#include "app/MainForm.h"
#include "app/QtDialogs.h"
#include "app/QuorvaneApplication.h"
#include "base/Stream.h"

int main(int argc, char** argv) {
  // Before Qt starts its threads: a signal during a save removes the temporary file.
  InstallTempFileCleanup();
  TQtDialogs dialogs;
  TQuorvaneApplication app(argc, argv, dialogs);
  QApplication::setWindowIcon(AppIcon());

  TfrmQuorvane frmQuorvane(dialogs, QApplication::arguments());
  dialogs.SetOwner(&frmQuorvane);
  QObject::connect(&frmQuorvane, &TfrmQuorvane::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
  frmQuorvane.show();
  return QApplication::exec();
}
