#pragma once
// The check and scan window: keeps the song library in step with the disks.
//
// GroupBox1 holds one check box per offered folder and mounted volume
// (`Drives`, captioned with the folder or mount point), the "Folder…"
// button (btFolder) and the three volume-kind boxes. The user's music
// folder and home folder come first (the music folder ticked; the home
// folder ticked only when there is no music folder), then the volumes in
// mount-point order, then the folders chosen with btFolder (ticked).
// Each showing and each click on a kind box rebuilds the list: every box is
// cleared and disabled, then fixed volumes are enabled and ticked always,
// network volumes with cbNet, optical ones with cbCDRom, removable ones with
// cbChange. So such a click throws away the user's own ticks.
//
// Start runs the mode of RGBedingung (0 check and scan, 1 only check, 2 only
// scan; the check is skipped while the library is empty) inside its handler
// with the progress window (FormProgress) up, then closes both windows and
// signals workDone. The work uses the file-name order; afterwards the song
// table is back in the order it had and on the record that was current
// (when that record is still there). A library that cannot be written is
// refused with a message before anything starts.
// While the work runs, only the progress window takes input; timers (the
// decks' refills) and repaints go on, and its Cancel stops the work after
// the current file or record, keeping what was done. The work itself is
// qdl::library::SongScanner; the walk never enters another volume's mount
// point nor a pseudo file system.
//
// Uses the globals DataModule1 and FormProgress. Everything runs on the
// user-interface thread.

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <functional>
#include <memory>

#include "platform/fs/Volumes.h"

class QGroupBox;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
namespace qdl::ui {
class RadioGroup;
}
namespace qdl::library {
class SongScanner;
}

class TFormScan : public QDialog {
  Q_OBJECT
 public:
  explicit TFormScan(QWidget* parent = nullptr);
  ~TFormScan() override;

  QGroupBox* GroupBox1;
  QCheckBox* cbNet;
  QCheckBox* cbCDRom;
  QCheckBox* cbChange;
  qdl::ui::RadioGroup* RGBedingung;
  // Ticked: a scan that ran to its end starts the tempo analysis of the
  // songs still to do (FormAnalyse) once the window has closed.
  QCheckBox* cbTempo;
  // Ticked: a Start that scans first reads the tags of the songs of the
  // ticked volumes that are in the library already again
  // (SongScanner::retagRoot), keeping cue points and typed tempos.
  QCheckBox* cbRetag;
  QPushButton* btStart;
  QPushButton* btCancel;
  QPushButton* btHelp;
  // Below the boxes of the list: adds a folder the user chooses.
  QPushButton* btFolder;

  // One box per offered folder or mounted volume; rebuilt on each show.
  QList<QCheckBox*> Drives;
  // The volume of each box of Drives; a folder has the type kFolderType.
  QList<qdl::fs::Volume> DriveVolumes;
  // The folders chosen with btFolder, kept while the window lives.
  QStringList ChosenFolders;

  // The file-system type of a listed folder that is no mount point.
  static const QString kFolderType;

  // Where the offered folders and volumes and the mount points come from,
  // and what the check knows about volumes that are not mounted; the
  // running system's unless replaced (tests). The default volume source
  // lists the user's music and home folders (kFolderType) before the
  // mounted volumes.
  std::function<QList<qdl::fs::Volume>()> volumeSource;
  // Asks for a folder to add; an empty text when cancelled. A folder dialog
  // unless replaced (tests).
  std::function<QString()> folderChooser;
  std::function<QStringList()> mountPointSource;
  std::function<qdl::fs::VolumeMap()> volumeMapSource;

  // Handlers.
  void FormShow();
  void cbNetClick();
  void cbCDRomClick();
  void cbChangeClick();
  void btStartClick();
  void btFolderClick();

  // The steps of the work; each needs btStartClick's scanner, so they are
  // only meaningful while it runs (else they start one of their own).
  void CheckDatabase();
  void ScanFolder(const QString& folder);
  void WalkFolders(const QString& folder);

  // The scanner of the running Start, or nullptr.
  qdl::library::SongScanner* scanner() const { return scanner_.get(); }

 signals:
  // A Start has ended (done, cancelled or failed): the library may have
  // changed.
  void workDone();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildDriveList();
  QCheckBox* addDriveBox(const qdl::fs::Volume& volume);
  void runScan();
  void step(int kind);
  void showStatus();
  qdl::library::SongScanner& ensureScanner();

  QScrollArea* driveArea_;
  QVBoxLayout* driveLayout_;
  std::unique_ptr<qdl::library::SongScanner> scanner_;
  bool checking_ = false;
  bool retagging_ = false;
  QElapsedTimer sinceEvents_;
  QElapsedTimer sinceStatus_;
};

extern TFormScan* FormScan;
