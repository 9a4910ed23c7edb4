#pragma once
// Putting a document into a PDF file or on a printer, one page at a time.
//
// A print is made as the print system wants it anyway: the pages go into a
// temporary PDF file, which is handed to CUPS as one job when it is
// complete. So a print that is cancelled or fails on the way sends nothing
// to the printer (Qt's own printer output would send the pages made so far).
// The printer is the one chosen in the printer set-up (a QPrinter); when the
// set-up chose printing into a PDF file, the pages go into that file.
//
// The report's page set-up holds on paper: its page size and orientation,
// its margins measured from the paper's edges, one copy, one-sided, all
// pages. Other options of the set-up (a printer's own options) go with the
// job. Everything runs on the user-interface thread.

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

class QPrinter;

namespace qdl::report {

class Document;

// Called before page `page` (0-based) of `pageCount` is made; returning
// false stops the run (Cancelled).
using PageProgress = std::function<bool(int page, int pageCount)>;

enum class Outcome {
  Done,
  NoPages,    // the document has no page: nothing was written or printed
  NoPrinter,  // the set-up names neither a printer nor a file
  Cancelled,  // stopped by the progress callback: nothing was kept or sent
  Failed,     // see Result::error
};

struct Result {
  Outcome outcome = Outcome::Done;
  QString error;  // why it failed, for the user
};

// Writes the document as PDF into an open device.
Result renderPdf(const Document& document, QIODevice& device, const PageProgress& progress = {});

// Writes the document into the PDF file. The file is replaced only when the
// whole document was written: a cancelled or failed run leaves an old file
// as it was.
Result writePdf(const Document& document, const QString& fileName,
                const PageProgress& progress = {});

// Prints the document on the printer the set-up chose.
Result print(const Document& document, QPrinter& printer, const PageProgress& progress = {});

// Prints the document on a CUPS destination ("name" or "name/instance"):
// the pages go into a temporary PDF file that is submitted as one job with
// the set-up's options followed by the report's own.
Result printJob(const Document& document, const QString& printer,
                const QList<QPair<QByteArray, QByteArray>>& setUpOptions,
                const PageProgress& progress = {});

// A complete print job as it goes to the print system.
struct PrintJob {
  QString printer;  // CUPS destination, "name" or "name/instance"
  QString file;     // the PDF file; it is removed after the submitter returns
  QString title;    // name of the job in the queue
  QList<QPair<QByteArray, QByteArray>> options;  // CUPS options in order; later ones win
};

// Hands a job to the print system; returns an error text, empty on success.
using JobSubmitter = std::function<QString(const PrintJob& job)>;

// Installs a submitter (tests) and returns the previous one; an empty one
// restores CUPS.
JobSubmitter setJobSubmitter(JobSubmitter submitter);

}  // namespace qdl::report
