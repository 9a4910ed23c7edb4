#include "platform/ui/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace qdl::ui {

RadioGroup::RadioGroup(QWidget* parent, int columns)
    : QGroupBox(parent),
      columns_(columns < 1 ? 1 : columns),
      layout_(new QGridLayout(this)),
      group_(new QButtonGroup(this)) {
  group_->setExclusive(true);
  connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (!checked) return;
    const int now = itemIndex();
    if (now != lastIndex_) {
      lastIndex_ = now;
      emit itemIndexChanged(now);
    }
  });
}

void RadioGroup::setItems(const QStringList& items) {
  for (QRadioButton* b : buttons_) {
    group_->removeButton(b);
    delete b;
  }
  buttons_.clear();
  lastIndex_ = -1;
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    b->setObjectName(QStringLiteral("item%1").arg(i));
    group_->addButton(b, i);
    buttons_.push_back(b);
  }
  relayout();
}

QStringList RadioGroup::items() const {
  QStringList result;
  for (const QRadioButton* b : buttons_) result << b->text();
  return result;
}

void RadioGroup::setItemIndex(int i) {
  if (buttons_.empty()) return;
  if (i >= count()) i = count() - 1;
  if (i < 0) {
    // An exclusive group cannot uncheck its checked button directly.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
    if (lastIndex_ != -1) {
      lastIndex_ = -1;
      emit itemIndexChanged(-1);
    }
    return;
  }
  buttons_[static_cast<size_t>(i)]->setChecked(true);
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setColumns(int columns) {
  columns_ = columns < 1 ? 1 : columns;
  relayout();
}

void RadioGroup::relayout() {
  for (QRadioButton* b : buttons_) layout_->removeWidget(b);
  const int n = count();
  const int rows = (n + columns_ - 1) / columns_;
  for (int i = 0; i < n; ++i) {
    // Items run down each column first, as the classic radio group fills them.
    const int col = rows > 0 ? i / rows : 0;
    const int row = rows > 0 ? i % rows : 0;
    layout_->addWidget(buttons_[static_cast<size_t>(i)], row, col);
  }
}

}  // namespace qdl::ui
