#include "library/Scan.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/Datamod.h"
#include "library/KeepPlace.h"
#include "library/Progress.h"
#include "library/ScanRoots.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"

TFormScan* FormScan = nullptr;

const QString TFormScan::kFolderType = QStringLiteral("folder");

namespace {

using qdl::library::SongScanner;

// While the work runs it lets the event loop run this often, so that the
// decks' 10 ms refill timers keep their pace and the windows repaint.
constexpr int kEventIntervalMs = 4;
// And shows the folder and the counts this often.
constexpr int kStatusIntervalMs = 100;

QStringList systemMountPoints() {
  return qdl::fs::mountPointsFromMountTable(qdl::fs::readMountTable());
}

// A text of the string table, or its German text while the table is empty.
QString scanText(QString ScanTexte::*entry, const char16_t* german) {
  const QString text = FormSprache ? FormSprache->Scan.*entry : QString();
  return text.isEmpty() ? QString::fromUtf16(german) : text;
}

// The user's music and home folders, then the mounted volumes.
// A folder that is itself a volume's mount point is listed as that volume.
QList<qdl::fs::Volume> offeredVolumes() {
  const QList<qdl::fs::Volume> volumes = qdl::fs::mountedVolumes();
  QList<qdl::fs::Volume> offered;
  for (const QString& folder : qdl::library::currentPersonalFolders()) {
    const bool isVolume = std::any_of(volumes.begin(), volumes.end(), [&](const auto& v) {
      return QDir::cleanPath(v.mountPoint) == folder;
    });
    if (!isVolume)
      offered << qdl::fs::Volume{folder, QString(), TFormScan::kFolderType,
                                 qdl::fs::VolumeKind::Fixed};
  }
  return offered + volumes;
}

// A volume's folder with the trailing slash the walk expects.
QString rootOf(const QString& mountPoint) {
  return mountPoint.endsWith(QLatin1Char('/')) ? mountPoint : mountPoint + QLatin1Char('/');
}

}  // namespace

