#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/ini/IniFile.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

using qdl::IniFile;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void writeAll(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

class IniTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path() const { return dir.filePath("qdl.ini"); }
};

TEST_F(IniTest, MissingFileAndKeysGiveDefaults) {
  IniFile ini(path());
  EXPECT_EQ(ini.readString("Devices", "Mode", "0"), "0");
  EXPECT_EQ(ini.readInteger("Sprache", "Mode", 0), 0);
  EXPECT_FALSE(QFile::exists(path())) << "reading must not create the file";
  writeAll(path(), "[Devices]\r\nMode=1\r\n");
  EXPECT_EQ(ini.readString("Devices", "Card_1", ""), "");
  EXPECT_EQ(ini.readString("Sprache", "Mode", "0"), "0");
}

TEST_F(IniTest, SectionsAndKeysMatchWithoutRegardToCase) {
  writeAll(path(), "[DEVICES]\r\ncard_1=SB Live\r\n[present devices]\r\nSB Live={ABC}\r\n");
  IniFile ini(path());
  EXPECT_EQ(ini.readString("Devices", "Card_1", ""), "SB Live");
  EXPECT_EQ(ini.readString("present Devices", "sb live", ""), "{ABC}");
  // A write to a key in other case replaces that line, keeping its spelling.
  ini.writeString("devices", "CARD_1", "Other");
  EXPECT_EQ(readAll(path()), "[DEVICES]\r\ncard_1=Other\r\n[present devices]\r\nSB Live={ABC}\r\n");
}

TEST_F(IniTest, WritesCreateTheFileAndKeepOtherLinesInPlace) {
  IniFile ini(path());
  ini.writeString("present Devices", "Card A", "{11111111-2222-3333-4444-555555555555}");
  ASSERT_TRUE(QFile::exists(path()));
  EXPECT_EQ(readAll(path()),
            "[present Devices]\r\nCard A={11111111-2222-3333-4444-555555555555}\r\n");

  writeAll(path(),
           "; my comment\r\n[Devices]\r\nMode=0\r\nCard_1=A\r\n\r\n[Sprache]\r\nMode=1\r\n");
  ini.writeInteger("Devices", "Mode", 2);
  ini.writeString("Devices", "Card_2", "B");
  ini.writeString("Neu", "Key", "V");
  EXPECT_EQ(readAll(path()),
            "; my comment\r\n[Devices]\r\nMode=2\r\nCard_1=A\r\nCard_2=B\r\n\r\n[Sprache]\r\n"
            "Mode=1\r\n[Neu]\r\nKey=V\r\n");
}

TEST_F(IniTest, LfFilesAreReadAndKeepTheirLineEnding) {
  writeAll(path(), "[Sprache]\nMode=1\n[Devices]\nMode=2");
  IniFile ini(path());
  EXPECT_EQ(ini.readInteger("Sprache", "Mode", 0), 1);
  EXPECT_EQ(ini.readInteger("Devices", "Mode", 0), 2);
  ini.writeString("Sprache", "Mode", "0");
  EXPECT_EQ(readAll(path()), "[Sprache]\nMode=0\n[Devices]\nMode=2");
}

TEST_F(IniTest, LongValuesAreCutTo2047Characters) {
  IniFile ini(path());
  const QString longText(5000, QLatin1Char('x'));
  ini.writeString("S", "K", longText);
  EXPECT_EQ(ini.readString("S", "K", "").size(), 2047);
  const QString exact(2047, QLatin1Char('y'));
  ini.writeString("S", "K", exact);
  EXPECT_EQ(ini.readString("S", "K", ""), exact);
}

TEST_F(IniTest, NonNumbersRaiseAConversionErrorNamingTheText) {
  writeAll(path(), "[Devices]\r\nMode=zwei\r\n[Sprache]\r\nMode= 1 \r\n[X]\r\nA=0x10\r\nB=\r\n");
  IniFile ini(path());
  try {
    ini.readInteger("Devices", "Mode", 0);
    FAIL() << "no error";
  } catch (const qdl::ConversionError& e) {
    // The text, the section and key, and the file.
    EXPECT_EQ(
        QString::fromUtf8(e.what()),
        "'zwei' is not a valid integer value for [Devices] Mode in the settings file " + path());
  }
  EXPECT_EQ(ini.readInteger("Sprache", "Mode", 0), 1);
  EXPECT_THROW(ini.readInteger("X", "A", 0), qdl::ConversionError);
  EXPECT_THROW(ini.readInteger("X", "B", 0), qdl::ConversionError);
  EXPECT_EQ(qdl::strToInt("-7"), -7);
  EXPECT_THROW(qdl::strToInt("99999999999"), qdl::ConversionError);
}

