#include "print/Report.h"

#include <QLabel>

TFormQReport* FormQReport = nullptr;

TFormQReport::TFormQReport(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FormQReport"));
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QLatin1String(name));
    return l;
  };
  QRLbUeberschrift = label("QRLbUeberschrift");
  QRLbInterpret = label("QRLbInterpret");
  QRLbTitel = label("QRLbTitel");
  QRLbBeats = label("QRLbBeats");
  QRLbGenre = label("QRLbGenre");
  QRLbJahr = label("QRLbJahr");
}
