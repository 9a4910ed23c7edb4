#include "platform/help/HelpWindow.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace qdl::help {
namespace {

constexpr int kContextRole = Qt::UserRole;
constexpr int kKeywordRole = Qt::UserRole + 1;

struct Labels {
  const char* contents;
  const char* index;
  const char* filter;
  const char* display;
  const char* back;
};

const Labels kGerman{"Inhalt", "Index", "Suchbegriff eingeben:", "&Anzeigen", "&Zur\u00fcck"};
const Labels kEnglish{"Contents", "Index", "Type the word you are looking for:", "&Display",
                      "&Back"};

// True when a word of the (case-folded) keyword begins with the folded text.
bool wordStartsWith(const QString& keyword, const QString& text) {
  for (int i = 0; i < keyword.size(); ++i) {
    if (i > 0 && keyword.at(i - 1).isLetterOrNumber()) continue;
    if (QStringView(keyword).mid(i).startsWith(text)) return true;
  }
  return false;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("qdlHelpWindow"));
  // The help window must not keep the program alive once the console closes.
  setAttribute(Qt::WA_QuitOnClose, false);

  tabs_ = new QTabWidget;
  contents_ = new QListWidget;
  contents_->setObjectName(QStringLiteral("helpContents"));
  tabs_->addTab(contents_, QString());

  indexPage_ = new QWidget;
  filterLabel_ = new QLabel;
  filter_ = new QLineEdit;
  filter_->setObjectName(QStringLiteral("helpIndexFilter"));
  filter_->setClearButtonEnabled(true);
  filter_->installEventFilter(this);
  filterLabel_->setBuddy(filter_);
  index_ = new QListWidget;
  index_->setObjectName(QStringLiteral("helpIndex"));
  display_ = new QPushButton;
  auto* indexLayout = new QVBoxLayout(indexPage_);
  indexLayout->addWidget(filterLabel_);
  indexLayout->addWidget(filter_);
  indexLayout->addWidget(index_, 1);
  indexLayout->addWidget(display_, 0, Qt::AlignRight);
  tabs_->addTab(indexPage_, QString());

  back_ = new QPushButton;
  back_->setEnabled(false);
  view_ = new QTextBrowser;
  view_->setObjectName(QStringLiteral("helpTopic"));
  view_->setOpenLinks(false);
  view_->setOpenExternalLinks(false);

  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back_);
  buttons->addStretch(1);
  rightLayout->addLayout(buttons);
  rightLayout->addWidget(view_, 1);

  auto* splitter = new QSplitter;
  splitter->addWidget(tabs_);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({290, 530});
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter);
  resize(840, 580);

  connect(contents_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { display(item->data(kContextRole).toInt(), true); });
  connect(contents_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { display(item->data(kContextRole).toInt(), true); });
  connect(filter_, &QLineEdit::textChanged, this, &HelpWindow::setIndexFilter);
  connect(index_, &QListWidget::itemActivated, this, [this] { openSelectedIndexEntry(); });
  connect(display_, &QPushButton::clicked, this, &HelpWindow::openSelectedIndexEntry);
  connect(back_, &QPushButton::clicked, this, &HelpWindow::back);
  connect(view_, &QTextBrowser::anchorClicked, this, &HelpWindow::linkClicked);
  applyLabels();
}

void HelpWindow::applyLabels() {
  const Labels& l = document_.language == QLatin1String("de") ? kGerman : kEnglish;
  tabs_->setTabText(0, QString::fromUtf8(l.contents));
  tabs_->setTabText(1, QString::fromUtf8(l.index));
  filterLabel_->setText(QString::fromUtf8(l.filter));
  display_->setText(QString::fromUtf8(l.display));
  back_->setText(QString::fromUtf8(l.back));
}

void HelpWindow::setDocument(const HelpDocument& document, const QString& path,
                             const QDateTime& modified) {
  document_ = document;
  path_ = path;
  modified_ = modified;
  current_ = 0;
  history_.clear();
  back_->setEnabled(false);
  applyLabels();

  contents_->clear();
  for (const HelpTopic& t : document_.topics) {
    auto* item = new QListWidgetItem(t.title, contents_);
    item->setData(kContextRole, t.context);
    item->setToolTip(t.title);
  }

  index_->clear();
  const QList<IndexEntry> entries = document_.index();
  QHash<QString, int> uses;
  for (const IndexEntry& e : entries) ++uses[e.keyword.toCaseFolded()];
  for (const IndexEntry& e : entries) {
    const QString folded = e.keyword.toCaseFolded();
    const QString text = uses.value(folded) > 1 && e.keyword != e.topicTitle
                             ? QStringLiteral("%1 \u2013 %2").arg(e.keyword, e.topicTitle)
                             : e.keyword;
    auto* item = new QListWidgetItem(text, index_);
    item->setData(kContextRole, e.context);
    item->setData(kKeywordRole, folded);
    item->setToolTip(e.topicTitle);
  }
  filter_->clear();
  setIndexFilter(QString());
}

