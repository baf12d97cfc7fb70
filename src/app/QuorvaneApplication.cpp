#include "app/QuorvaneApplication.h"

#include <stdexcept>
#include <string>

void ShowException(TDialogs& dialogs, const std::exception& error) {
  try {
    dialogs.MessageBox(error.what(), ApplicationTitle, TMsgButtons::Ok);
  } catch (...) {
    // Nothing sensible is left to do when the report itself fails.
  }
}

TQuorvaneApplication::TQuorvaneApplication(int& argc, char** argv, TDialogs& dialogs)
    : QApplication(argc, argv), dialogs_(dialogs) {
  setApplicationName(QStringLiteral("quorvane"));
  setDesktopFileName(QStringLiteral("quorvane"));
}

bool TQuorvaneApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(dialogs_, error);
  } catch (...) {
    ShowException(dialogs_, std::runtime_error("Unknown error"));
  }
  return false;
}
