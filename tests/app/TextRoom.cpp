#include "TextRoom.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QToolButton>

namespace qdl::test {
namespace {

int measured = 0;

QString pathOf(const QWidget* w, const QWidget* window) {
  QStringList parts;
  for (const QWidget* p = w; p; p = p->parentWidget()) {
    parts.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className())
                                            : p->objectName());
    if (p == window) break;
  }
  return parts.join(QLatin1Char('/'));
}

// Width of a caption as drawn: "&" marks an accelerator and is not shown.
int captionWidth(const QFontMetrics& fm, const QString& text) {
  return fm.size(Qt::TextShowMnemonic, text).width();
}

void note(QList<Clipped>& out, const QWidget* w, const QWidget* window, const QString& text,
          int need, int room) {
  ++measured;
  if (need > room) out.append({pathOf(w, window), text, need, room});
}

void pushButton(QList<Clipped>& out, QPushButton* b, const QWidget* window) {
  if (b->text().isEmpty()) return;
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.text = b->text();
  opt.icon = b->icon();
  opt.iconSize = b->iconSize();
  if (b->autoDefault() || b->isDefault()) opt.features |= QStyleOptionButton::AutoDefaultButton;
  if (b->isDefault()) opt.features |= QStyleOptionButton::DefaultButton;
  if (b->isFlat()) opt.features |= QStyleOptionButton::Flat;
  const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
  int need = captionWidth(b->fontMetrics(), b->text());
  if (!b->icon().isNull()) need += b->iconSize().width() + 4;
  note(out, b, window, b->text(), need, room.width());
}

void checkOrRadio(QList<Clipped>& out, QAbstractButton* b, QStyle::SubElement contents,
                  const QWidget* window) {
  if (b->text().isEmpty()) return;
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.text = b->text();
  const QRect room = b->style()->subElementRect(contents, &opt, b);
  note(out, b, window, b->text(), captionWidth(b->fontMetrics(), b->text()), room.width());
}

void toolButton(QList<Clipped>& out, QToolButton* b, const QWidget* window) {
  if (b->text().isEmpty() || b->toolButtonStyle() == Qt::ToolButtonIconOnly) return;
  if (!b->icon().isNull() && b->toolButtonStyle() == Qt::ToolButtonFollowStyle) return;
  const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
  note(out, b, window, b->text(), captionWidth(b->fontMetrics(), b->text()),
       b->width() - 2 * frame);
}

void label(QList<Clipped>& out, QLabel* l, const QWidget* window) {
  const QString text = l->text();
  if (text.isEmpty()) return;
  const QRect r = l->contentsRect();
  int indent = l->indent();
  if (indent < 0) indent = l->frameWidth() > 0 ? l->fontMetrics().horizontalAdvance('x') / 2 : 0;
  const int roomWidth = r.width() - 2 * l->margin() - indent;
  const int roomHeight = r.height() - 2 * l->margin();
  const bool rich = l->textFormat() == Qt::RichText ||
                    (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
  if (l->wordWrap()) {
    note(out, l, window, text, l->heightForWidth(r.width()), r.height());
    return;
  }
  QSize need;
  if (rich) {
    QTextDocument doc;
    doc.setDefaultFont(l->font());
    doc.setDocumentMargin(0);
    doc.setHtml(text);
    need = QSize(int(std::ceil(doc.idealWidth())), int(std::ceil(doc.size().height())));
  } else {
    need = l->fontMetrics().size(l->buddy() ? Qt::TextShowMnemonic : 0, text);
  }
  note(out, l, window, text, need.width(), roomWidth);
  // Lines cut off at the bottom are as lost as letters cut off at the side.
  note(out, l, window, text + QStringLiteral(" (height)"), need.height(), roomHeight);
}

void groupBox(QList<Clipped>& out, QGroupBox* g, const QWidget* window) {
  if (g->title().isEmpty()) return;
  QStyleOptionGroupBox opt;
  opt.initFrom(g);
  opt.text = g->title();
  opt.lineWidth = 1;
  opt.midLineWidth = 0;
  opt.textAlignment = g->alignment();
  opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  opt.features = g->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
  const QRect labelRect =
      g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
  const int need = labelRect.left() + captionWidth(g->fontMetrics(), g->title());
  note(out, g, window, g->title(), need, g->width() - 1);
}

void header(QList<Clipped>& out, QHeaderView* h, const QWidget* window) {
  const QAbstractItemModel* model = h->model();
  if (!model || h->orientation() != Qt::Horizontal) return;
  const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
  for (int i = 0; i < h->count(); ++i) {
    if (h->isSectionHidden(i)) continue;
    const QString text = model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    if (text.isEmpty()) continue;
    QFont font = h->font();
    const QVariant own = model->headerData(i, Qt::Horizontal, Qt::FontRole);
    if (own.canConvert<QFont>()) font = own.value<QFont>();
    const int need = QFontMetrics(font).horizontalAdvance(text) + 2 * margin;
    note(out, h, window, QStringLiteral("column %1: %2").arg(i).arg(text), need, h->sectionSize(i));
  }
}

void menuBar(QList<Clipped>& out, QMenuBar* m, const QWidget* window) {
  QStringList titles;
  for (const QAction* a : m->actions()) titles << a->text();
  note(out, m, window, titles.join(QLatin1Char(' ')), m->sizeHint().width(), m->width());
}

void measure(QList<Clipped>& out, QWidget* w, const QWidget* window) {
  if (auto* b = qobject_cast<QPushButton*>(w))
    pushButton(out, b, window);
  else if (auto* c = qobject_cast<QCheckBox*>(w))
    checkOrRadio(out, c, QStyle::SE_CheckBoxContents, window);
  else if (auto* r = qobject_cast<QRadioButton*>(w))
    checkOrRadio(out, r, QStyle::SE_RadioButtonContents, window);
  else if (auto* t = qobject_cast<QToolButton*>(w))
    toolButton(out, t, window);
  else if (auto* l = qobject_cast<QLabel*>(w))
    label(out, l, window);
  else if (auto* h = qobject_cast<QHeaderView*>(w))
    header(out, h, window);
  else if (auto* m = qobject_cast<QMenuBar*>(w))
    menuBar(out, m, window);
  if (auto* g = qobject_cast<QGroupBox*>(w)) groupBox(out, g, window);
}

}  // namespace

QList<Clipped> clippedTexts(QWidget* window) {
  QList<Clipped> out;
  measure(out, window, window);
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->isWindow()) continue;
    measure(out, w, window);
  }
  return out;
}

QStringList describe(const QList<Clipped>& clipped) {
  QStringList lines;
  for (const Clipped& c : clipped)
    lines << QStringLiteral("%1: \"%2\" needs %3 px, has %4 px")
                 .arg(c.where, c.text)
                 .arg(c.need)
                 .arg(c.room);
  return lines;
}

int measuredTexts() {
  const int n = measured;
  measured = 0;
  return n;
}

}  // namespace qdl::test
