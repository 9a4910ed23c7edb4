#include "playlist/Playlist.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/help/HelpKey.h"

TFormPlayList* FormPlayList = nullptr;

TFormPlayList::TFormPlayList(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FormPlayList"));
  setWindowTitle(QStringLiteral("Playlist"));
  auto* layout = new QVBoxLayout(this);
  auto* listRow = new QHBoxLayout;
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setStyleSheet(QStringLiteral("QListWidget { background: black; color: lime; }"));
  btDelete = new QPushButton(QStringLiteral("del"), this);
  btDelete->setObjectName(QStringLiteral("btDelete"));
  btDelete->setFixedSize(25, 25);
  listRow->addWidget(ListBox1);
  listRow->addWidget(btDelete, 0, Qt::AlignTop);
  layout->addLayout(listRow);
  auto* buttons = new QHBoxLayout;
  btStart = new QPushButton(QStringLiteral("&Start"), this);
  btStart->setObjectName(QStringLiteral("btStart"));
  btSave = new QPushButton(QStringLiteral("&Speichern"), this);
  btSave->setObjectName(QStringLiteral("btSave"));
  btCancel = new QPushButton(QStringLiteral("&Abbruch"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  for (QPushButton* b : {btStart, btSave, btCancel, btHelp}) buttons->addWidget(b);
  layout->addLayout(buttons);
  resize(320, 300);
  qdl::help::setHelpContext(this, 50);
  qdl::help::attachHelpKey(this);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
  connect(btCancel, &QPushButton::clicked, this, &QWidget::close);
}
