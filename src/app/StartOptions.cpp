#include "app/StartOptions.h"

#include <QDir>
#include <QFileInfo>

namespace qdl::app {
namespace {

// Qt's own command-line options; those in the first list take a value.
const QStringList kQtOptionsWithValue = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("style"),
    QStringLiteral("stylesheet"),      QStringLiteral("session"),
    QStringLiteral("display"),         QStringLiteral("geometry"),
    QStringLiteral("title"),           QStringLiteral("name")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                              QStringLiteral("nograb"), QStringLiteral("dograb"),
                              QStringLiteral("sync")};

// "-platform" and "--platform" name the same Qt option: its bare name.
QString qtOptionName(const QString& argument) {
  QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
  const qsizetype equals = name.indexOf(QLatin1Char('='));
  if (equals >= 0) name.truncate(equals);
  return name;
}

StartOptions stop(int code, const QString& message) {
  StartOptions o;
  o.exitCode = code;
  o.message = message;
  return o;
}

}  // namespace

QString versionText() { return QStringLiteral("Quandrel public Alpha 2\n"); }

QString usageText() {
  return QStringLiteral(
      "Usage: quandrel [--folder DIR | --menu]\n"
      "                           start the console in the current folder (DIR, or ~/Quandrel)\n"
      "       quandrel --version  print the version\n"
      "       quandrel --help     print this text\n"
      "       quandrel [--folder DIR] scan [--check] [--only-check] [--retag] PATH...\n"
      "                           add the MP3 files below PATH to the library here\n"
      "       quandrel [--folder DIR] analyse [--redo]\n"
      "                           analyse the tempo of the songs of the library here\n"
      "       quandrel [--folder DIR] print --sort artist|title|genre|year [--lang de|en] "
      "--pdf FILE\n"
      "                           write the song list of the library here as PDF\n"
      "       quandrel playlist FILE\n"
      "                           print the songs of a playlist (.qdp, .m3u, .m3u8)\n"
      "       quandrel devices [--verbose]\n"
      "                           list the sound outputs that play (GUID, tab, name);\n"
      "                           --verbose also shows the sound libraries' messages\n");
}

bool isCommandWord(const QString& word) {
  static const QStringList words = {QStringLiteral("scan"),     QStringLiteral("analyse"),
                                    QStringLiteral("analyze"),  QStringLiteral("print"),
                                    QStringLiteral("playlist"), QStringLiteral("devices")};
  return words.contains(word);
}

StartOptions parseStartOptions(const QStringList& arguments) {
  StartOptions o;
  o.arguments << (arguments.isEmpty() ? QStringLiteral("quandrel") : arguments.first());
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments.at(i);
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) return stop(0, usageText());
    if (a == QLatin1String("--version")) return stop(0, versionText());
    if (a == QLatin1String("--menu")) {
      o.menu = true;
      continue;
    }
    if (a == QLatin1String("--folder") || a.startsWith(QLatin1String("--folder="))) {
      if (a.startsWith(QLatin1String("--folder="))) {
        o.folder = a.mid(9);
      } else if (i + 1 < arguments.size()) {
        o.folder = arguments.at(++i);
      }
      if (o.folder.isEmpty()) return stop(2, QStringLiteral("quandrel: --folder needs a folder\n"));
      continue;
    }
    if (isCommandWord(a)) {
      o.command = a;
      o.arguments << arguments.mid(i);
      return o;
    }
    if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      const QString name = qtOptionName(a);
      if (kQtFlags.contains(name)) {
        o.arguments << a;
        continue;
      }
      if (kQtOptionsWithValue.contains(name)) {
        o.arguments << a;
        if (!a.contains(QLatin1Char('=')) && i + 1 < arguments.size())
          o.arguments << arguments.at(++i);
        continue;
      }
      return stop(2, QStringLiteral("quandrel: unknown option '%1'\n"
                                    "Try 'quandrel --help' for the commands and options.\n")
                         .arg(a));
    }
    return stop(2, QStringLiteral("quandrel: unknown command '%1'\n"
                                  "Try 'quandrel --help' for the commands and options.\n")
                       .arg(a));
  }
  return o;
}

QString workingFolder(const StartOptions& options, const QString& current, const QString& home) {
  if (!options.folder.isEmpty())
    return QDir::cleanPath(QDir(current).absoluteFilePath(options.folder));
  const QString menuFolder = QDir(home).filePath(QStringLiteral("Quandrel"));
  if (options.menu) return menuFolder;
  const QString here = QDir::cleanPath(current);
  if (!home.isEmpty() && here == QDir::cleanPath(home)) {
    const QDir dir(here);
    const bool holdsConsole = QFileInfo::exists(dir.filePath(QStringLiteral("qdl.ini"))) ||
                              QFileInfo::exists(dir.filePath(QStringLiteral("Data/data.db")));
    if (!holdsConsole) return menuFolder;
  }
  return here;
}

QStringList withAbsolutePaths(const StartOptions& options, const QString& current) {
  QStringList arguments = options.arguments;
  const qsizetype start = arguments.indexOf(options.command);
  if (options.command.isEmpty() || start < 0) return arguments;
  const QDir here(current);
  const bool pathsAreWords =
      options.command == QLatin1String("scan") || options.command == QLatin1String("playlist");
  for (qsizetype i = start + 1; i < arguments.size(); ++i) {
    QString& a = arguments[i];
    if (options.command == QLatin1String("print") && a == QLatin1String("--pdf") &&
        i + 1 < arguments.size()) {
      ++i;
      arguments[i] = QDir::cleanPath(here.absoluteFilePath(arguments[i]));
    } else if (pathsAreWords && !a.startsWith(QLatin1Char('-')) && !a.isEmpty()) {
      a = QDir::cleanPath(here.absoluteFilePath(a));
    }
  }
  return arguments;
}

bool enterFolder(const QString& folder, QString* error) {
  if (!QDir().mkpath(folder)) {
    if (error) *error = QStringLiteral("quandrel: cannot create the folder '%1'\n").arg(folder);
    return false;
  }
  if (!QDir::setCurrent(folder)) {
    if (error) *error = QStringLiteral("quandrel: cannot enter the folder '%1'\n").arg(folder);
    return false;
  }
  return true;
}

}  // namespace qdl::app
