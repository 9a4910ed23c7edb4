#include "lang/Sprache.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"

TFormSprache* FormSprache = nullptr;

namespace {
const QString kSection = QStringLiteral("Sprache");
const QString kKey = QStringLiteral("Mode");
}  // namespace

namespace qdl::lang {

LanguageSetting readLanguageSetting(const qdl::IniFile& settings) {
  LanguageSetting setting;
  const QString missing = QFileInfo::exists(settings.fileName())
                              ? QStringLiteral("0")
                              : QString::number(systemLanguage());
  setting.text = settings.readString(kSection, kKey, missing);
  try {
    const int number = qdl::strToInt(setting.text);
    setting.valid = number == 0 || number == 1;
    if (setting.valid) setting.index = number;
  } catch (const qdl::ConversionError&) {
    setting.valid = false;
  }
  return setting;
}

int languageOfLocale(const QString& locale) {
  const QString language = locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
  if (language.isEmpty() || language == QLatin1String("C") || language == QLatin1String("POSIX"))
    return 0;
  return language == QLatin1String("de") || language.startsWith(QLatin1String("de_")) ? 0 : 1;
}

int systemLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const QString value = qEnvironmentVariable(name);
    if (!value.isEmpty()) return languageOfLocale(value);
  }
  return languageOfLocale(QString());
}

bool storeSystemLanguageIfMissing(qdl::IniFile& settings) {
  if (!QFileInfo::exists(settings.fileName())) return false;
  if (!settings.readString(kSection, kKey, QString()).isEmpty()) return false;
  settings.writeInteger(kSection, kKey, systemLanguage());
  return true;
}

}  // namespace qdl::lang

TFormSprache::TFormSprache(QWidget* parent)
    : QDialog(parent),
      rgSprache(new qdl::ui::RadioGroup(this)),
      btOK(new QPushButton(QStringLiteral("&OK"), this)),
      btCancel(new QPushButton(QStringLiteral("&Abbruch"), this)),
      btHelp(new QPushButton(QStringLiteral("&Hilfe"), this)) {
  setObjectName(QStringLiteral("FormSprache"));
  // The built-in captions are German; the main window replaces them from the
  // string table once it is filled.
  setWindowTitle(QStringLiteral("Sprachauswahl"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(215, 131);

  rgSprache->setObjectName(QStringLiteral("rgSprache"));
  rgSprache->setTitle(QStringLiteral("verfügbare Sprachen"));
  rgSprache->setItems({QStringLiteral("Deutsch"), QStringLiteral("Englisch")});
  rgSprache->setGeometry(31, 8, 153, 73);

  btOK->setObjectName(QStringLiteral("btOK"));
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btHelp->setObjectName(QStringLiteral("btHelp"));
  btOK->setDefault(true);
  btOK->setGeometry(8, 96, 63, 25);
  btCancel->setGeometry(76, 96, 63, 25);
  btHelp->setGeometry(144, 96, 63, 25);

  qdl::help::setHelpContext(this, kHelpContext);
  for (QWidget* w : {static_cast<QWidget*>(rgSprache), static_cast<QWidget*>(btOK),
                     static_cast<QWidget*>(btCancel), static_cast<QWidget*>(btHelp)})
    qdl::help::setHelpContext(w, kHelpContext);
  qdl::help::attachHelpKey(this);

  connect(btOK, &QPushButton::clicked, this, &TFormSprache::btOKClick);
  connect(btCancel, &QPushButton::clicked, this, &TFormSprache::btCancelClick);
  // btHelp has no click action of its own: the help key shows the topic.
}

TFormSprache::~TFormSprache() {
  if (FormSprache == this) FormSprache = nullptr;
}

QString TFormSprache::songCountText(int count) const {
  return QString::number(count) + sTitelVerfuegbar;
}

void TFormSprache::FormShow() {
  // The file is taken from the current directory as it is now and kept for
  // the OK click, even if the current directory changes meanwhile.
  settings_.emplace(qdl::openSettings());
  // A value that is not valid (was reported when the language was applied)
  // preselects German, so OK repairs the setting.
  qdl::ui::guarded(
      this, [this] { rgSprache->setItemIndex(qdl::lang::readLanguageSetting(*settings_).index); });
}

void TFormSprache::btOKClick() {
  if (!settings_) settings_.emplace(qdl::openSettings());
  const bool written = qdl::ui::guarded(
      this, [this] { settings_->writeInteger(kSection, kKey, rgSprache->itemIndex()); });
  // A refused write must not look like a successful choice: stay open so the
  // user can try again or cancel.
  if (!written) return;
  done(QDialog::Accepted);
}

void TFormSprache::btCancelClick() { done(QDialog::Rejected); }

void TFormSprache::FormClose() { settings_.reset(); }

void TFormSprache::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  centreOnScreen();
  FormShow();
}

void TFormSprache::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) FormClose();
}

void TFormSprache::centreOnScreen() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  QRect frame = frameGeometry();
  frame.moveCenter(s->availableGeometry().center());
  move(frame.topLeft());
}
