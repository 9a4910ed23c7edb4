// Auto-gain in the console: its menu item with a tick, its settings in
// qdl.ini and the gains of the loaded songs.
//
// [AutoGain] On=1|0 and Reference=<LUFS>. A settings file made by this
// start (the first start in a folder) gets On=1; a file that was there
// without the key reads as off, so a console that played without auto-gain
// keeps sounding as it did. A reference that is no number from -40 to 0
// LUFS reads as -14.

#include <QAction>
#include <QDir>
#include <QMenu>

#include "app/Mainform.h"
#include "decks/AutoGain.h"
#include "decks/Deck.h"
#include "library/SongLoudness.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Dialogs.h"

namespace {

const QString kSection = QLatin1String(qdl::library::kAutoGainSection);
const QString kOnKey = QLatin1String(qdl::library::kAutoGainOnKey);

}  // namespace

void TFormQuandrel::buildAutoGain() {
  AutoGain1 = Einstellungen1->addAction(QStringLiteral("&Lautheit angleichen (Auto-Gain)"));
  AutoGain1->setObjectName(QStringLiteral("AutoGain1"));
  AutoGain1->setCheckable(true);
  AutoGain1->setChecked(mixer->autoGain());
  // The tick follows the mixer; a click asks the mixer, which answers.
  connect(AutoGain1, &QAction::triggered, this, [this] {
    AutoGain1->setChecked(mixer->autoGain());
    AutoGain1Click();
  });
  connect(mixer, &qdl::decks::Mixer::autoGainChanged, this, &TFormQuandrel::AutoGainChanged);
  connect(mixer, &qdl::decks::Mixer::referenceLoudnessChanged, this, [this] {
    qdl::decks::DeckRefs left = deckLinks(), right = deckRechts();
    qdl::decks::ApplyAutoGain(left, shared());
    qdl::decks::ApplyAutoGain(right, shared());
  });
}

void TFormQuandrel::ReadAutoGain(bool newSettings) {
  qdl::ui::guarded(this, [&] {
    qdl::IniFile settings = qdl::openSettings();
    bool on = newSettings;
    const QString stored = settings.readString(kSection, kOnKey, QString());
    if (stored.isEmpty()) {
      if (newSettings) settings.writeInteger(kSection, kOnKey, 1);
    } else {
      on = stored != QStringLiteral("0");
    }
    mixer->setReferenceLoudness(qdl::library::referenceLoudnessSetting(settings));
    mixer->setAutoGain(on);
  });
}

void TFormQuandrel::AutoGain1Click() { mixer->setAutoGain(!mixer->autoGain()); }

void TFormQuandrel::AutoGainChanged() {
  const bool on = mixer->autoGain();
  AutoGain1->setChecked(on);
  qdl::decks::DeckRefs left = deckLinks(), right = deckRechts();
  qdl::decks::ApplyAutoGain(left, shared());
  qdl::decks::ApplyAutoGain(right, shared());
  // Kept for the next start; a settings file that cannot be written is told.
  qdl::ui::guarded(this, [&] { qdl::openSettings().writeInteger(kSection, kOnKey, on ? 1 : 0); });
}
