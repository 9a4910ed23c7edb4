#include "platform/help/Help.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include "platform/fs/Resources.h"
#include "platform/help/HelpFile.h"
#include "platform/help/HelpWindow.h"
#include "platform/ui/Dialogs.h"

namespace qdl::help {
namespace {

Recorder& currentRecorder() {
  static Recorder recorder;
  return recorder;
}

QPointer<HelpWindow>& theWindow() {
  static QPointer<HelpWindow> window;
  return window;
}

bool isGerman(const QString& helpFile) {
  return QFileInfo(helpFile).completeBaseName().endsWith(QLatin1String("_g"), Qt::CaseInsensitive);
}

QString bulletList(const QStringList& lines) {
  QString out;
  for (const QString& l : lines) out += QStringLiteral("\n  ") + QDir::toNativeSeparators(l);
  return out;
}

void reportMissing(const QString& helpFile) {
  QWidget* parent = QApplication::activeWindow();
  if (helpFile.trimmed().isEmpty()) {
    // No language is set (the windows then carry no help file name), so the
    // message speaks both languages.
    ui::showMessage(
        parent,
        QStringLiteral("F\u00fcr dieses Fenster ist keine Hilfedatei eingestellt. "
                       "Bitte unter Einstellungen > Sprache eine Sprache w\u00e4hlen.\n\n"
                       "No help file is set for this window. Please choose a "
                       "language under Options > Language."),
        QStringLiteral("Hilfe / Help"));
    return;
  }
  const QString folders = bulletList(helpFolders());
  if (isGerman(helpFile)) {
    ui::showMessage(parent,
                    QStringLiteral("Die Hilfedatei \"%1\" wurde nicht gefunden.\n\n"
                                   "Gesucht in:%2\n\n"
                                   "Legen Sie die Datei in einen dieser Ordner oder setzen Sie "
                                   "die Umgebungsvariable QUANDREL_HELP_DIR auf den Ordner mit "
                                   "den Hilfedateien.")
                        .arg(helpFile, folders),
                    QStringLiteral("Hilfe"));
  } else {
    ui::showMessage(parent,
                    QStringLiteral("The help file \"%1\" was not found.\n\n"
                                   "Folders searched:%2\n\n"
                                   "Put the file into one of these folders, or set the "
                                   "environment variable QUANDREL_HELP_DIR to the folder that "
                                   "holds the help files.")
                        .arg(helpFile, folders),
                    QStringLiteral("Help"));
  }
}

void reportMalformed(const QString& helpFile, const QString& path, const QList<HelpError>& errors) {
  const QString details = formatErrors(QDir::toNativeSeparators(path), errors);
  const QString text =
      isGerman(helpFile)
          ? QStringLiteral("Die Hilfedatei \"%1\" kann nicht angezeigt werden:\n\n%2")
          : QStringLiteral("The help file \"%1\" cannot be shown:\n\n%2");
  ui::dialogs().showError(QApplication::activeWindow(), text.arg(helpFile, details));
}

// The window showing the named file, reading the file when it is not the
// one shown already or has changed since; nullptr after a reported failure.
HelpWindow* windowFor(const QString& helpFile) {
  const QString path = helpFile.trimmed().isEmpty() ? QString() : locate(helpFile);
  if (path.isEmpty()) {
    reportMissing(helpFile);
    return nullptr;
  }
  const QDateTime modified = QFileInfo(path).lastModified();
  QPointer<HelpWindow>& window = theWindow();
  if (!window || window->documentPath() != path || window->documentModified() != modified) {
    const ParseResult parsed = loadHelpFile(path);
    if (!parsed.ok()) {
      reportMalformed(helpFile, path, parsed.errors);
      return nullptr;
    }
    if (!window) {
      window = new HelpWindow;
      QObject::connect(qApp, &QCoreApplication::aboutToQuit, window.data(), &closeHelpWindow);
    }
    window->setDocument(parsed.document, path, modified);
  }
  // A modal dialog blocks every other window, so help asked for from inside
  // one would be unusable: the help window is then modal itself, above the
  // dialog, and becomes an ordinary window again for the next request made
  // without a modal dialog. Modality can only change while it is hidden.
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != window.data()) {
    const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (window->windowModality() != wanted) {
      window->hide();
      window->setWindowModality(wanted);
    }
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace

void showContents(const QString& helpFile) {
  if (const Recorder& r = currentRecorder()) {
    r({Command::Contents, helpFile, 0});
    return;
  }
  if (HelpWindow* w = windowFor(helpFile)) w->showContents();
}

void showIndex(const QString& helpFile) {
  if (const Recorder& r = currentRecorder()) {
    r({Command::Index, helpFile, 0});
    return;
  }
  if (HelpWindow* w = windowFor(helpFile)) w->showIndex();
}

void showTopic(const QString& helpFile, int context) {
  if (const Recorder& r = currentRecorder()) {
    r({Command::Topic, helpFile, context});
    return;
  }
  if (HelpWindow* w = windowFor(helpFile)) w->showTopic(context);
}

Recorder setRecorder(Recorder recorder) {
  Recorder previous = std::move(currentRecorder());
  currentRecorder() = std::move(recorder);
  return previous;
}

QStringList helpFolders() {
  QStringList folders;
  auto add = [&folders](const QString& folder) {
    if (folder.isEmpty()) return;
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (!folders.contains(clean)) folders << clean;
  };
  add(qEnvironmentVariable("QUANDREL_HELP_DIR"));
  for (const QString& folder : qdl::fs::resourceFolders(QStringLiteral("help"))) add(folder);
  return folders;
}

QString locate(const QString& helpFile) {
  const QString name = helpFile.trimmed();
  if (name.isEmpty()) return QString();
  if (QFileInfo(name).isAbsolute()) {
    const QFileInfo info(name);
    return info.isFile() ? info.absoluteFilePath() : QString();
  }
  for (const QString& folder : helpFolders()) {
    const QDir dir(folder);
    const QFileInfo exact(dir, name);
    if (exact.isFile()) return exact.absoluteFilePath();
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& f : files)
      if (f.compare(name, Qt::CaseInsensitive) == 0) return dir.absoluteFilePath(f);
  }
  return QString();
}

QWidget* helpWindow() { return theWindow().data(); }

void closeHelpWindow() {
  QPointer<HelpWindow>& window = theWindow();
  delete window.data();
  window = nullptr;
}

}  // namespace qdl::help
