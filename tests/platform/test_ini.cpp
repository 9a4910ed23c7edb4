#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/ini/IniFile.h"

#include <unistd.h>

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
  EXPECT_EQ(readAll(path()), "[Sprache]\nMode=0\n[Devices]\nMode=2\n");
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
    EXPECT_STREQ(e.what(), "'zwei' is not a valid integer value");
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
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("qdl.ini"));
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

}  // namespace
