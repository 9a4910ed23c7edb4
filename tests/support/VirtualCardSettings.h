#pragma once
// A qdl.ini that names the two virtual sound cards, for whole-program tests.

#include <QFile>
#include <QString>
#include <optional>

#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"

namespace qdl::test {

// Writes and closes `path`: output `mode` with card A as "Card_1" and card B
// as "Card_2", both in "present Devices", and the language when given.
inline bool writeVirtualCardSettings(const QString& path, int mode,
                                     std::optional<int> language = std::nullopt) {
  QFile ini(path);
  if (!ini.open(QIODevice::WriteOnly)) return false;
  using sound::VirtualCards;
  QString text =
      QStringLiteral(
          "[Devices]\r\nMode=%1\r\nCard_1=%2\r\nCard_2=%3\r\n[present Devices]\r\n"
          "%2=%4\r\n%3=%5\r\n")
          .arg(mode)
          .arg(VirtualCards::description(0), VirtualCards::description(1),
               sound::guidToText(VirtualCards::guid(0)), sound::guidToText(VirtualCards::guid(1)));
  if (language) text += QStringLiteral("[Sprache]\r\nMode=%1\r\n").arg(*language);
  return ini.write(text.toUtf8()) == text.toUtf8().size();
}

}  // namespace qdl::test
