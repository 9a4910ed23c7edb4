#include "controllers/ControllerWindow.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "control/Actions.h"
#include "controllers/Controllers.h"
#include "lang/Sprache.h"
#include "platform/help/HelpKey.h"

namespace qdl::controllers {

namespace {

const ControllerTexte& texts() {
  static const ControllerTexte empty;
  return FormSprache ? FormSprache->Controller : empty;
}

QString orDefault(const QString& text, const char* fallback) {
  return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

}  // namespace

ControllerWindow::ControllerWindow(Controllers* controllers, QWidget* parent)
    : QDialog(parent), controllers_(controllers) {
  setObjectName(QStringLiteral("ControllerWindow"));
  setModal(false);
  qdl::help::setHelpContext(this, 26);  // F1: the MIDI controllers' help page
  auto* top = new QVBoxLayout(this);

  auto* row = new QHBoxLayout;
  cbController = new QComboBox(this);
  cbController->setObjectName(QStringLiteral("cbController"));
  row->addWidget(cbController, 1);
  lbMapping = new QLabel(this);
  lbMapping->setObjectName(QStringLiteral("lbMapping"));
  row->addWidget(lbMapping, 1);
  top->addLayout(row);

  row = new QHBoxLayout;
  cbGrundlage = new QComboBox(this);
  cbGrundlage->setObjectName(QStringLiteral("cbGrundlage"));
  row->addWidget(cbGrundlage, 1);
  btVerwenden = new QPushButton(this);
  btVerwenden->setObjectName(QStringLiteral("btVerwenden"));
  row->addWidget(btVerwenden);
  top->addLayout(row);

  auto* lists = new QHBoxLayout;
  lvAktionen = new QListWidget(this);
  lvAktionen->setObjectName(QStringLiteral("lvAktionen"));
  lists->addWidget(lvAktionen, 1);
  tbBindings = new QTableWidget(0, 2, this);
  tbBindings->setObjectName(QStringLiteral("tbBindings"));
  tbBindings->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbBindings->verticalHeader()->hide();
  tbBindings->horizontalHeader()->setStretchLastSection(true);
  lists->addWidget(tbBindings, 1);
  top->addLayout(lists, 1);

  lbStatus = new QLabel(this);
  lbStatus->setObjectName(QStringLiteral("lbStatus"));
  lbStatus->setWordWrap(true);
  top->addWidget(lbStatus);
  lbProbleme = new QLabel(this);
  lbProbleme->setObjectName(QStringLiteral("lbProbleme"));
  lbProbleme->setWordWrap(true);
  lbProbleme->setTextFormat(Qt::PlainText);
  top->addWidget(lbProbleme);

  row = new QHBoxLayout;
  btLernen = new QPushButton(this);
  btLernen->setObjectName(QStringLiteral("btLernen"));
  btLernen->setCheckable(true);
  row->addWidget(btLernen);
  row->addStretch(1);
  btSchliessen = new QPushButton(this);
  btSchliessen->setObjectName(QStringLiteral("btSchliessen"));
  row->addWidget(btSchliessen);
  top->addLayout(row);

  connect(btSchliessen, &QPushButton::clicked, this, &QDialog::close);
  connect(btLernen, &QPushButton::toggled, this, &ControllerWindow::learnToggled);
  connect(btVerwenden, &QPushButton::clicked, this, &ControllerWindow::useClicked);
  connect(cbController, &QComboBox::currentIndexChanged, this, &ControllerWindow::fillMapping);
  connect(controllers_, &Controllers::controllersChanged, this, &ControllerWindow::fillControllers);
  connect(controllers_, &Controllers::heard, this, &ControllerWindow::heard);
  applyTexts();
  fillActions();
  fillControllers();
  resize(640, 480);
}

ControllerWindow::~ControllerWindow() {
  if (controllers_) controllers_->setLearning(false);
}

void ControllerWindow::applyTexts() {
  const ControllerTexte& t = texts();
  setWindowTitle(orDefault(t.sControllerTitel, "MIDI controllers"));
  btVerwenden->setText(orDefault(t.sVerwenden, "&Use"));
  btLernen->setText(orDefault(t.sLernen, "&Learn"));
  btSchliessen->setText(FormSprache ? FormSprache->Knopf.sSchliessen : QStringLiteral("&Close"));
  tbBindings->setHorizontalHeaderLabels(
      {orDefault(t.sNachricht, "Message"), orDefault(t.sAktion, "Action")});
  lvAktionen->setToolTip(t.sAktionen);
  fillControllers();
}

void ControllerWindow::setConsoleControls(const QHash<QWidget*, QString>& controls) {
  for (auto it = controls_.begin(); it != controls_.end(); ++it) it.key()->removeEventFilter(this);
  controls_ = controls;
  for (auto it = controls_.begin(); it != controls_.end(); ++it) {
    it.key()->installEventFilter(this);
    connect(it.key(), &QObject::destroyed, this,
            [this](QObject* o) { controls_.remove(static_cast<QWidget*>(o)); });
  }
}

void ControllerWindow::fillActions() {
  lvAktionen->clear();
  const auto add = [this](const QString& name, const QString& what) {
    auto* item = new QListWidgetItem(what.isEmpty() ? name : name + QStringLiteral(" - ") + what);
    item->setData(Qt::UserRole, name);
    lvAktionen->addItem(item);
  };
  for (const control::ActionInfo& a : controllers_->actionList()) add(a.name, a.what);
  add(QStringLiteral("links.jog"),
      QStringLiteral("jog wheel: bend while playing, seek while paused"));
  add(QStringLiteral("rechts.jog"),
      QStringLiteral("jog wheel: bend while playing, seek while paused"));
  add(QStringLiteral("shift"), QStringLiteral("held: the shift layer"));
}

bool ControllerWindow::selectAction(const QString& name) {
  for (int i = 0; i < lvAktionen->count(); ++i) {
    if (lvAktionen->item(i)->data(Qt::UserRole).toString() != name) continue;
    lvAktionen->setCurrentRow(i);
    return true;
  }
  return false;
}

QString ControllerWindow::selectedAction() const {
  const QListWidgetItem* item = lvAktionen->currentItem();
  return item ? item->data(Qt::UserRole).toString() : QString();
}

int ControllerWindow::currentController() const { return cbController->currentData().toInt(); }

void ControllerWindow::fillControllers() {
  const int keep = currentController();
  const QSignalBlocker block(cbController);
  cbController->clear();
  for (const midi::ControllerPort& p : controllers_->controllers())
    cbController->addItem(p.name + QStringLiteral(" (") + p.system + QLatin1Char(')'), p.id);
  if (cbController->count() == 0)
    cbController->addItem(orDefault(texts().sKeinController, "No controller connected"), 0);
  const int at = cbController->findData(keep);
  cbController->setCurrentIndex(at >= 0 ? at : 0);
  cbGrundlage->clear();
  cbGrundlage->addItems(controllers_->mappingNames());
  fillMapping();
}

void ControllerWindow::fillMapping() {
  const ControllerTexte& t = texts();
  const int id = currentController();
  const Mapping* m = controllers_->mappingOf(id);
  tbBindings->setRowCount(0);
  lbProbleme->clear();
  const bool there = m != nullptr;
  btLernen->setEnabled(there || btLernen->isChecked());
  btVerwenden->setEnabled(there);
  if (!m) {
    lbMapping->clear();
    return;
  }
  QString name;
  for (const midi::ControllerPort& p : controllers_->controllers())
    if (p.id == id) name = p.name;
  const bool own = controllers_->hasOwnFile(id);
  lbMapping->setText(orDefault(t.sZuordnung, "Mapping: %1")
                         .arg(m->name + QStringLiteral(" (") +
                              (own ? orDefault(t.sEigeneDatei, "own file")
                                   : orDefault(t.sMitgeliefert, "shipped")) +
                              QLatin1Char(')')));
  lbMapping->setToolTip(own ? controllers_->mappingPath(name) : QString());
  tbBindings->setRowCount(int(m->bindings.size()));
  for (int r = 0; r < m->bindings.size(); ++r) {
    const Binding& b = m->bindings[r];
    tbBindings->setItem(r, 0, new QTableWidgetItem(b.messageText()));
    const QString rest = b.text().mid(b.messageText().size() + 1);
    tbBindings->setItem(r, 1, new QTableWidgetItem(rest));
  }
  if (!m->problems.isEmpty())
    lbProbleme->setText(orDefault(t.sProbleme, "Problems in the mapping:") + QLatin1Char('\n') +
                        m->problems.mid(0, 10).join(QLatin1Char('\n')));
}

void ControllerWindow::learnToggled(bool on) {
  const ControllerTexte& t = texts();
  if (on && selectedAction().isEmpty()) {
    lbStatus->setText(orDefault(t.sErstAktion, "Please pick an action first."));
  } else if (on) {
    lbStatus->setText(orDefault(t.sBewegen, "Move or press a control of %1 for %2 ...")
                          .arg(cbController->currentText(), selectedAction()));
  }
  controllers_->setLearning(on);
}

void ControllerWindow::heard(int controller, const midi::MidiMessage& message) {
  if (!btLernen->isChecked()) return;
  const QString target = selectedAction();
  if (target.isEmpty()) return;  // the status asks for an action
  const ControllerTexte& t = texts();
  const Controllers::Learned learned = controllers_->learn(controller, target, message);
  {
    const QSignalBlocker block(btLernen);
    btLernen->setChecked(false);
  }
  controllers_->setLearning(false);
  if (!learned.error.isEmpty()) {
    lbStatus->setText(orDefault(t.sNichtGespeichert, "Not saved: %1").arg(learned.error));
  } else {
    QString s = orDefault(t.sGelernt, "%1 now runs %2.")
                    .arg(learned.binding.messageText(), learned.binding.targetName());
    if (!learned.replaced.isEmpty())
      s += QLatin1Char(' ') +
           orDefault(t.sErsetzt, "It ran %1 before (replaced).").arg(learned.replaced);
    if (!learned.alsoOn.isEmpty())
      s += QLatin1Char(' ') +
           orDefault(t.sAuchAuf, "%1 is also run by: %2")
               .arg(learned.binding.targetName(), learned.alsoOn.join(QStringLiteral(", ")));
    lbStatus->setText(s);
  }
  const int at = cbController->findData(controller);
  if (at >= 0) cbController->setCurrentIndex(at);
  fillControllers();
}

void ControllerWindow::useClicked() {
  const QString why = controllers_->useMapping(currentController(), cbGrundlage->currentText());
  lbStatus->setText(why.isEmpty() ? QString()
                                  : orDefault(texts().sNichtGespeichert, "Not saved: %1").arg(why));
  fillMapping();
}

bool ControllerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (isVisible() && btLernen->isChecked() &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    const auto it = controls_.find(static_cast<QWidget*>(watched));
    if (it != controls_.end()) {
      selectAction(*it);
      learnToggled(true);
      return true;  // picked, not run
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ControllerWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  applyTexts();
}

void ControllerWindow::hideEvent(QHideEvent* event) {
  btLernen->setChecked(false);
  QDialog::hideEvent(event);
}

}  // namespace qdl::controllers
