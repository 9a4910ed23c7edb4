#include "print/Druckausw.h"

#include <QPushButton>

#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"
#include "print/Report.h"

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
    b->setAutoDefault(false);
    x += 73;
    return b;
  };
  btDruck = button("btDruck", QStringLiteral("&Drucken"));
  btVorschau = button("btVorschau", QStringLiteral("&Vorschau"));
  btAbbruch = button("btAbbruch", QStringLiteral("&Abbruch"));
  btHelp = button("btHelp", QStringLiteral("Hilfe"));
  connect(btDruck, &QPushButton::clicked, this, [this] { btDruckClick(); });
  connect(btVorschau, &QPushButton::clicked, this, [this] { btVorschauClick(); });
  connect(btAbbruch, &QPushButton::clicked, this, [this] { btAbbruchClick(); });
  connect(btHelp, &QPushButton::clicked, this, [this] { btHelpClick(); });
  qdl::help::setHelpContext(this, kHelpContext);
  qdl::help::attachHelpKey(this);
}

void TFormDruckauswahl::SelectSort() {
  static const char* const kIndexes[] = {"iInterpret", "iTitel", "iGenre", "iJahr"};
  const int item = rgSort->itemIndex();
  if (item < 0 || item >= int(std::size(kIndexes))) return;
  DataModule1->Table1->setIndexName(QLatin1String(kIndexes[item]));
}

void TFormDruckauswahl::btVorschauClick() {
  qdl::ui::guarded(this, [this] {
    SelectSort();
    FormQReport->Preview(*DataModule1->Table1, this);
  });
}

void TFormDruckauswahl::btDruckClick() {
  // Only a list that was printed closes the window: after a failure (told
  // by the print) or a cancel the user can set up the printer and try again.
  bool printed = false;
  qdl::ui::guarded(this, [this, &printed] {
    SelectSort();
    printed = FormQReport->Print(*DataModule1->Table1, this);
  });
  if (printed) accept();
}

void TFormDruckauswahl::btAbbruchClick() { reject(); }

void TFormDruckauswahl::btHelpClick() {
  qdl::help::showTopic(qdl::help::helpFileOf(this), kHelpContext);
}
