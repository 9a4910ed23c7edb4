#include "platform/sound/Sound.h"

#include <QRegularExpression>

namespace qdl::sound {

Backend currentBackend() {
  const QByteArray value = qgetenv("QUANDREL_AUDIO").trimmed().toLower();
  if (value.isEmpty() || value == "portaudio") return Backend::PortAudio;
  if (value == "virtual") return Backend::Virtual;
  if (value == "virtual-realtime") return Backend::VirtualRealtime;
  throw SoundError(QStringLiteral("Unknown sound backend \"%1\" in QUANDREL_AUDIO "
                                  "(use portaudio, virtual or virtual-realtime)")
                       .arg(QString::fromLocal8Bit(value))
                       .toStdString());
}

QString guidToText(const QUuid& guid) { return guid.toString(QUuid::WithBraces).toUpper(); }

QUuid guidFromText(const QString& text) {
  static const QRegularExpression form(QStringLiteral(
      "^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
  if (!form.match(text).hasMatch())
    throw SoundError(QStringLiteral("\"%1\" is not a valid GUID text").arg(text).toStdString());
  return QUuid::fromString(text);
}

}  // namespace qdl::sound
