// Opening and closing the sound devices of the four slots.

#include "app/Mainform.h"
#include "app/RecordControl.h"
#include "audio/Dsutil.h"
#include "lang/Sprache.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Dialogs.h"

void TFormQuandrel::OpenSoundDevices() {
  const qdl::IniFile settings = qdl::openSettings();
  const qdl::OpenDevicesResult result =
      qdl::openSoundDevices(settings, {LeftMain, LeftHead, RightMain, RightHead}, this);
  if (result.headphoneControls) setHeadphoneControlsEnabled(*result.headphoneControls);
  if (!result.bufferProblem.isEmpty()) qdl::ui::dialogs().showError(this, result.bufferProblem);
  // A card that cannot be opened leaves its decks without output; the user
  // must know before loading a song there.
  for (const qdl::DeviceOpenFailure& failure : result.failures) {
    if (failure.notListed)
      // Told in the user's language, which is applied after the devices
      // are opened.
      QMetaObject::invokeMethod(
          this,
          [this, name = failure.cardName] {
            qdl::ui::showMessage(this,
                                 FormSprache->Meldung.sKarteUnbekannt + QLatin1Char('\n') + name,
                                 FormSprache->Meldung.sAchtung);
          },
          Qt::QueuedConnection);
    else
      qdl::ui::dialogs().showError(
          this, QStringLiteral("%1 \"%2\": %3").arg(failure.key, failure.cardName, failure.reason));
  }
}

void TFormQuandrel::CloseSoundDevices() {
  // A recording ends with its card: its file is finished first.
  if (recording) recording->stop();
  qdl::closeSoundDevices({LeftMain, LeftHead, RightMain, RightHead});
}
