// Key lock of each deck: its button, and its setting in qdl.ini, section
// [Decks], KeyLockLinks and KeyLockRechts (1 on, 0 off). A DJ finds key lock
// as it was left: the setting is read when the console shows and written
// at each change.

#include <QDir>
#include <QPushButton>

#include "app/Mainform.h"
#include "decks/DeckModel.h"
#include "platform/ini/IniFile.h"

namespace {

const QString kDecksSection = QStringLiteral("Decks");

QString keyLockKey(const qdl::decks::Deck& deck) {
  return deck.side() == qdl::decks::Deck::Side::Left ? QStringLiteral("KeyLockLinks")
                                                     : QStringLiteral("KeyLockRechts");
}

}  // namespace

void TFormQuandrel::wireKeyLock() {
  connect(KeyLock_Links, &QPushButton::clicked, this, [this] { runPress("links.keylock"); });
  connect(KeyLock_Rechts, &QPushButton::clicked, this, [this] { runPress("rechts.keylock"); });
}

void TFormQuandrel::readKeyLock() {
  const qdl::IniFile settings(
      QDir(BaseDir.isEmpty() ? QDir::currentPath() : BaseDir).filePath(QStringLiteral("qdl.ini")));
  for (qdl::decks::Deck* deck : {DeckLinks, DeckRechts}) {
    // A value that is no number, or a file that cannot be read, leaves key
    // lock off: the console plays as without it.
    bool on = false;
    try {
      on = settings.readInteger(kDecksSection, keyLockKey(*deck), 0) == 1;
    } catch (const std::exception&) {
      on = false;
    }
    deck->setKeyLock(on);
  }
}

void TFormQuandrel::storeKeyLock(const qdl::decks::Deck& deck) {
  qdl::IniFile settings(
      QDir(BaseDir.isEmpty() ? QDir::currentPath() : BaseDir).filePath(QStringLiteral("qdl.ini")));
  try {
    settings.writeString(kDecksSection, keyLockKey(deck),
                         deck.keyLock() ? QStringLiteral("1") : QStringLiteral("0"));
  } catch (const qdl::IniFileError& e) {
    // Key lock works on; only the setting is not kept for the next start.
    ShowNotice(QString::fromUtf8(e.what()));
  }
}
