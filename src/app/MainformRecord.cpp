// Recording the set: the menu entry and what the recording needs of the
// window (the card of the left deck's main output, the decks, the menu
// bar). The recording itself is app/RecordControl.

#include <QAction>
#include <QDir>
#include <QMenuBar>

#include "app/Mainform.h"
#include "app/RecordControl.h"
#include "audio/Dsutil.h"
#include "platform/ui/Controls.h"

void TFormQuandrel::buildRecording() {
  recording = new qdl::app::RecordControl(
      this, menuBar(), {DeckLinks, DeckRechts},
      // The room hears the main output; with a card per deck, the left one.
      [this]() -> qdl::sound::Device* {
        TSoundDevice* main = LeftMain ? LeftMain : RightMain;
        return main ? main->DirectSound.get() : nullptr;
      },
      [this] { return BaseDir.isEmpty() ? QDir::currentPath() : BaseDir; },
      [this](const QString& text) { ShowNotice(text); });
  connect(recording, &qdl::app::RecordControl::recordingChanged, this,
          [this](bool on) { Aufnahme1->setChecked(on); });
}

void TFormQuandrel::Aufnahme1Click() {
  runPress("record.toggle");
  // The tick follows the recording, not the click.
  Aufnahme1->setChecked(recording->isRecording());
}
