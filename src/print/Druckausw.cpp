#include "print/Druckausw.h"

#include <QDir>
#include <QPushButton>
#include <exception>

#include "library/Datamod.h"
#include "library/SongLoudness.h"
#include "platform/db/Table.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/RadioGroup.h"
#include "print/Report.h"
#include "print/SongCsv.h"

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
  // Right of the sort choice, level with its last row: no other control moves.
  btCsv = new QPushButton(QStringLiteral("CSV..."), this);
  btCsv->setObjectName(QStringLiteral("btCsv"));
  btCsv->setGeometry(262, 72, 48, 25);
  btCsv->setAutoDefault(false);
  connect(btCsv, &QPushButton::clicked, this, [this] { btCsvClick(); });
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

void TFormDruckauswahl::btCsvClick() {
  qdl::ui::guarded(this, [this] {
    SelectSort();
    QString fileName =
        qdl::ui::dialogs().saveFileName(this, QStringLiteral("CSV"), QDir::currentPath(),
                                        QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"));
    if (fileName.isEmpty()) return;
    fileName = qdl::ui::withSuffix(fileName, QStringLiteral("csv"));
    double reference = qdl::loudness::kDefaultReferenceLufs;
    try {
      reference = qdl::library::referenceLoudnessSetting(qdl::openSettings());
    } catch (const std::exception&) {  // an unreadable settings file: the default
    }
    const QString why = qdl::print::writeSongCsv(*DataModule1->Table1, fileName, reference);
    if (!why.isEmpty())
      qdl::ui::dialogs().showError(this,
                                   QDir::toNativeSeparators(fileName) + QLatin1Char('\n') + why);
  });
}

void TFormDruckauswahl::btAbbruchClick() { reject(); }

void TFormDruckauswahl::btHelpClick() {
  qdl::help::showTopic(qdl::help::helpFileOf(this), kHelpContext);
}
