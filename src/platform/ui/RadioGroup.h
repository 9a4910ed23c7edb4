#pragma once
// A captioned group of radio buttons laid out in columns, addressed by item
// index (-1 = no item selected). Replacing the items drops the selection.

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

namespace qdl::ui {

class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit RadioGroup(QWidget* parent = nullptr, int columns = 1);

  void setItems(const QStringList& items);
  QStringList items() const;
  int count() const { return static_cast<int>(buttons_.size()); }

  // Selects item i. An index beyond the last item selects the last one, a
  // negative index selects none (as the classic radio group does).
  void setItemIndex(int i);
  int itemIndex() const;

  void setColumns(int columns);
  QRadioButton* button(int i) const { return buttons_.at(static_cast<size_t>(i)); }

 signals:
  // Emitted when the user or the program selects another item.
  void itemIndexChanged(int index);

 private:
  void relayout();

  int columns_;
  QGridLayout* layout_;
  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
  int lastIndex_ = -1;
};

}  // namespace qdl::ui
