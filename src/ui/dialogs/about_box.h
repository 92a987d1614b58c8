#pragma once

#include <QDialog>
#include <QPixmap>
#include <QStringList>

#include "app/dialogs.h"
#include "version.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace dova::ui {

// "About DOVA-300 Logger": the program's picture, name and version and a page of hints.
class TAboutBox : public QDialog, public IAboutBox {
 public:
  static constexpr const char* kCaption = "About DOVA-300 Logger";
  static constexpr const char* kProductName = "DOVA-300 Benchtop Incubator Logger";
  static constexpr const char* kVersion = "Version " DOVA_VERSION;

  TAboutBox();
  // Shown modally; OK (or Enter, Esc, the close box) closes it.
  void ShowModal() override;

  // The lines of the hints page, exactly as shown.
  static QStringList MemoLines();
  // The picture at the top left: an incubator drawn for this program, 105 x 69 pixels.
  static QPixmap DrawProgramIcon();

  QFrame* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* ProductShadow = nullptr;
  QLabel* Version = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* OKButton = nullptr;
};

}  // namespace dova::ui
