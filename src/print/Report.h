#pragma once
// The song list report: a form that is never shown; it carries the texts and
// layout of the report that the report engine renders from the song table.

#include <QString>
#include <QWidget>

class QLabel;

class TFormQReport : public QWidget {
  Q_OBJECT
 public:
  explicit TFormQReport(QWidget* parent = nullptr);

  QLabel* QRLbUeberschrift;
  QLabel* QRLbInterpret;
  QLabel* QRLbTitel;
  QLabel* QRLbBeats;
  QLabel* QRLbGenre;
  QLabel* QRLbJahr;
  // Text of the page footer field (followed by the time of printing).
  QString QRSDSeiteText;
};

extern TFormQReport* FormQReport;
