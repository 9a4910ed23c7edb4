#pragma once
// The texts the report engine shows, in the language of the program; the
// caller fills them from its string table. "%1" and "%2" stand for a page
// number and the number of pages.

#include <QString>

namespace qdl::report {

struct Texts {
  QString previewCaption;                            // caption of the preview window
  QString pageOfPages;                               // "%1 of %2" in the preview's page display
  QString firstPage, priorPage, nextPage, lastPage;  // tool tips of the page buttons
  QString wholePage, pageWidth;                      // zoom choices besides the percentages
  QString print, savePdf, close;                     // buttons of the preview
  QString printingPage;                              // "%1 of %2" in the progress window of a print
  QString savingPage;                                // the same while a PDF file is written
  QString cancel;                                    // the progress window's button
};

// A page text with its page number and number of pages put in; a text
// without the marks stays as it is.
inline QString pageText(QString pattern, int page, int count) {
  return pattern.replace(QLatin1String("%1"), QString::number(page))
      .replace(QLatin1String("%2"), QString::number(count));
}

}  // namespace qdl::report
