#include "app/About.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAboutBox* AboutBox = nullptr;

// The version comes from the build.
QString TAboutBox::decoderName() {
  return QStringLiteral("libmpg123 %1 (mpg123.de, LGPL 2.1)")
      .arg(QStringLiteral(QDL_MPG123_VERSION));
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("Info"));
  auto* layout = new QVBoxLayout(this);
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setStyleSheet(
      QStringLiteral("QFrame#Panel1 { background: black; }"
                     "QLabel { color: aqua; font-weight: bold; }"));
  auto* panelLayout = new QHBoxLayout(panel);
  auto* icon = new QLabel(panel);
  icon->setObjectName(QStringLiteral("ProgramIcon"));
  icon->setPixmap(QPixmap(QStringLiteral(":/ICON")));
  panelLayout->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  auto add = [&](const char* name, const QString& text) {
    auto* l = new QLabel(text, panel);
    l->setObjectName(QLatin1String(name));
    texts->addWidget(l);
    return l;
  };
  add("ProductName", QStringLiteral("Quandrel"));
  add("Version", QStringLiteral("public Alpha 2"));
  add("Copyright", QStringLiteral("The Quandrel developers"));
  Comments = add("Comments", QStringLiteral("Ein DJ-Pult für MP3-Dateien"));
  DecoderCredit = add("DecoderCredit", QStringLiteral("MP3-Dekodierung: ") + decoderName());
  panelLayout->addLayout(texts);
  layout->addWidget(panel);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  layout->addWidget(OKButton, 0, Qt::AlignHCenter);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
