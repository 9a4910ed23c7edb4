// The MIDI controllers of the console: started with the Controller folder
// beside qdl.ini at the first show, stopped when the console closes, and
// the learn window, whose "click a control" knows the window's controls by
// the actions they run.

#include <QCheckBox>
#include <QDir>
#include <QPushButton>

#include "app/Mainform.h"
#include "controllers/ControllerWindow.h"
#include "controllers/Controllers.h"
#include "platform/ui/Controls.h"

void TFormQuandrel::startControllers() {
  if (controllers) return;
  controllers = new qdl::controllers::Controllers(
      actions, QDir(BaseDir).filePath(QStringLiteral("Controller")), this);
  controllers->start();
}

void TFormQuandrel::stopControllers() {
  if (controllerWindow) controllerWindow->close();
  if (controllers) controllers->stop();
}

void TFormQuandrel::MidiController1Click() {
  if (!controllers) startControllers();
  if (!controllerWindow) {
    controllerWindow = new qdl::controllers::ControllerWindow(controllers, this);
    const QHash<QWidget*, QString> controls = {
        {Play_Links, QStringLiteral("links.play")},
        {Cue_Links, QStringLiteral("links.cue")},
        {LoadDB_Links, QStringLiteral("links.load")},
        {btTime_Links, QStringLiteral("links.time")},
        {sBarSeekLinks, QStringLiteral("links.jog")},
        {SBarPitchLinks, QStringLiteral("links.pitch")},
        {SBtPlusSpeedLinks, QStringLiteral("links.pitch.up")},
        {SBtMinusSpeedLinks, QStringLiteral("links.pitch.down")},
        {SpeedZero_Links, QStringLiteral("links.pitch.zero")},
        {SBVolume_Links, QStringLiteral("links.volume")},
        {SBHeadCueLinks, QStringLiteral("links.headcue")},
        {KeyLock_Links, QStringLiteral("links.keylock")},
        {Play_Rechts, QStringLiteral("rechts.play")},
        {Cue_Rechts, QStringLiteral("rechts.cue")},
        {LoadDB_Rechts, QStringLiteral("rechts.load")},
        {btTime_Rechts, QStringLiteral("rechts.time")},
        {sBarSeekRechts, QStringLiteral("rechts.jog")},
        {SBarPitchRechts, QStringLiteral("rechts.pitch")},
        {SBtPlusSpeedRechts, QStringLiteral("rechts.pitch.up")},
        {SBtMinusSpeedRechts, QStringLiteral("rechts.pitch.down")},
        {SpeedZero_Rechts, QStringLiteral("rechts.pitch.zero")},
        {SBVolume_Rechts, QStringLiteral("rechts.volume")},
        {SBHeadCueRechts, QStringLiteral("rechts.headcue")},
        {KeyLock_Rechts, QStringLiteral("rechts.keylock")},
        {sbFader, QStringLiteral("mixer.crossfader")},
        {FaderLinks, QStringLiteral("mixer.crossfader.links")},
        {FaderRechts, QStringLiteral("mixer.crossfader.rechts")},
        {sbCrossZero, QStringLiteral("mixer.crossfader.zero")},
        {SBVolume_Head, QStringLiteral("mixer.headvolume")},
        {cbAutoCue, QStringLiteral("autocue.toggle")},
        {cbAutoPlay, QStringLiteral("autoplay.toggle")},
    };
    controllerWindow->setConsoleControls(controls);
  }
  controllerWindow->show();
  controllerWindow->raise();
}
