#include "app/Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <cstdio>

#include "app/About.h"
#include "app/Mainform.h"
#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Look.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "settings/Geraete.h"

// The images (LED glyphs, play button, icon) are compiled into this static
// library; the linker keeps them only when they are referenced.
static void initResources() { Q_INIT_RESOURCE(quandrel); }

namespace qdl::app {

void createWindows() {
  initResources();
  qdl::ui::applyConsoleLook();
  FormQuandrel = new TFormQuandrel;
  // Dialogs are owned by the main window so they centre on it and close
  // with it; the playlist window is a tool window of its own.
  DlgGeraete = new TDlgGeraete(FormQuandrel);
  DataModule1 = new TDataModule1(FormQuandrel);
  FormPlayList = new TFormPlayList(FormQuandrel);
  FormDatenBearbeiten = new TFormDatenBearbeiten(FormQuandrel);
  FormScan = new TFormScan(FormQuandrel);
  FormProgress = new TFormProgress(FormQuandrel);
  AboutBox = new TAboutBox(FormQuandrel);
  FormSprache = new TFormSprache(FormQuandrel);
  FormQReport = new TFormQReport(FormQuandrel);
  FormQReport->hide();
  FormDruckauswahl = new TFormDruckauswahl(FormQuandrel);
  FormAnalyse = new TFormAnalyse(FormQuandrel);

  // The playlist window's start and close tick and untick autoplay.
  QObject::connect(FormPlayList, &TFormPlayList::autoPlaySwitched, FormQuandrel->cbAutoPlay,
                   &QCheckBox::setChecked);
  // The song table writes tags back only while the editor is open.
  DataModule1->editorVisible = [] {
    return FormDatenBearbeiten && FormDatenBearbeiten->isVisible();
  };
}

void showMainWindow() { FormQuandrel->show(); }

void saveScreenshotAndQuit(const QString& file) {
  // A second leaves room for the first show's work and the first paint.
  QTimer::singleShot(1000, FormQuandrel, [file] {
    QWidget* shown = FormQuandrel;
    QString help;
    if (qEnvironmentVariableIsSet("QUANDREL_SCREENSHOT_HELP")) {
      // The help window of the main window instead (F1), when its file is
      // found; the line names the file, so a check sees where it came from.
      const QString found = qdl::help::locate(qdl::help::helpFileOf(FormQuandrel));
      help = QStringLiteral(" | help: %1").arg(found.isEmpty() ? QStringLiteral("missing") : found);
      if (!found.isEmpty()) {
        qdl::help::helpKeyPressed(FormQuandrel);
        if (QWidget* window = qdl::help::helpWindow()) shown = window;
      }
    }
    const bool saved = shown->grab().save(file, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s: %s | %s%s\n", saved ? "saved" : "cannot write",
                 qPrintable(file), qPrintable(FormQuandrel->windowTitle()),
                 qPrintable(FormQuandrel->StatusBarData->simpleText()), qPrintable(help));
    std::fflush(stdout);
    QApplication::exit(saved ? 0 : 1);
  });
}

void destroyWindows() {
  delete FormQuandrel;  // its controls first, then the windows it owns, in creation order
  FormQuandrel = nullptr;
  DlgGeraete = nullptr;
  DataModule1 = nullptr;
  FormPlayList = nullptr;
  FormDatenBearbeiten = nullptr;
  FormScan = nullptr;
  FormProgress = nullptr;
  AboutBox = nullptr;
  FormSprache = nullptr;
  FormQReport = nullptr;
  FormDruckauswahl = nullptr;
  FormAnalyse = nullptr;
}

}  // namespace qdl::app
