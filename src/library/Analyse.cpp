#include "library/Analyse.h"

#include <QDir>
#include <QProgressBar>
#include <exception>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/TempoAnalysis.h"
#include "platform/db/Table.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Dialogs.h"

TFormAnalyse* FormAnalyse = nullptr;

TFormAnalyse::TFormAnalyse(QWidget* parent) : TFormProgress(parent) {
  setObjectName(QStringLiteral("FormAnalyse"));
  connect(this, &TFormProgress::cancelClicked, this, [this] {
    if (analysis_) analysis_->cancel();
  });
}

TFormAnalyse::~TFormAnalyse() { Stop(); }

bool TFormAnalyse::isRunning() const { return analysis_ && analysis_->isRunning(); }

qdl::library::TempoAnalysis* TFormAnalyse::analysis() {
  if (!analysis_) {
    analysis_ = new qdl::library::TempoAnalysis(*DataModule1->Table1, this);
    connect(analysis_, &qdl::library::TempoAnalysis::resultHandled, this, &TFormAnalyse::showCount);
    connect(analysis_, &qdl::library::TempoAnalysis::finished, this, &TFormAnalyse::ended);
  }
  return analysis_;
}

void TFormAnalyse::Start() {
  if (isRunning()) {
    show();
    raise();
    return;
  }
  QWidget* parent = parentWidget();
  const QString caption = FormSprache ? FormSprache->Meldung.sAchtung : QString();
  qdl::db::Table& table = *DataModule1->Table1;
  if (table.isOpen() && table.isReadOnly()) {
    qdl::ui::showMessage(
        parent,
        FormSprache ? FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt : table.filePath(),
        caption);
    return;
  }
  int count = 0;
  try {
    count = analysis()->start(qdl::library::tempoRangeSetting(qdl::openSettings()));
  } catch (const std::exception& e) {
    qdl::ui::dialogs().showError(parent, QString::fromUtf8(e.what()));
    return;
  }
  if (count == 0) {
    qdl::ui::showMessage(parent, FormSprache ? FormSprache->Tempo.sAllesAnalysiert : QString(),
                         caption);
    return;
  }
  startWork(FormSprache ? FormSprache->Tempo.sTempoTitel : QString(), count, Qt::NonModal);
  showCount();
}

void TFormAnalyse::Stop() {
  if (!analysis_) return;
  delete analysis_;  // cancels and waits for the worker
  analysis_ = nullptr;
  if (isWorking()) endWork();
}

void TFormAnalyse::showCount() {
  if (!analysis_) return;
  const qdl::library::TempoCounts& c = analysis_->counts();
  ProgressBar1->setValue(c.handled());
  // The count and the last song's tempo, then that song's file (whose
  // start the window cuts when it is long).
  QString text = FormSprache ? FormSprache->Tempo.sTempoStand.arg(c.handled()).arg(c.total())
                             : QStringLiteral("%1 / %2").arg(c.handled()).arg(c.total());
  if (!analysis_->lastFile().isEmpty())
    text += QStringLiteral("    ") +
            (analysis_->lastBpm() > 0 ? QStringLiteral("%1 BPM").arg(analysis_->lastBpm())
                                      : (FormSprache ? FormSprache->Tempo.sKeinTempo : QString()));
  if (c.notReachable > 0)
    text += QStringLiteral("    %1 %2")
                .arg(c.notReachable)
                .arg(FormSprache ? FormSprache->Bibliothek.sNichtErreichbar : QString());
  text += QLatin1Char('\n') + QDir::toNativeSeparators(analysis_->lastFile());
  setStatus(text);
}

void TFormAnalyse::ended() {
  endWork();
  if (analysis_ && !analysis_->error().isEmpty())
    qdl::ui::dialogs().showError(parentWidget(), analysis_->error());
  emit workDone();
}