TEST_F(IniTest, UnreadableFileIsReportedAndNeverOverwritten) {
  if (::geteuid() == 0) {
    // root reads everything; a folder in place of the file is unreadable too.
    ASSERT_TRUE(QDir(dir.path()).mkdir("qdl.ini"));
  } else {
    writeAll(path(), "[Devices]\r\nMode=1\r\n");
    QFile::setPermissions(path(), QFileDevice::WriteOwner);
  }
  IniFile ini(path());
  EXPECT_THROW(ini.readString("Devices", "Mode", "0"), qdl::IniFileError);
  EXPECT_THROW(ini.writeString("Devices", "Mode", "2"), qdl::IniFileError);
}

TEST_F(IniTest, WriteIntoMissingFolderIsAnErrorNamingTheFile) {
  IniFile ini(dir.filePath("no/such/folder/qdl.ini"));
  try {
    ini.writeString("S", "K", "V");
    FAIL() << "no error";
  } catch (const qdl::IniFileError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains(dir.filePath("no/such/folder/qdl.ini")));
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("[S] K")) << e.what();
  }
}

TEST_F(IniTest, Utf8TextsRoundTrip) {
  IniFile ini(path());
  ini.writeString("present Devices", "Kopfhörer-Karte", "{X}");
  EXPECT_EQ(ini.readString("present Devices", "KOPFHÖRER-KARTE", ""), "{X}");
  EXPECT_EQ(ini.readSection("present Devices"), QStringList{"Kopfhörer-Karte"});
}

TEST_F(IniTest, AWindowsFileIn8BitTextKeepsItsBytesAndItsMark) {
  // "Primärer Soundtreiber" in Windows-1252, as a file copied from Windows.
  const QByteArray windows =
      "[present Devices]\r\nPrim\xe4rer Soundtreiber=\r\n[Sprache]\r\nMode=0\r\n";
  writeAll(path(), windows);
  IniFile ini(path());
  EXPECT_EQ(ini.readString("present Devices", "Primärer Soundtreiber", "-"), "");
  ini.writeInteger("Sprache", "Mode", 1);
  EXPECT_EQ(readAll(path()),
            "[present Devices]\r\nPrim\xe4rer Soundtreiber=\r\n[Sprache]\r\nMode=1\r\n");
  ini.writeString("Sprache", "Name", "Ωmega");  // beyond the 8-bit file: "?"
  EXPECT_EQ(ini.readString("Sprache", "Name", ""), "?mega");

  // A UTF-8 file with a byte order mark keeps it.
  writeAll(path(), "\xef\xbb\xbf[Sprache]\r\nMode=0\r\n");
  ini.writeInteger("Sprache", "Mode", 1);
  EXPECT_EQ(readAll(path()), "\xef\xbb\xbf[Sprache]\r\nMode=1\r\n");
}

TEST_F(IniTest, KeysWithBlanksAroundAndHeadersWithCommentsAreFound) {
  writeAll(path(), "[Devices] ; chosen in the dialog\r\nMode=2\r\n");
  IniFile ini(path());
  EXPECT_EQ(ini.readInteger("Devices", "Mode", 0), 2);
  ini.writeString("Devices", " Card_1 ", "A");
  ini.writeString("Devices", " Card_1 ", "B");
  EXPECT_EQ(ini.readString("Devices", " Card_1 ", ""), "B");
  EXPECT_EQ(ini.readString("Devices", "Card_1", ""), "B");
  EXPECT_EQ(readAll(path()), "[Devices] ; chosen in the dialog\r\nMode=2\r\nCard_1=B\r\n");
}

TEST_F(IniTest, AWriteChangesOnlyTheBytesOfItsValue) {
  // Lone CRs, LF and CRLF mixed, blanks around "=", no line end at the end.
  const QByteArray mixed = "; kept\r[Devices]\rMode = 0\r\nCard_1=A\n[Sprache]\nMode=1";
  writeAll(path(), mixed);
  IniFile ini(path());
  EXPECT_EQ(ini.readInteger("Devices", "Mode", 9), 0);
  EXPECT_EQ(ini.readString("Devices", "Card_1", ""), "A");
  ini.writeInteger("Devices", "Mode", 0);  // the value it holds: nothing changes
  ini.writeString("Devices", "Card_1", "A");
  EXPECT_EQ(readAll(path()), mixed);
  ini.writeInteger("Devices", "Mode", 2);
  EXPECT_EQ(readAll(path()), "; kept\r[Devices]\rMode =2\r\nCard_1=A\n[Sprache]\nMode=1");
  ini.writeString("Devices", "Card_2", "B");  // added with the file's CRLF
  ini.writeString("Sprache", "Name", "x");    // after a last line without line end
  EXPECT_EQ(readAll(path()),
            "; kept\r[Devices]\rMode =2\r\nCard_1=A\nCard_2=B\r\n[Sprache]\nMode=1\r\nName=x\r\n");
}

