#include "print/Druckausw.h"

#include <QPushButton>

#include "platform/help/HelpKey.h"
#include "platform/ui/RadioGroup.h"

TFormDruckauswahl* FormDruckauswahl = nullptr;

TFormDruckauswahl::TFormDruckauswahl(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormDruckauswahl"));
  setWindowTitle(QStringLiteral("Druckauswahl"));
  setFixedSize(315, 146);
  rgSort = new qdl::ui::RadioGroup(this, 2);
  rgSort->setObjectName(QStringLiteral("rgSort"));
  rgSort->setTitle(QStringLiteral("Sortiert nach"));
  rgSort->setItems({QStringLiteral("Interpret"), QStringLiteral("Titel"),
                    QStringLiteral("Kategorie"), QStringLiteral("Jahr")});
  rgSort->setItemIndex(0);
  rgSort->setGeometry(57, 8, 201, 89);
  int x = 13;
  auto button = [this, &x](const char* name, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, 110, 65, 25);
    x += 73;
    return b;
  };
  btDruck = button("btDruck", QStringLiteral("&Drucken"));
  btVorschau = button("btVorschau", QStringLiteral("&Vorschau"));
  btAbbruch = button("btAbbruch", QStringLiteral("&Abbruch"));
  btHelp = button("btHelp", QStringLiteral("Hilfe"));
  connect(btAbbruch, &QPushButton::clicked, this, &QDialog::reject);
  qdl::help::setHelpContext(this, 95);
  qdl::help::attachHelpKey(this);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
}
