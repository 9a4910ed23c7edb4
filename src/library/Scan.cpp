#include "library/Scan.h"

#include <QGroupBox>
#include <QPushButton>

#include "platform/help/HelpKey.h"
#include "platform/ui/RadioGroup.h"

TFormScan* FormScan = nullptr;

TFormScan::TFormScan(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormScan"));
  setWindowTitle(QStringLiteral("Check & Scan"));
  setFixedSize(420, 300);
  GroupBox1 = new QGroupBox(QStringLiteral("zu durchsuchende Laufwerke"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 404, 170);
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
}
