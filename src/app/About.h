#pragma once
// The about box.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  QLabel* Comments;       // what the program is (set with the language)
  QLabel* DecoderCredit;  // the MP3 decoder and its version (set with the language)
  QPushButton* OKButton;

  // The MP3 decoder library the program is built with: name, version, site
  // and licence.
  static QString decoderName();
};

extern TAboutBox* AboutBox;
