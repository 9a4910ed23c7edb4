#include "platform/ui/Look.h"

#include <QApplication>
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
}

}  // namespace qdl::ui
