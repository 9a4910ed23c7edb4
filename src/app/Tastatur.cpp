// The keyboard window: the map, what each action does and the entries of
// [Keys] left out.

#include "app/Tastatur.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "lang/Sprache.h"
#include "platform/help/HelpKey.h"

namespace {

const TastaturTexte& texts() { return FormSprache->Tastatur; }
bool german() { return FormSprache->language() != TFormSprache::Language::English; }

}  // namespace

QString keyActionText(const QString& action) {
  const TastaturTexte& t = texts();
  for (const auto& [prefix, deck] : {std::pair{QStringLiteral("links."), t.sLinkesDeck},
                                     std::pair{QStringLiteral("rechts."), t.sRechtesDeck}}) {
    if (!action.startsWith(prefix)) continue;
    const QString what = t.sAktionen.value(action.mid(prefix.size()));
    return what.isEmpty() ? action : what.arg(deck);
  }
  const QString what = t.sAktionen.value(action);
  return what.isEmpty() ? action : what;
}

QString keyProblemText(const qdl::control::KeyProblem& p, const QString& file) {
  using qdl::control::KeyProblem;
  const TastaturTexte& t = texts();
  QString text;
  switch (p.reason) {
    case KeyProblem::Unreadable:
      text = t.sTasteUnlesbar;
      break;
    case KeyProblem::NoAction:
      text = t.sTasteKeineAktion;
      break;
    case KeyProblem::ValueAction:
      text = t.sTasteWert;
      break;
    case KeyProblem::UnknownKey:
      text = t.sTasteUnbekannt;
      break;
    case KeyProblem::KeyTaken:
      text = t.sTasteVergeben;
      break;
    case KeyProblem::Twice:
      text = t.sTasteDoppelt;
      break;
  }
  // Each placeholder once, in one pass: a name may hold a "%".
  return text.replace(QLatin1String("%1"), QDir::toNativeSeparators(file))
      .replace(QLatin1String("%2"), QLatin1String(qdl::control::kKeysSection))
      .replace(QLatin1String("%3"), p.entry)
      .replace(QLatin1String("%4"), p.detail)
      .replace(QLatin1String("%5"), p.other);
}

TFormTastatur::TFormTastatur(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormTastatur"));
  auto* layout = new QVBoxLayout(this);
  Liste = new QTableWidget(0, 3, this);
  Liste->setObjectName(QStringLiteral("Liste"));
  Liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Liste->setSelectionBehavior(QAbstractItemView::SelectRows);
  Liste->verticalHeader()->hide();
  Liste->horizontalHeader()->setStretchLastSection(true);
  Liste->setMinimumSize(560, 420);
  layout->addWidget(Liste);
  lbHinweis = new QLabel(this);
  lbHinweis->setObjectName(QStringLiteral("lbHinweis"));
  lbHinweis->setWordWrap(true);
  layout->addWidget(lbHinweis);
  lbProbleme = new QLabel(this);
  lbProbleme->setObjectName(QStringLiteral("lbProbleme"));
  lbProbleme->setWordWrap(true);
  lbProbleme->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lbProbleme);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btClose = new QPushButton(this);
  btClose->setObjectName(QStringLiteral("btClose"));
  btHelp = new QPushButton(this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  buttons->addWidget(btClose);
  buttons->addWidget(btHelp);
  layout->addLayout(buttons);
  connect(btClose, &QPushButton::clicked, this, &QDialog::close);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
  qdl::help::setHelpContext(this, 25);
  qdl::help::attachHelpKey(this);
}

void TFormTastatur::showMap(const qdl::control::KeyMap& map,
                            const QList<qdl::control::KeyProblem>& problems, const QString& file) {
  const TastaturTexte& t = texts();
  setWindowTitle(t.sTastaturTitel);
  Liste->setHorizontalHeaderLabels({t.sTaste, t.sAktion, t.sName});
  const QList<qdl::control::KeyBinding> bindings = map.bindings();
  Liste->setRowCount(int(bindings.size()));
  for (int row = 0; row < bindings.size(); ++row) {
    const qdl::control::KeyBinding& b = bindings[row];
    QStringList keys;
    for (const int k : b.keys) keys.append(qdl::control::keyName(k, german()));
    Liste->setItem(row, 0, new QTableWidgetItem(keys.join(QLatin1String(", "))));
    Liste->setItem(row, 1, new QTableWidgetItem(keyActionText(b.action)));
    Liste->setItem(row, 2, new QTableWidgetItem(b.action));
  }
  Liste->resizeColumnsToContents();
  lbHinweis->setText(t.sTastaturHinweis);
  QStringList lines;
  for (const qdl::control::KeyProblem& p : problems) lines.append(keyProblemText(p, file));
  lbProbleme->setText(lines.isEmpty()
                          ? QString()
                          : t.sTastenProbleme + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
  lbProbleme->setVisible(!lines.isEmpty());
  btClose->setText(FormSprache->Knopf.sSchliessen);
  btHelp->setText(FormSprache->Knopf.sHilfeKnopf);
}
