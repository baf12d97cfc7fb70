#pragma once
// The application object: its title and the general error report for
// errors that escape an event handler.

#include <QApplication>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <functional>
#include <stdexcept>
#include <vector>

#include "Dialogs.h"

// The title the task bar and the general error report show.
// The same version as the main window's caption, which the boxes stand under.
inline constexpr const char* ApplicationTitle = "Quorvane v2.1";

// Shows an error that escaped a handler: its text, captioned with the title.
void ShowException(TDialogs& dialogs, const std::exception& error);

// Runs a handler; whatever it throws goes to the general error report, and
// the program goes on with the next event.
template <typename F>
void Guarded(TDialogs& dialogs, F&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(dialogs, error);
  } catch (...) {
    ShowException(dialogs, std::runtime_error("Unknown error"));
  }
}

// The one way a page wires a control: the signal runs one of the page's
// handlers inside the page's own Guarded, so what the handler throws goes to
// the page's error report and never into Qt. Handlers take no arguments; they
// read the controls.
template <typename Page, typename Sender, typename Signal>
void Wire(Page* page, Sender* sender, Signal signal, void (Page::*handler)()) {
  QObject::connect(sender, signal, page,
                   [page, handler] { page->Guarded([page, handler] { (page->*handler)(); }); });
}

// Loads the program's translation for locale, and Qt's own for the standard
// buttons, into the application; none when the language has none. Returns
// what it installed (owned by the application).
std::vector<QTranslator*> InstallTranslators(const QLocale& locale);

class TQuorvaneApplication : public QApplication {
 public:
  TQuorvaneApplication(int& argc, char** argv, TDialogs& dialogs);
  // The last line of defence: an event handler that was not wrapped.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TDialogs& dialogs_;
};
