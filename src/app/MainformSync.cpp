// The console's Sync buttons and the tick of autoplay on the beat in the
// playlist menu, with its setting in qdl.ini ([Autoplay] OnTheBeat, 1 on,
// 0 off; on when missing).

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "app/Mainform.h"
#include "control/Actions.h"
#include "decks/DeckModel.h"
#include "decks/DeckPanel.h"
#include "lang/Sprache.h"
#include "platform/ini/IniFile.h"

namespace {

const QString kSection = QStringLiteral("Autoplay");
const QString kKey = QStringLiteral("OnTheBeat");

}  // namespace

void TFormQuandrel::wireSync() {
  // A refusal of the button is told in the notice, as one of the key: Sync
  // is pressed mid-mix, and a box would stop the DJ's hands.
  connect(Panel1->sync, &QPushButton::clicked, this,
          [this] { actions->press(QStringLiteral("links.sync")); });
  connect(Panel3->sync, &QPushButton::clicked, this,
          [this] { actions->press(QStringLiteral("rechts.sync")); });

  Playliste1->addSeparator();
  AutoplayBeat1 = Playliste1->addAction(QStringLiteral("Autoplay auf den &Beat"));
  AutoplayBeat1->setObjectName(QStringLiteral("AutoplayBeat1"));
  AutoplayBeat1->setCheckable(true);
  try {
    mixer->setBeatAutoPlay(qdl::openSettings().readInteger(kSection, kKey, 1) != 0);
  } catch (const std::exception&) {
    // A broken entry keeps the default: on.
  }
  AutoplayBeat1->setChecked(mixer->beatAutoPlay());
  connect(AutoplayBeat1, &QAction::toggled, mixer, &qdl::decks::Mixer::setBeatAutoPlay);
  connect(mixer, &qdl::decks::Mixer::beatAutoPlayChanged, this, [this](bool on) {
    AutoplayBeat1->setChecked(on);
    try {
      qdl::openSettings().writeInteger(kSection, kKey, on ? 1 : 0);
    } catch (const std::exception& e) {
      ShowNotice(QString::fromUtf8(e.what()));
    }
  });
}
