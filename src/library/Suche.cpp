#include "library/Suche.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "platform/help/HelpKey.h"

TFormDatenBearbeiten* FormDatenBearbeiten = nullptr;

TFormDatenBearbeiten::TFormDatenBearbeiten(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormDatenBearbeiten"));
  setWindowTitle(QStringLiteral("Bearbeite Datenbank und ID3 Tags"));
  auto* layout = new QGridLayout(this);
  Label1 = new QLabel(QStringLiteral("suche Interpret"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Label2 = new QLabel(QStringLiteral("suche Titel"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  QFont bold = Label3->font();
  bold.setBold(true);
  Label3->setFont(bold);
  DBGrid1 = new QTableView(this);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  btClose = new QPushButton(QStringLiteral("&Schliessen"), this);
  btClose->setObjectName(QStringLiteral("btClose"));
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  layout->addWidget(Label1, 0, 0);
  layout->addWidget(Edit1, 1, 0);
  layout->addWidget(Label2, 0, 1);
  layout->addWidget(Edit2, 1, 1);
  layout->addWidget(Label3, 1, 2);
  layout->addWidget(DBGrid1, 2, 0, 1, 3);
  layout->addWidget(btClose, 3, 1);
  layout->addWidget(btHelp, 3, 2);
  resize(720, 420);
  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  qdl::help::setHelpContext(this, 80);
  qdl::help::attachHelpKey(this);
  connect(btHelp, &QPushButton::clicked, this, [this] { qdl::help::helpKeyPressed(this); });
}
