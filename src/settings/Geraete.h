#pragma once
// The sound device settings dialog: output mode and sound cards.
//
// Each showing lists the system's output devices into both card lists (and
// refreshes "present Devices" among the changes it gathers for qdl.ini),
// then preselects the stored mode and cards from section "Devices". OK
// refuses the same text in both lists and otherwise writes "Mode", "Card_1"
// (CB_Aux), "Card_2" (CB_Head) and "OutputBuffer" (CB_Buffer) with the
// gathered "present Devices" in one write that changes only those lines, and
// gives the open cards the chosen output buffer at once; Cancel writes nothing at all, so the
// file stays byte for byte as it was. The settings file is held from the
// show until the dialog closes. Everything runs on the user-interface thread.
//
// The labels of modes 1 and 2 come from the string table of FormSprache.
// Before the first language is applied (the first-start showing) the table
// is empty; the dialog then shows the German texts instead of blank labels.

#include <QDialog>
#include <QString>
#include <optional>

#include "platform/ini/IniFile.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
namespace qdl::ui {
class RadioGroup;
}

class TDlgGeraete : public QDialog {
  Q_OBJECT
 public:
  // Help context number of the dialog.
  static constexpr int kHelpContext = 40;

  explicit TDlgGeraete(QWidget* parent = nullptr);
  ~TDlgGeraete() override;

  // Controls; object names equal the member names.
  qdl::ui::RadioGroup* rgMode;  // 0 one card, 1 Aux/Head, 2 left/right
  QLabel* Label1;
  QComboBox* CB_Aux;  // "Card_1": the only card, the main output or the left deck's card
  QLabel* Label2;
  QComboBox* CB_Head;  // "Card_2": the headphone card or the right deck's card
  // "OutputBuffer": the cards' output buffer, one item per choice in
  // milliseconds ("3", ...; the tool tip says what it is), in the free
  // corner left of the buttons.
  QComboBox* CB_Buffer;
  QFrame* Bevel1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QPushButton* btHelp;

  // Handlers.
  // Opens qdl.ini in the current directory and holds it until the dialog
  // closes; lists the devices into both lists (fewer than two: mode 0 with
  // the mode group disabled); selects the stored mode (default 1 with two or
  // more cards, else 0) with its labels; sets the stored card texts, the
  // first listed card when "Card_1" is empty; selects the stored output
  // buffer. A listing that fails, a mode that is no integer or a broken
  // output buffer (the default is selected) goes to the error display; a bad
  // mode skips the cards.
  void FormShow();
  // Applies the selected mode: mode 0 shows "Soundkartenauswahl", an empty
  // Label2 and hides CB_Head with its text emptied; modes 1 and 2 enable the
  // mode group, take both labels from the string table and show CB_Head.
  // Runs by itself whenever rgMode's selection changes (by the user or the
  // program); callers that reset rgMode may call it again, it is idempotent.
  void rgModeClick();
  // Equal card texts, or the headphone mode without a headphone card: a
  // refusal message, nothing written, the dialog stays open. Otherwise
  // writes "Devices" Mode, Card_1, Card_2, OutputBuffer and the listed
  // devices, sets the cards' output buffer and closes with result OK; a
  // refused write goes to the error display and keeps it open.
  void OKBtnClick();
  // The output buffer chosen (milliseconds).
  int chosenBuffer() const;
  // After OK: the mode or a card changed, which takes effect at the next
  // start (the output buffer takes effect at once).
  bool restartNeeded() const { return restartNeeded_; }
  // Closes with result Cancel; the file is not written.
  void CancelBtnClick();
  // Opens the dialog's help file at context kHelpContext.
  void btHelpClick();
  // Lets go of the settings file opened by FormShow and of changes not
  // written.
  void FormClose();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void centreOnScreen();
  // In modes 1 and 2 with no second card chosen: the first listed card that
  // is not the first choice.
  void preselectSecondCard();

  std::optional<qdl::IniFile> settings_;
  // Mode, Card_1 and Card_2 as stored when the dialog showed.
  QString shownMode_, shownCard1_, shownCard2_;
  bool restartNeeded_ = false;
  int shownBuffer_ = 0;  // the output buffer stored, 0 when it was broken
};

// The program's one device dialog; nullptr until the program creates it.
extern TDlgGeraete* DlgGeraete;