// Runs `work` in a child process that must end within five seconds: a read
// that blocked would hang the test otherwise.
bool endsInTime(const std::function<bool()>& work) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work() ? 0 : 1);
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child)
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return false;
}

TEST_F(IniTest, PipesDevicesAndHugeFilesAreRefusedAtOnceNamingTheFile) {
  const QString fifo = dir.filePath("fifo.ini");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString zero = dir.filePath("zero.ini");
  ASSERT_TRUE(QFile::link("/dev/zero", zero));
  const QString huge = dir.filePath("huge.ini");
  writeAll(huge, "[Sprache]\r\nMode=1\r\n" + QByteArray(IniFile::kMaxFileSize, ';'));
  for (const QString& file : {fifo, zero, huge}) {
    EXPECT_TRUE(endsInTime([file] {
      auto refused = [&](const std::function<void()>& f) {
        try {
          f();
        } catch (const qdl::IniFileError& e) {
          return QString::fromUtf8(e.what()).contains(file);
        }
        return false;
      };
      IniFile ini(file);
      return refused([&] { ini.readString("Sprache", "Mode", "0"); }) &&
             refused([&] { ini.writeString("Sprache", "Mode", "0"); });
    })) << qPrintable(file);
  }
  EXPECT_TRUE(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo));
  EXPECT_EQ(QFileInfo(huge).size(), 19 + IniFile::kMaxFileSize);
}

TEST_F(IniTest, AUtf16FileIsReadButNeverWrittenInto) {
  const QString text = QStringLiteral("[Sprache]\r\nMode=1\r\n[Devices]\r\nCard_1=Karte Ä\r\n");
  for (bool bigEndian : {false, true}) {
    QByteArray bytes = bigEndian ? QByteArray() : QByteArray("\xFF\xFE", 2);
    for (QChar c : text) {
      const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
      bytes.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    writeAll(path(), bytes);
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger("Sprache", "Mode", 0), 1);
    EXPECT_EQ(ini.readString("Devices", "Card_1", ""), QString::fromUtf8("Karte Ä"));
    try {
      ini.writeInteger("Sprache", "Mode", 0);
      FAIL() << "written";
    } catch (const qdl::IniFileError& e) {
      EXPECT_TRUE(QString::fromUtf8(e.what()).contains("UTF-16")) << e.what();
    }
    // Gathered changes are refused when written, and nothing is lost.
    ini.beginChanges();
    ini.writeString("Devices", "Card_2", "B");
    EXPECT_THROW(ini.commitChanges(), qdl::IniFileError);
    ini.discardChanges();
    EXPECT_EQ(readAll(path()), bytes);
  }
}

TEST_F(IniTest, KeysWithEqualsSignsBracketsOrSemicolonsRoundTrip) {
  const QStringList names = {"HDA Intel = PCH", "[USB] Audio", "; odd card",
                             "50%AB Mix",       "100% Audio",  "Plain"};
  IniFile ini(path());
  for (int i = 0; i < names.size(); ++i)
    ini.writeString("present Devices", names[i], QStringLiteral("{%1}").arg(i));
  for (int i = 0; i < names.size(); ++i)
    EXPECT_EQ(ini.readString("present Devices", names[i], ""), QStringLiteral("{%1}").arg(i));
  EXPECT_EQ(ini.readSection("present Devices"), names);
  // The file holds one key line per name, nothing that reads as a section
  // or a comment.
  EXPECT_EQ(readAll(path()),
            "[present Devices]\r\nHDA Intel %3D PCH={0}\r\n%5BUSB] Audio={1}\r\n%3B odd card={2}"
            "\r\n50%25AB Mix={3}\r\n100% Audio={4}\r\nPlain={5}\r\n");
}

TEST_F(IniTest, GatheredChangesAreWrittenInOneGoOrDropped) {
  const QByteArray before = "[Devices]\nMode=1\n";
  writeAll(path(), before);
  IniFile ini(path());
  ini.beginChanges();
  ini.writeInteger("Devices", "Mode", 2);
  ini.writeString("present Devices", "Card", "{1}");
  EXPECT_EQ(ini.readInteger("Devices", "Mode", 0), 2);
  EXPECT_EQ(readAll(path()), before);
  ini.discardChanges();
  EXPECT_EQ(ini.readInteger("Devices", "Mode", 0), 1);

  ini.beginChanges();
  ini.writeInteger("Devices", "Mode", 1);  // nothing new: nothing is written
  ::chmod(QFile::encodeName(path()).constData(), 0444);
  ini.commitChanges();
  ::chmod(QFile::encodeName(path()).constData(), 0644);
  ini.beginChanges();
  ini.writeInteger("Devices", "Mode", 0);
  ini.writeString("present Devices", "Card", "{1}");
  ini.commitChanges();
  EXPECT_EQ(readAll(path()), "[Devices]\nMode=0\n[present Devices]\nCard={1}\n");
}

}  // namespace
