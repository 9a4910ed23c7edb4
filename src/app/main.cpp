// Program entry: creates the program's windows in their fixed order and runs
// the message loop. The main window is created first and becomes the
// application's main window; everything that needs the other windows happens
// when it is first shown.

#include <QByteArray>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <exception>
#include <vector>

#include "app/CommandLine.h"
#include "app/StartOptions.h"
#include "app/Windows.h"
#include "platform/ui/Application.h"
#include "platform/ui/Dialogs.h"

int main(int argc, char** argv) {
  // The arguments are read before any Qt application object exists, so that
  // --help, --version and a wrong option need no display.
  QStringList given;
  for (int i = 0; i < argc; ++i) given << QString::fromLocal8Bit(argv[i]);
  const qdl::app::StartOptions options = qdl::app::parseStartOptions(given);
  if (options.exitCode) {
    std::fputs(options.message.toLocal8Bit().constData(), *options.exitCode == 0 ? stdout : stderr);
    return *options.exitCode;
  }
  const bool command = !options.command.isEmpty();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // Command-line work needs no display: run it on the offscreen platform so
    // that it works over ssh and in scripts.
    if (command) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (qEnvironmentVariableIsEmpty("DISPLAY") &&
               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
               !options.arguments.contains(QStringLiteral("-platform")) &&
               !options.arguments.contains(QStringLiteral("--platform"))) {
      std::fputs(
          "quandrel: the console needs a display (neither DISPLAY nor WAYLAND_DISPLAY is set);\n"
          "the commands work without one: quandrel --help\n",
          stderr);
      return 1;
    }
  }
  QString error;
  const QString started = QDir::currentPath();
  const QString folder = qdl::app::workingFolder(options, started, QDir::homePath());
  // Paths the user typed stay those of the folder the program started in.
  const QStringList handedOn = QDir(folder) == QDir(started)
                                   ? options.arguments
                                   : qdl::app::withAbsolutePaths(options, started);
  if (!qdl::app::enterFolder(folder, &error)) {
    std::fputs(error.toLocal8Bit().constData(), stderr);
    return 1;
  }

  // Qt sees the program name, its own options and the command.
  std::vector<QByteArray> kept;
  for (const QString& a : handedOn) kept.push_back(a.toLocal8Bit());
  std::vector<char*> qtArgv;
  for (QByteArray& a : kept) qtArgv.push_back(a.data());
  qtArgv.push_back(nullptr);
  int qtArgc = int(kept.size());
  qdl::ui::Application app(qtArgc, qtArgv.data());
  QApplication::setApplicationName(QStringLiteral("Quandrel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/ICON")));
  // The desktop matches the window to its menu entry (quandrel.desktop).
  QGuiApplication::setDesktopFileName(QStringLiteral("quandrel"));

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
