#include "app/QuorvaneApplication.h"

#include <QLibraryInfo>
#include <memory>
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

std::vector<QTranslator*> InstallTranslators(const QLocale& locale) {
  std::vector<QTranslator*> installed;
  const std::pair<QString, QString> catalogs[] = {
      {QStringLiteral("quorvane"), QStringLiteral(":/i18n")},
      {QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)}};
  for (const auto& [name, folder] : catalogs) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator.get()))
      continue;
    translator->setParent(QCoreApplication::instance());
    installed.push_back(translator.release());
  }
  return installed;
}
