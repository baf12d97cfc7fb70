#pragma once
// What a window test program sets up before its application object, also when
// it is run by hand: the offscreen platform, a private runtime folder and,
// unless the test brings its own, a private cache folder.

#include <sys/stat.h>

#include <QTemporaryDir>
#include <QtGlobal>

class TQtTestEnvironment {
 public:
  explicit TQtTestEnvironment(bool privateCache = true) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      ::chmod(runtime_.path().toLocal8Bit().constData(), 0700);
      qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }
    if (privateCache) qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
  }

 private:
  QTemporaryDir runtime_;
  QTemporaryDir cache_;
};