TFormScan::TFormScan(QWidget* parent)
    : QDialog(parent),
      volumeSource(offeredVolumes),
      mountPointSource(systemMountPoints),
      volumeMapSource(qdl::fs::VolumeMap::current) {
  setObjectName(QStringLiteral("FormScan"));
  setWindowTitle(QStringLiteral("Check & Scan"));
  setFixedSize(420, 300);
  GroupBox1 = new QGroupBox(QStringLiteral("zu durchsuchende Laufwerke"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 404, 170);
  // The volume boxes, in a list that scrolls when there are many volumes.
  driveArea_ = new QScrollArea(GroupBox1);
  driveArea_->setObjectName(QStringLiteral("DriveArea"));
  driveArea_->setGeometry(8, 20, 388, 114);
  driveArea_->setWidgetResizable(true);
  driveArea_->setFrameShape(QFrame::NoFrame);
  auto* driveList = new QWidget;
  driveLayout_ = new QVBoxLayout(driveList);
  driveLayout_->setContentsMargins(0, 0, 0, 0);
  driveLayout_->setSpacing(2);
  // The list ends with the button that adds a folder of the user's choice.
  btFolder = new QPushButton(QStringLiteral("Ordner…"), driveList);
  btFolder->setObjectName(QStringLiteral("btFolder"));
  btFolder->setFixedWidth(110);
  driveLayout_->addWidget(btFolder, 0, Qt::AlignLeft);
  driveLayout_->addStretch();
  driveArea_->setWidget(driveList);
  folderChooser = [this] {
    return QFileDialog::getExistingDirectory(this, btFolder->text().remove(QLatin1Char('&')),
                                             QDir::homePath());
  };
  cbNet = new QCheckBox(QStringLiteral("mit Netzlaufwerken"), GroupBox1);
  cbNet->setObjectName(QStringLiteral("cbNet"));
  cbNet->setChecked(true);
  cbNet->setGeometry(8, 140, 150, 20);
  cbCDRom = new QCheckBox(QStringLiteral("mit CDROM"), GroupBox1);
  cbCDRom->setObjectName(QStringLiteral("cbCDRom"));
  cbCDRom->setChecked(true);
  cbCDRom->setGeometry(160, 140, 100, 20);
  cbChange = new QCheckBox(QStringLiteral("mit Wechselmedien"), GroupBox1);
  cbChange->setObjectName(QStringLiteral("cbChange"));
  cbChange->setChecked(true);
  cbChange->setGeometry(262, 140, 140, 20);
  RGBedingung = new qdl::ui::RadioGroup(this, 3);
  RGBedingung->setObjectName(QStringLiteral("RGBedingung"));
  RGBedingung->setTitle(QStringLiteral("Scanbedingungen"));
  RGBedingung->setItems(
      {QStringLiteral("Check + Scan"), QStringLiteral("nur Check"), QStringLiteral("nur Scan")});
  RGBedingung->setItemIndex(0);
  RGBedingung->setGeometry(8, 184, 404, 60);
  cbTempo = new QCheckBox(QStringLiteral("Tempo neuer Titel analysieren"), this);
  cbTempo->setObjectName(QStringLiteral("cbTempo"));
  cbTempo->setGeometry(10, 245, 300, 18);
  // Between the Cancel and Help buttons, the one place left in the window.
  cbRetag = new QCheckBox(QStringLiteral("Tags neu lesen"), this);
  cbRetag->setObjectName(QStringLiteral("cbRetag"));
  cbRetag->setGeometry(202, 267, 116, 20);
  btStart = new QPushButton(QStringLiteral("&Start"), this);
  btStart->setObjectName(QStringLiteral("btStart"));
  btStart->setGeometry(8, 264, 90, 25);
  btCancel = new QPushButton(QStringLiteral("&Abbruch"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setGeometry(104, 264, 90, 25);
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  btHelp->setGeometry(322, 264, 90, 25);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  qdl::help::setHelpContext(this, 30);
  qdl::help::attachHelpKey(this);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
  connect(cbNet, &QCheckBox::clicked, this,
          [this] { qdl::ui::guarded(this, [this] { cbNetClick(); }); });
  connect(cbCDRom, &QCheckBox::clicked, this,
          [this] { qdl::ui::guarded(this, [this] { cbCDRomClick(); }); });
  connect(cbChange, &QCheckBox::clicked, this,
          [this] { qdl::ui::guarded(this, [this] { cbChangeClick(); }); });
  connect(btStart, &QPushButton::clicked, this,
          [this] { qdl::ui::guarded(this, [this] { btStartClick(); }); });
  connect(btFolder, &QPushButton::clicked, this,
          [this] { qdl::ui::guarded(this, [this] { btFolderClick(); }); });
}

TFormScan::~TFormScan() = default;

void TFormScan::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  qdl::ui::guarded(this, [this] { FormShow(); });
}

// ---- The drive list --------------------------------------------------------

void TFormScan::FormShow() { buildDriveList(); }
void TFormScan::cbNetClick() { buildDriveList(); }
void TFormScan::cbCDRomClick() { buildDriveList(); }
void TFormScan::cbChangeClick() { buildDriveList(); }

QCheckBox* TFormScan::addDriveBox(const qdl::fs::Volume& v) {
  auto* box = new QCheckBox(v.mountPoint);
  box->setObjectName(QStringLiteral("Drive%1").arg(Drives.size()));
  box->setToolTip(v.fsType == kFolderType ? v.mountPoint
                                          : QStringLiteral("%1 (%2)").arg(v.device, v.fsType));
  // Before the folder button and the stretch.
  driveLayout_->insertWidget(driveLayout_->count() - 2, box);
  Drives << box;
  DriveVolumes << v;
  return box;
}

void TFormScan::buildDriveList() {
  qDeleteAll(Drives);
  Drives.clear();
  const QList<qdl::fs::Volume> volumes = volumeSource ? volumeSource() : QList<qdl::fs::Volume>{};
  DriveVolumes.clear();
  for (const qdl::fs::Volume& v : volumes) {
    QCheckBox* box = addDriveBox(v);
    box->setChecked(false);
    box->setEnabled(false);
  }
  for (const QString& folder : std::as_const(ChosenFolders))
    addDriveBox({folder, QString(), kFolderType, qdl::fs::VolumeKind::Fixed});

  // Of the user's own folders only the first (the music folder, or the home
  // folder when there is none) is ticked: the home folder holds much more
  // than music. Chosen folders are ticked.
  int personal = 0;
  for (int i = 0; i < Drives.size(); ++i) {
    if (DriveVolumes[i].fsType != kFolderType) continue;
    const bool chosen = i >= volumes.size();
    Drives[i]->setEnabled(true);
    Drives[i]->setChecked(chosen || personal == 0);
    if (!chosen) ++personal;
  }
  for (int i = 0; i < Drives.size(); ++i) {
    if (DriveVolumes[i].fsType == kFolderType) continue;
    bool offered = false;
    switch (DriveVolumes[i].kind) {
      case qdl::fs::VolumeKind::Fixed:
        offered = true;
        break;
      case qdl::fs::VolumeKind::Network:
        offered = cbNet->isChecked();
        break;
      case qdl::fs::VolumeKind::Optical:
        offered = cbCDRom->isChecked();
        break;
      case qdl::fs::VolumeKind::Removable:
        offered = cbChange->isChecked();
        break;
    }
    Drives[i]->setEnabled(offered);
    Drives[i]->setChecked(offered);
  }
}

void TFormScan::btFolderClick() {
  const QString chosen = folderChooser ? folderChooser() : QString();
  if (chosen.isEmpty()) return;
  const QString folder = QDir::cleanPath(QDir(chosen).absolutePath());
  for (int i = 0; i < Drives.size(); ++i) {
    if (QDir::cleanPath(DriveVolumes[i].mountPoint) == folder) {
      // Listed already: ticking it is what the user wants.
      Drives[i]->setEnabled(true);
      Drives[i]->setChecked(true);
      return;
    }
  }
  ChosenFolders << folder;
  QCheckBox* box = addDriveBox({folder, QString(), kFolderType, qdl::fs::VolumeKind::Fixed});
  box->setChecked(true);
  driveArea_->ensureWidgetVisible(btFolder);
}

// ---- Start -----------------------------------------------------------------

SongScanner& TFormScan::ensureScanner() {
  if (!scanner_) {
    scanner_ = std::make_unique<SongScanner>(*DataModule1);
    scanner_->onStep = [this](SongScanner::Step s) { step(int(s)); };
  }
  return *scanner_;
}

void TFormScan::btStartClick() {
  qdl::db::Table& table = *DataModule1->Table1;
  if (table.isOpen() && table.isReadOnly()) {
    qdl::ui::showMessage(
        this, FormSprache ? FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt : table.filePath(),
        FormSprache ? FormSprache->Meldung.sAchtung : QString());
    return;
  }
  const int mode = RGBedingung->itemIndex();
  SongScanner& scanner = ensureScanner();
  scanner.setMountPoints(mountPointSource ? mountPointSource() : QStringList{});
  if (volumeMapSource) scanner.setVolumeMap(volumeMapSource());
  const QMetaObject::Connection cancel =
      connect(FormProgress, &TFormProgress::cancelClicked, this, [this] {
        if (scanner_) scanner_->cancel();
      });
  sinceEvents_.start();
  sinceStatus_.start();
  // Whatever happens, both windows close, the table is back in its order
  // and the next Start begins afresh.
  struct Finally {
    TFormScan* form;
    QMetaObject::Connection connection;
    bool analyse = false;
    ~Finally() {
      QObject::disconnect(connection);
      FormProgress->endWork();
      form->scanner_.reset();
      form->close();
      emit form->workDone();
      // After the handler has returned, so a first-start scan's dialog is
      // closed and the console set up.
      if (analyse && FormAnalyse) QTimer::singleShot(0, FormAnalyse, &TFormAnalyse::Start);
    }
  } finally{this, cancel};
  const qdl::library::KeepPlace place(table);

  const bool check = mode == 0 || mode == 1;
  const bool scan = mode == 0 || mode == 2;
  if (check && table.recordCount() >= 1) CheckDatabase();
  if (scan && !scanner.cancelled()) runScan();
  finally.analyse = scan && cbTempo->isChecked() && !scanner.cancelled();
}

void TFormScan::runScan() {
  SongScanner& scanner = ensureScanner();
  checking_ = false;
  FormProgress->startWork(
      scanText(&ScanTexte::sScanFortschritt, u"scanne Hardisk und integriere mp3-Dateien in DB"),
      10000);
  showStatus();
  // The ticked volumes as they stand now: nothing that runs while the work
  // processes events can change what is scanned.
  QStringList ticked;
  for (int i = 0; i < Drives.size(); ++i)
    if (Drives[i]->isChecked()) ticked << rootOf(DriveVolumes[i].mountPoint);
  // A ticked folder inside another ticked one on the same volume is walked
  // with that one, not twice.
  const QStringList roots =
      qdl::library::rootsToWalk(ticked, mountPointSource ? mountPointSource() : QStringList{});
  const bool retag = cbRetag->isChecked();
  for (const QString& root : std::as_const(roots)) {
    if (scanner.cancelled()) break;
    if (retag) {
      // Before the scan, so that the songs it adds are not read twice.
      retagging_ = true;
      showStatus();
      scanner.retagRoot(root);
      retagging_ = false;
      if (scanner.cancelled()) break;
    }
    scanner.scanRoot(root);
  }
}

void TFormScan::CheckDatabase() {
  SongScanner& scanner = ensureScanner();
  checking_ = true;
  FormProgress->startWork(scanText(&ScanTexte::sCheckFortschritt, u"überprüfe Datenbank"),
                          DataModule1->Table1->recordCount());
  showStatus();
  scanner.checkDatabase();
  showStatus();  // the final counts
  FormProgress->endWork();
  checking_ = false;
}

void TFormScan::ScanFolder(const QString& folder) { ensureScanner().scanFolder(folder); }

void TFormScan::WalkFolders(const QString& folder) { ensureScanner().walkFolders(folder); }

// One step of the work: the bar moves on per folder (scan) or per record
// (check); every few milliseconds the event loop runs, so timers fire, the
// windows repaint and the progress window's Cancel can be pressed.
void TFormScan::step(int kind) {
  const auto s = SongScanner::Step(kind);
  if (s == SongScanner::Step::Folder) FormProgress->advance(true);
  if (s == SongScanner::Step::Record) FormProgress->advance(false);
  if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventIntervalMs) return;
  if (!sinceStatus_.isValid() || sinceStatus_.elapsed() >= kStatusIntervalMs) {
    showStatus();
    sinceStatus_.start();
  }
  sinceEvents_.start();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TFormScan::showStatus() {
  if (!scanner_) return;
  const qdl::library::ScanCounts& c = scanner_->counts();
  if (checking_) {
    FormProgress->setStatus(QStringLiteral("%1 / %2\n-%3    %4 %5")
                                .arg(c.checked)
                                .arg(FormProgress->ProgressBar1->maximum())
                                .arg(c.removed)
                                .arg(c.notReachable)
                                .arg(FormSprache ? FormSprache->Bibliothek.sNichtErreichbar
                                                 : QStringLiteral("nicht erreichbar")));
  } else if (retagging_) {
    FormProgress->setStatus(QStringLiteral("%1\nTags: %2    *%3")
                                .arg(scanner_->currentFolder())
                                .arg(c.tagsRead)
                                .arg(c.retagged));
  } else {
    FormProgress->setStatus(QStringLiteral("%1\nMP3: %2    +%3")
                                .arg(scanner_->currentFolder())
                                .arg(c.filesFound)
                                .arg(c.added));
  }
}
