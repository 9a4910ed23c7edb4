#include "platform/ui/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qdl::ui {

bool useQtTexts(bool german) {
  static QTranslator* translator = nullptr;
  if (!german) {
    if (translator) QCoreApplication::removeTranslator(translator);
    return true;
  }
  if (!translator) {
    translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      delete translator;
      translator = nullptr;
      return false;
    }
  }
  // Installing it again only moves it to the front.
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace qdl::ui
