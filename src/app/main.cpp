// Program entry: creates the program's windows in their fixed order and runs
// the message loop. The main window is created first and becomes the
// application's main window; everything that needs the other windows happens
// when it is first shown.

#include <QDir>
#include <QIcon>
#include <cstdio>
#include <exception>

#include "app/CommandLine.h"
#include "app/Windows.h"
#include "platform/ui/Application.h"
#include "platform/ui/Dialogs.h"

int main(int argc, char** argv) {
  // Command-line work needs no display: run it on the offscreen platform so
  // that it works over ssh and in scripts.
  if (argc > 1 && argv[1][0] != '-' && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qdl::ui::Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quandrel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/ICON")));

  // Command-line work without a window (for instance a library scan).
  if (const auto code = qdl::app::runCommandLine(QApplication::arguments())) return *code;

  try {
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    if (const QString shot = qEnvironmentVariable("QUANDREL_SCREENSHOT"); !shot.isEmpty())
      qdl::app::saveScreenshotAndQuit(shot);
    const int result = QApplication::exec();
    qdl::app::destroyWindows();
    return result;
  } catch (const std::exception& e) {
    qdl::ui::dialogs().showError(nullptr, QString::fromUtf8(e.what()));
  }
  return 0;
}
