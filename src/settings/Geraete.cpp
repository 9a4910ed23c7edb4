#include "settings/Geraete.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

#include "audio/Dsutil.h"
#include "lang/Sprache.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"

TDlgGeraete* DlgGeraete = nullptr;

namespace {

const QString kDevices = QStringLiteral("Devices");
const QString kMode = QStringLiteral("Mode");
const QString kCard1 = QStringLiteral("Card_1");
const QString kCard2 = QStringLiteral("Card_2");

// CB_Buffer's tool tip until the language is applied.
const QString kAusgabepuffer = QStringLiteral("Ausgabepuffer in ms (Latenz)");
const QString kOutputBuffer = QString::fromLatin1(qdl::kOutputBufferKey);

// Label1 in mode 0, the same in both languages.
const QString kSoundkartenauswahl = QStringLiteral("Soundkartenauswahl");

// An entry of the string table, or its German text while the table is still
// empty (before the first language is applied, or without a language window).
template <typename Group>
QString tableText(Group TFormSprache::*group, QString Group::*entry, const QString& german) {
  const QString text = FormSprache ? FormSprache->*group.*entry : QString();
  return text.isEmpty() ? german : text;
}

QString geraeteText(QString GeraeteTexte::*entry, const QString& german) {
  return tableText(&TFormSprache::Geraete, entry, german);
}

QString meldungText(QString MeldungTexte::*entry, const QString& german) {
  return tableText(&TFormSprache::Meldung, entry, german);
}

}  // namespace

