#include "platform/ui/Application.h"

#include <exception>

#include "platform/ui/Dialogs.h"

namespace qdl::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    dialogs().showError(activeWindow(), QString::fromUtf8(e.what()));
  } catch (...) {
    dialogs().showError(activeWindow(), QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace qdl::ui
