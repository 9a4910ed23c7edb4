#include "platform/db/Navigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "platform/db/Table.h"
#include "platform/ui/Dialogs.h"

namespace qdl::db {
namespace {

struct Face {
  const char* name;
  const char* glyph;
};

constexpr Face kFaces[Navigator::kButtonCount] = {
    {"nbFirst", "|\u25C0"}, {"nbPrior", "\u25C0"},  {"nbNext", "\u25B6"}, {"nbLast", "\u25B6|"},
    {"nbInsert", "+"},      {"nbDelete", "\u2212"}, {"nbEdit", "\u25B2"}, {"nbPost", "\u2713"},
    {"nbCancel", "\u2717"}, {"nbRefresh", "\u21BB"}};

}  // namespace

QStringList Navigator::germanHints() {
  return {QStringLiteral("Erster Datensatz"),      QStringLiteral("Vorheriger Datensatz"),
          QStringLiteral("Nächster Datensatz"),    QStringLiteral("Letzter Datensatz"),
          QStringLiteral("Datensatz einfügen"),    QStringLiteral("Datensatz löschen"),
          QStringLiteral("Datensatz bearbeiten"),  QStringLiteral("Bearbeitung speichern"),
          QStringLiteral("Bearbeitung abbrechen"), QStringLiteral("Daten aktualisieren")};
}

QStringList Navigator::englishHints() {
  return {QStringLiteral("First record"),  QStringLiteral("Prior record"),
          QStringLiteral("Next record"),   QStringLiteral("Last record"),
          QStringLiteral("Insert record"), QStringLiteral("Delete record"),
          QStringLiteral("Edit record"),   QStringLiteral("Post edit"),
          QStringLiteral("Cancel edit"),   QStringLiteral("Refresh data")};
}

Navigator::Navigator(QWidget* parent)
    : QWidget(parent), deleteText_(QStringLiteral("Datensatz löschen?")) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < kButtonCount; ++i) {
    auto* b = new QToolButton(this);
    b->setObjectName(QLatin1String(kFaces[i].name));
    b->setText(QString::fromUtf8(kFaces[i].glyph));
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumSize(25, 25);
    b->setEnabled(false);
    layout->addWidget(b);
    buttons_[std::size_t(i)] = b;
    const auto which = Button(i);
    connect(b, &QToolButton::clicked, this, [this, which] { run(which); });
  }
  setHints(germanHints());
}

void Navigator::setTable(Table* table) {
  for (const auto& c : connections_) disconnect(c);
  connections_.clear();
  table_ = table;
  if (table_) {
    auto update = [this] { updateButtons(); };
    connections_ << connect(table_, &Table::tableReset, this, update)
                 << connect(table_, &Table::currentChanged, this, update)
                 << connect(table_, &Table::stateChanged, this, update)
                 << connect(table_, &Table::recordInserted, this, update)
                 << connect(table_, &Table::recordRemoved, this, update)
                 << connect(table_, &QObject::destroyed, this, [this] {
                      table_ = nullptr;
                      updateButtons();
                    });
  }
  updateButtons();
}

void Navigator::setHints(const QStringList& hints) {
  for (int i = 0; i < kButtonCount && i < hints.size(); ++i)
    buttons_[std::size_t(i)]->setToolTip(hints[i]);
}

void Navigator::setDeleteQuestion(const QString& text, const QString& caption) {
  deleteText_ = text;
  deleteCaption_ = caption;
}

void Navigator::click(Button which) {
  if (button(which)->isEnabled()) run(which);
}

void Navigator::run(Button which) {
  if (!table_ || !table_->isOpen()) return;
  emit aboutToRun(which);
  if (!table_) return;
  Table* t = table_;
  ui::guarded(window(), [&] {
    switch (which) {
      case Button::First:
        t->first();
        break;
      case Button::Prior:
        t->prior();
        break;
      case Button::Next:
        t->next();
        break;
      case Button::Last:
        t->last();
        break;
      case Button::Insert:
        t->insert();
        break;
      case Button::Delete:
        if (ui::askYesNo(window(), deleteText_, deleteCaption_)) t->deleteRecord();
        break;
      case Button::Edit:
        t->edit();
        break;
      case Button::Post:
        t->post();
        break;
      case Button::Cancel:
        t->cancel();
        break;
      case Button::Refresh:
        t->refresh();
        break;
    }
  });
  updateButtons();
  emit clicked(which);
}

void Navigator::updateButtons() {
  const bool open = table_ && table_->isOpen();
  const Table::State state = open ? table_->state() : Table::State::Inactive;
  const bool editing = state == Table::State::Edit || state == Table::State::Insert;
  const int count = open ? table_->recordCount() : 0;
  const int row = open ? table_->currentRow() : -1;
  // While inserting, the new record stands in front of the current one, and
  // every stored record can be reached from it.
  const bool inserting = state == Table::State::Insert;
  const bool up = open && count > 0 && (inserting || row > 0);
  const bool down = open && count > 0 && (inserting || row < count - 1);
  auto set = [this](Button b, bool on) { button(b)->setEnabled(on); };
  set(Button::First, up);
  set(Button::Prior, up);
  set(Button::Next, down);
  set(Button::Last, down);
  set(Button::Insert, open);
  set(Button::Delete, open && (count > 0 || inserting));
  set(Button::Edit, open && !editing && count > 0);
  set(Button::Post, open && editing);
  set(Button::Cancel, open && editing);
  set(Button::Refresh, open);
}

}  // namespace qdl::db
