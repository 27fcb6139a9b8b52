// The finder dialog: locates the game folder by a search of the fixed disks or by the user's
// choice, and records it.
#pragma once

#include <string>

#include "base/shown_text.h"
#include "location/search.h"  // FoundDir and StopSearch, the search's result and stop flag
#include "ui/win32/form.h"

class TForm3 : public TForm {
 public:
  TForm3();

  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TLabel* Label5;
  TLabel* Label6;  // the progress line
  TButton* Button1;  // "自動検索", or "中止" while a sweep runs
  TButton* Button2;  // "手動設定"
  TButton* Button3;  // "終了"

  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void ShowSearchProgress(const std::string& folder);

 private:
  void BecomeIdle();

  // Puts the latest progress text on the screen at once.
  void DrawProgress();

  // True from the start of a sweep until it has returned, also while an aborted one winds down.
  bool sweeping_ = false;
  // The progress line as it is to read, and when the screen last showed it.
  ShownText progressText_;
  unsigned long progressTick_ = 0;
};

extern TForm3* Form3;
