#pragma once
// The application object. Errors that escape an event handler (a text that
// is no number, a file that cannot be read, a storage error) end that handler
// and are shown by the general error display; the program goes on.

#include <QApplication>

namespace qdl::ui {

class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qdl::ui
