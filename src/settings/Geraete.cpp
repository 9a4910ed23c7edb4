#include "settings/Geraete.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "platform/help/HelpKey.h"
#include "platform/ui/RadioGroup.h"

TDlgGeraete* DlgGeraete = nullptr;

TDlgGeraete::TDlgGeraete(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgGeraete"));
  setWindowTitle(QStringLiteral("Geräteeinstellung"));
  setFixedSize(321, 187);
  rgMode = new qdl::ui::RadioGroup(this, 3);
  rgMode->setObjectName(QStringLiteral("rgMode"));
  rgMode->setTitle(QStringLiteral("Soundkartenmodus"));
  rgMode->setItems(
      {QStringLiteral("nur eine"), QStringLiteral("Aux/Head"), QStringLiteral("links/rechts")});
  rgMode->setItemIndex(0);
  rgMode->setGeometry(8, 4, 305, 48);
  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::StyledPanel);
  Bevel1->setGeometry(8, 56, 305, 92);
  Label1 = new QLabel(QStringLiteral("Soundkarte für Ausgang "), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 60, 289, 16);
  CB_Aux = new QComboBox(this);
  CB_Aux->setObjectName(QStringLiteral("CB_Aux"));
  CB_Aux->setEditable(true);
  CB_Aux->setGeometry(16, 78, 289, 22);
  Label2 = new QLabel(QStringLiteral("Soundkarte für Kopfhörer"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(16, 104, 289, 16);
  CB_Head = new QComboBox(this);
  CB_Head->setObjectName(QStringLiteral("CB_Head"));
  CB_Head->setEditable(true);
  CB_Head->setGeometry(16, 122, 289, 22);
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
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  qdl::help::setHelpContext(this, 40);
  qdl::help::attachHelpKey(this);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
}
