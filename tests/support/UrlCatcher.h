#pragma once
// Catches the addresses the program hands to the browser, for as long as it lives.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

class TUrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { Opened.push_back(url); }

 public:
  TUrlCatcher() {
    for (const char* scheme : {"http", "https", "ftp"})
      QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
  }
  ~TUrlCatcher() override {
    for (const char* scheme : {"http", "https", "ftp"})
      QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
  }
  TUrlCatcher(const TUrlCatcher&) = delete;
  TUrlCatcher& operator=(const TUrlCatcher&) = delete;

  QList<QUrl> Opened;
};
