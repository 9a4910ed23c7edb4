// The language of a first start: a new settings file takes it from the
// locale (German for de_*, English for another language, the console's
// German when the locale names none); an existing file keeps its Mode.
#include <gtest/gtest.h>

#include <QFile>

#include "lang/Sprache.h"
#include "platform/ini/IniFile.h"
#include "support/TempDir.h"

namespace {

using qdl::lang::languageOfLocale;

struct LocaleCase {
  const char* locale;
  int language;
};

class LocaleLanguage : public testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleLanguage, GermanForGermanLocalesEnglishForOthers) {
  EXPECT_EQ(languageOfLocale(QString::fromUtf8(GetParam().locale)), GetParam().language)
      << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(Cases, LocaleLanguage,
                         testing::Values(LocaleCase{"de_DE.UTF-8", 0}, LocaleCase{"de_AT", 0},
                                         LocaleCase{"de_CH.utf8", 0}, LocaleCase{"de", 0},
                                         LocaleCase{"de_DE@euro", 0}, LocaleCase{"en_US.UTF-8", 1},
                                         LocaleCase{"en_GB", 1}, LocaleCase{"fr_FR.UTF-8", 1},
                                         LocaleCase{"nl_BE", 1}, LocaleCase{"dexx_YY", 1},
                                         LocaleCase{"C", 0}, LocaleCase{"C.UTF-8", 0},
                                         LocaleCase{"POSIX", 0}, LocaleCase{"", 0}));

// Sets the locale variables for one test and puts them back.
class LocaleEnvironment {
 public:
  LocaleEnvironment(const char* all, const char* messages, const char* lang) {
    set("LC_ALL", all);
    set("LC_MESSAGES", messages);
    set("LANG", lang);
  }
  ~LocaleEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value.isNull())
        qunsetenv(name);
      else
        qputenv(name, value);
    }
  }

 private:
  void set(const char* name, const char* value) {
    saved_.push_back({name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()});
    if (value)
      qputenv(name, value);
    else
      qunsetenv(name);
  }
  std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST(SystemLanguage, TheFirstSetVariableOfLcAllLcMessagesAndLangCounts) {
  {
    const LocaleEnvironment env(nullptr, nullptr, "de_DE.UTF-8");
    EXPECT_EQ(qdl::lang::systemLanguage(), 0);
  }
  {
    const LocaleEnvironment env(nullptr, "en_US.UTF-8", "de_DE.UTF-8");
    EXPECT_EQ(qdl::lang::systemLanguage(), 1);
  }
  {
    const LocaleEnvironment env("de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(qdl::lang::systemLanguage(), 0);
  }
  {
    const LocaleEnvironment env("", "", "fr_FR.UTF-8");  // empty counts as unset
    EXPECT_EQ(qdl::lang::systemLanguage(), 1);
  }
  {
    const LocaleEnvironment env(nullptr, nullptr, nullptr);
    EXPECT_EQ(qdl::lang::systemLanguage(), 0);
  }
}

TEST(SystemLanguage, ANewSettingsFileTakesTheLocalesLanguageAnExistingOneKeepsItsMode) {
  const qdl::test::TempCwd cwd;
  const LocaleEnvironment env(nullptr, nullptr, "en_GB.UTF-8");
  qdl::IniFile settings = qdl::openSettings();
  // No file: the first start speaks English.
  EXPECT_EQ(qdl::lang::readLanguageSetting(settings).index, 1);
  EXPECT_FALSE(qdl::lang::storeSystemLanguageIfMissing(settings));
  EXPECT_FALSE(QFile::exists(cwd.file("qdl.ini"))) << "nothing is written without a file";

  // The device dialog made the file: the language goes in with it.
  settings.writeString(QStringLiteral("Devices"), QStringLiteral("Mode"), QStringLiteral("0"));
  EXPECT_EQ(qdl::lang::readLanguageSetting(settings).index, 0) << "a file without Mode is German";
  EXPECT_TRUE(qdl::lang::storeSystemLanguageIfMissing(settings));
  EXPECT_EQ(qdl::lang::readLanguageSetting(qdl::openSettings()).index, 1);

  // An existing Mode stays, whatever the locale says.
  settings.writeString(QStringLiteral("Sprache"), QStringLiteral("Mode"), QStringLiteral("0"));
  EXPECT_FALSE(qdl::lang::storeSystemLanguageIfMissing(settings));
  EXPECT_EQ(qdl::lang::readLanguageSetting(qdl::openSettings()).index, 0);
  EXPECT_EQ(settings.readString(QStringLiteral("Devices"), QStringLiteral("Mode"), QString()),
            QStringLiteral("0"))
      << "the device mode of the same name is another key";
}

}  // namespace