TDlgGeraete::TDlgGeraete(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgGeraete"));
  setWindowTitle(QStringLiteral("Geräteeinstellung"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(321, 187);
  rgMode = new qdl::ui::RadioGroup(this, 3);
  rgMode->setObjectName(QStringLiteral("rgMode"));
  rgMode->setTitle(QStringLiteral("Soundkartenmodus"));
  rgMode->setItems(
      {QStringLiteral("nur eine"), QStringLiteral("Aux/Head"), QStringLiteral("links/rechts")});
  rgMode->setItemIndex(0);
  rgMode->setGeometry(8, 4, 305, 48);
  // Three items in one row: keep the row's margins small so the buttons fit
  // the group's fixed height under its title.
  rgMode->layout()->setContentsMargins(8, 0, 8, 2);
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::StyledPanel);
  Bevel1->setGeometry(8, 56, 305, 92);
  Label1 = new QLabel(QStringLiteral("Soundkarte für Ausgang "), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 60, 289, 16);
  CB_Aux = new QComboBox(this);
  CB_Aux->setObjectName(QStringLiteral("CB_Aux"));
  CB_Aux->setEditable(true);
  // Typed texts stay texts: the lists hold exactly the listed devices.
  CB_Aux->setInsertPolicy(QComboBox::NoInsert);
  CB_Aux->setGeometry(16, 78, 289, 22);
  Label2 = new QLabel(QStringLiteral("Soundkarte für Kopfhörer"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(16, 104, 289, 16);
  CB_Head = new QComboBox(this);
  CB_Head->setObjectName(QStringLiteral("CB_Head"));
  CB_Head->setEditable(true);
  CB_Head->setInsertPolicy(QComboBox::NoInsert);
  CB_Head->setGeometry(16, 122, 289, 22);
  CB_Buffer = new QComboBox(this);
  CB_Buffer->setObjectName(QStringLiteral("CB_Buffer"));
  for (const int ms : qdl::sound::kOutputBufferChoices) CB_Buffer->addItem(QString::number(ms), ms);
  CB_Buffer->setCurrentIndex(CB_Buffer->findData(qdl::sound::kDefaultOutputBuffer));
  CB_Buffer->setToolTip(kAusgabepuffer);
  CB_Buffer->setAccessibleName(kAusgabepuffer);
  CB_Buffer->setGeometry(8, 156, 58, 25);
  OKBtn = new QPushButton(QStringLiteral("&OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  OKBtn->setGeometry(72, 156, 75, 25);
  CancelBtn = new QPushButton(QStringLiteral("&Abbruch"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(156, 156, 75, 25);
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  btHelp->setGeometry(240, 156, 75, 25);

  qdl::help::setHelpContext(this, kHelpContext);
  qdl::help::attachHelpKey(this);

  connect(rgMode, &qdl::ui::RadioGroup::itemIndexChanged, this, [this] { rgModeClick(); });
  connect(OKBtn, &QPushButton::clicked, this, &TDlgGeraete::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TDlgGeraete::CancelBtnClick);
  connect(btHelp, &QPushButton::clicked, this, &TDlgGeraete::btHelpClick);
}

TDlgGeraete::~TDlgGeraete() {
  if (DlgGeraete == this) DlgGeraete = nullptr;
}

void TDlgGeraete::FormShow() {
  // The file is taken from the current directory as it is now and kept for
  // the OK click, even if the current directory changes meanwhile. What the
  // dialog writes (the listed devices too) is gathered and written only on
  // OK: Cancel leaves the file as it was, byte for byte.
  settings_.emplace(qdl::openSettings());

  // The lists are rebuilt at every showing. A listing that fails leaves them
  // as far as it got; the stored choice is still shown, so the user can keep
  // or cancel it.
  CB_Aux->clear();
  CB_Head->clear();
  qdl::ui::guarded(this, [this] {
    settings_->beginChanges();
    qdl::listSoundDevices(*settings_, [this](const QString& description) {
      CB_Aux->addItem(description);
      CB_Head->addItem(description);
    });
  });

  qdl::ui::guarded(this, [this] {
    // A mode group disabled by an earlier showing with one card must not stay
    // disabled now that there may be two.
    rgMode->setEnabled(true);
    int defaultMode = 1;
    if (CB_Aux->count() < 2) {
      // One card (or none): only mode 0 makes sense.
      {
        const QSignalBlocker quiet(rgMode);
        rgMode->setItemIndex(0);
      }
      rgMode->setEnabled(false);
      Label1->setText(kSoundkartenauswahl);
      Label2->clear();
      CB_Head->hide();
      defaultMode = 0;
    }
    // A mode that is no integer ends the preparation here.
    const int mode = settings_->readInteger(kDevices, kMode, defaultMode);
    {
      const QSignalBlocker quiet(rgMode);
      rgMode->setItemIndex(mode);
    }
    rgModeClick();

    // After the mode: in mode 0 the hidden CB_Head keeps the stored text.
    CB_Aux->setEditText(settings_->readString(kDevices, kCard1, QString()));
    CB_Head->setEditText(settings_->readString(kDevices, kCard2, QString()));
    if (CB_Aux->currentText().isEmpty() && CB_Aux->count() > 0)
      CB_Aux->setEditText(CB_Aux->itemText(0));
    preselectSecondCard();
  });
  shownMode_ = settings_->readString(kDevices, kMode, QString());
  shownCard1_ = settings_->readString(kDevices, kCard1, QString());
  shownCard2_ = settings_->readString(kDevices, kCard2, QString());
  restartNeeded_ = false;

  // A broken setting is named and the default is offered in its place.
  CB_Buffer->setCurrentIndex(CB_Buffer->findData(qdl::sound::kDefaultOutputBuffer));
  shownBuffer_ = 0;
  qdl::ui::guarded(this, [this] {
    shownBuffer_ = qdl::outputBufferSetting(*settings_);
    CB_Buffer->setCurrentIndex(CB_Buffer->findData(shownBuffer_));
  });
}

int TDlgGeraete::chosenBuffer() const {
  const int ms = CB_Buffer->currentData().toInt();
  return qdl::sound::outputBufferFrames(ms) > 0 ? ms : qdl::sound::kDefaultOutputBuffer;
}

void TDlgGeraete::preselectSecondCard() {
  // A mode with a second card and none chosen for it: the first listed card
  // other than the first choice (at the first start, the second card).
  if (rgMode->itemIndex() == 0 || !CB_Head->currentText().isEmpty()) return;
  for (int i = 0; i < CB_Head->count(); ++i)
    if (CB_Head->itemText(i) != CB_Aux->currentText()) {
      CB_Head->setEditText(CB_Head->itemText(i));
      return;
    }
}

void TDlgGeraete::rgModeClick() {
  switch (rgMode->itemIndex()) {
    case 0:
      Label1->setText(kSoundkartenauswahl);
      Label2->clear();
      CB_Head->hide();
      CB_Head->clearEditText();
      break;
    case 1:
      rgMode->setEnabled(true);
      Label1->setText(
          geraeteText(&GeraeteTexte::sKarteAusgang, QStringLiteral("Soundkarte Ausgang")));
      Label2->setText(
          geraeteText(&GeraeteTexte::sKarteKopfhoerer, QStringLiteral("Soundkarte Kopfhörer")));
      CB_Head->show();
      break;
    case 2:
      rgMode->setEnabled(true);
      Label1->setText(geraeteText(&GeraeteTexte::sKarteLinkerPlayer,
                                  QStringLiteral("Soundkarte linker Player")));
      Label2->setText(geraeteText(&GeraeteTexte::sKarteRechterPlayer,
                                  QStringLiteral("Soundkarte rechter Player")));
      CB_Head->show();
      break;
    default:  // no item selected: nothing to apply
      break;
  }
  preselectSecondCard();
}

void TDlgGeraete::OKBtnClick() {
  const QString card1 = CB_Aux->currentText();
  const QString card2 = CB_Head->currentText();
  if (card2 == card1) {
    qdl::ui::showMessage(this,
                         meldungText(&MeldungTexte::sGleicheGeraete,
                                     QStringLiteral("Keine identischen Geräte ausgewählen!")),
                         meldungText(&MeldungTexte::sAchtung, QStringLiteral("Achtung!")));
    return;
  }
  // The headphone mode without a headphone card would light the cue LEDs
  // with nothing to hear; the left/right mode without a second card leaves
  // the right deck without an output.
  if (rgMode->itemIndex() == 1 && card2.trimmed().isEmpty()) {
    qdl::ui::showMessage(
        this,
        meldungText(&MeldungTexte::sKeinKopfhoerer,
                    QStringLiteral("Keine Soundkarte für den Kopfhörer ausgewählt!")),
        meldungText(&MeldungTexte::sAchtung, QStringLiteral("Achtung!")));
    return;
  }
  if (rgMode->itemIndex() == 2 && card2.trimmed().isEmpty()) {
    qdl::ui::showMessage(
        this,
        meldungText(&MeldungTexte::sKeinRechterPlayer,
                    QStringLiteral("Keine Soundkarte für den rechten Player ausgewählt!")),
        meldungText(&MeldungTexte::sAchtung, QStringLiteral("Achtung!")));
    return;
  }
  if (!settings_) settings_.emplace(qdl::openSettings());
  const bool written = qdl::ui::guarded(this, [&] {
    settings_->writeInteger(kDevices, kMode, rgMode->itemIndex());
    settings_->writeString(kDevices, kCard1, card1);
    settings_->writeString(kDevices, kCard2, card2);
    // Written when chosen (or in place of a broken value): a file without
    // the line keeps meaning the default.
    if (chosenBuffer() != shownBuffer_)
      settings_->writeInteger(kDevices, kOutputBuffer, chosenBuffer());
    settings_->commitChanges();
  });
  // A refused write must not look like a stored choice: stay open so the
  // user can try again or cancel.
  if (!written) return;
  restartNeeded_ = QString::number(rgMode->itemIndex()) != shownMode_.trimmed() ||
                   card1 != shownCard1_ || card2 != shownCard2_;
  // The open cards reopen their streams on threads of their own.
  qdl::sound::setOutputBuffer(chosenBuffer());
  done(QDialog::Accepted);
}

void TDlgGeraete::CancelBtnClick() { done(QDialog::Rejected); }

void TDlgGeraete::btHelpClick() { qdl::help::showTopic(qdl::help::helpFileOf(this), kHelpContext); }

void TDlgGeraete::FormClose() { settings_.reset(); }

void TDlgGeraete::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  centreOnScreen();
  FormShow();
}

void TDlgGeraete::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) FormClose();
}

void TDlgGeraete::centreOnScreen() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  QRect frame = frameGeometry();
  frame.moveCenter(s->availableGeometry().center());
  move(frame.topLeft());
}