void HelpWindow::showContents() {
  tabs_->setCurrentIndex(0);
  if (const HelpTopic* start = document_.contentsTopic()) display(start->context, true);
}

void HelpWindow::showIndex() {
  tabs_->setCurrentIndex(1);
  filter_->clear();
  setIndexFilter(QString());
  if (current_ == 0) {
    if (const HelpTopic* start = document_.contentsTopic()) display(start->context, false);
  }
  filter_->setFocus();
}

bool HelpWindow::showTopic(int context) {
  if (context == 0 || !document_.topic(context)) {
    showContents();
    return false;
  }
  display(context, true);
  return true;
}

void HelpWindow::display(int context, bool remember) {
  const HelpTopic* t = document_.topic(context);
  if (!t) return;
  if (remember && current_ != 0 && current_ != context) {
    history_.append(current_);
    back_->setEnabled(true);
  }
  current_ = context;
  view_->setHtml(topicHtml(document_, *t));
  setWindowTitle(QStringLiteral("%1 \u2013 %2").arg(document_.title, t->title));
  for (int i = 0; i < contents_->count(); ++i) {
    if (contents_->item(i)->data(kContextRole).toInt() == context) {
      contents_->setCurrentRow(i);
      break;
    }
  }
}

void HelpWindow::back() {
  if (history_.isEmpty()) return;
  const int previous = history_.takeLast();
  back_->setEnabled(!history_.isEmpty());
  display(previous, false);
}

QString HelpWindow::currentTitle() const {
  const HelpTopic* t = document_.topic(current_);
  return t ? t->title : QString();
}

void HelpWindow::linkClicked(const QUrl& url) {
  if (url.scheme() == QLatin1String("topic")) {
    bool ok = false;
    const int context = url.path().toInt(&ok);
    if (ok) showTopic(context);
    return;
  }
  if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
    QDesktopServices::openUrl(url);
}

void HelpWindow::setIndexFilter(const QString& text) {
  const QString wanted = text.trimmed().toCaseFolded();
  QListWidgetItem* jump = nullptr;
  QListWidgetItem* firstVisible = nullptr;
  for (int i = 0; i < index_->count(); ++i) {
    QListWidgetItem* item = index_->item(i);
    const QString keyword = item->data(kKeywordRole).toString();
    const bool visible = wanted.isEmpty() || wordStartsWith(keyword, wanted);
    item->setHidden(!visible);
    if (!visible) continue;
    if (!firstVisible) firstVisible = item;
    if (!jump && keyword.startsWith(wanted)) jump = item;
  }
  if (!jump) jump = firstVisible;
  index_->setCurrentItem(jump);
  if (jump) index_->scrollToItem(jump, QAbstractItemView::PositionAtTop);
  display_->setEnabled(jump != nullptr);
}

QStringList HelpWindow::visibleIndexEntries() const {
  QStringList out;
  for (int i = 0; i < index_->count(); ++i)
    if (!index_->item(i)->isHidden()) out << index_->item(i)->text();
  return out;
}

QString HelpWindow::selectedIndexEntry() const {
  const QListWidgetItem* item = index_->currentItem();
  return item && !item->isHidden() ? item->text() : QString();
}

void HelpWindow::openSelectedIndexEntry() {
  const QListWidgetItem* item = index_->currentItem();
  if (!item || item->isHidden()) return;
  display(item->data(kContextRole).toInt(), true);
}

void HelpWindow::moveIndexSelection(int step) {
  int row = index_->currentRow();
  for (int i = row + step; i >= 0 && i < index_->count(); i += step) {
    if (!index_->item(i)->isHidden()) {
      index_->setCurrentRow(i);
      return;
    }
  }
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == filter_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Up:
        moveIndexSelection(-1);
        return true;
      case Qt::Key_Down:
        moveIndexSelection(1);
        return true;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        openSelectedIndexEntry();
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace qdl::help
