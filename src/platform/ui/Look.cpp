#include "platform/ui/Look.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace qdl::ui {

QFont consoleFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kFontPixelSize);
  return font;
}

void applyConsoleLook() {
  if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
      QApplication::setStyle(fusion);
  }
  QApplication::setFont(consoleFont());
  // Fusion greys disabled texts almost to the console's silver: the labels of
  // switched-off controls ("Vol. Head" without a headphone card) would vanish.
  QPalette palette = QApplication::palette();
  const QColor grey(0x80, 0x80, 0x80);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, grey);
  QApplication::setPalette(palette);
}

}  // namespace qdl::ui
