// The main updater window: the painted banner and the three commands.
#pragma once

#include <string>

#include "ui/win32/form.h"

class TForm1 : public TForm {
 public:
  TForm1();

  TImage* Image1;
  TButton* Button1;  // "アップデート開始"
  TButton* Button3;  // "終了"
  TButton* Button4;  // "アップデート先変更"

  void FormShow();
  void FormCreate();
  void Button3Click();
  void Button1Click();
  void Button4Click();

  void PaintBanner();
};

extern TForm1* Form1;

// The game folder, ending with a backslash; assigned only by LoadGameDir.
extern std::string GameDir;
