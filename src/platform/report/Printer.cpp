#include "platform/report/Printer.h"

#include <QCoreApplication>
#include <QPrinter>

namespace qdl::report {
namespace {

QPrinter* printer = nullptr;

void deletePrinter() {
  delete printer;
  printer = nullptr;
}

}  // namespace

QPrinter& selectedPrinter() {
  if (!printer) {
    printer = new QPrinter(QPrinter::HighResolution);
    // The print system's plug-in must still be there when it goes.
    qAddPostRoutine(deletePrinter);
  }
  return *printer;
}

}  // namespace qdl::report
