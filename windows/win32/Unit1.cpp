// The main window: centred at creation, the banner painted and the game folder made sure of when
// shown, and the update, change-destination and exit commands.
#include "windows/win32/Unit1.h"

#include "dialogs/win32/message_dialog.h"
#include "location/game_dir.h"
#include "payload/win32/extract.h"
#include "ui/win32/application.h"
#include "ui/layout.h"
#include "windows/win32/Unit3.h"
#include "windows/layout_math.h"
#include "windows/update_files.h"

TForm1* Form1 = nullptr;
std::string GameDir;

namespace {

const TFormSpec kForm1 = {"TForm1", OwnText("アップデーター"), TBorderStyle::Sizeable, 585, 1026, 538, 291, false};

// clang-format off
const TLayoutRow<TForm1> kForm1Controls[] = {
  // Field                   Name      Left  Top  Width  Height   Caption              Tab   On click
  {Field<&TForm1::Image1>,  "Image1",     8,   8,   512,    193, nullptr,               -1, nullptr},
  {Field<&TForm1::Button1>, "Button1",    8, 216,   113,     33, "アップデート開始",     0, &TForm1::Button1Click},
  {Field<&TForm1::Button3>, "Button3",  432, 216,    83,     33, "終了",                 1, &TForm1::Button3Click},
  {Field<&TForm1::Button4>, "Button4",  296, 216,   113,     33, "アップデート先変更",   2, &TForm1::Button4Click},
};
// clang-format on

struct BannerLine {
  int Y;
  const char* Text;
};

const BannerLine kBannerLines[] = {
    {10, "『ヴェルドラン』をお買い求めいただき、まことにありがとうございます。"},
    {30, "このたびは、製品の不具合により、お客様各位にご迷惑を"},
    {50, "おかけしましたこと、深くお詫び申し上げます。"},
    {75, "本プログラムは『ヴェルドラン』の不具合を修正するものです。"},
    {110, "[アップデート開始] ボタンでアップデートを開始します。"},
    {150, "※アップデート適用後、セーブデータは引き続きご利用いただけますが、"},
    {170, "　稀に表示の不具合などがみられることがあります。ご了承ください。"},
};

}  // namespace

TForm1::TForm1() : TForm(kForm1) {
  CreateControls(this, kForm1Controls);
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
}

void TForm1::FormCreate() {
  ui::LayoutPoint p = ui::CentredOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), Width(),
                                          Height(), ui::Overhang::Kept);
  SetLeft(p.X);
  SetTop(p.Y);
  LoadGameDir(GameDir);
}

void TForm1::FormShow() {
  PaintBanner();
  if (GameDir.empty()) {
    Form3->ShowModal();
    LoadGameDir(GameDir);
    if (GameDir.empty()) Close();
  }
}

void TForm1::PaintBanner() {
  TCanvas& canvas = Image1->Canvas();
  const int h = Image1->Height();
  const int w = Image1->Width();
  for (int i = 0; i < h; ++i) {
    canvas.Brush.Color = BannerRowColor(i, h);
    canvas.FillRect(0, i, w, i + 1);
  }
  canvas.Brush.Style = TBrushStyle::Clear;
  canvas.Font.Height = 16;
  canvas.Font.Color = RGB(255, 255, 255);
  for (const BannerLine& line : kBannerLines) canvas.TextOut(10, line.Y, OwnText(line.Text));
  InvalidateRect(Image1->Handle(), nullptr, FALSE);
}

void TForm1::Button1Click() {
  Button1->SetEnabled(false);
  Button4->SetEnabled(false);
  Button3->SetEnabled(false);
  // Let the disabled buttons be drawn; the extraction below handles no messages.
  Application->ProcessMessages();
  // Both files are decoded before either is put in place: a failure leaves the previous release.
  // An update cut short earlier in this folder is finished or undone first.
  InstallPayloads(GameDir, kUpdateFiles);
  ShowMessageDialog("アップデート完了しました", DialogKind::Information, DialogButton::OK, 0);
  Close();
}

void TForm1::Button3Click() { Close(); }

// A folder recorded here reaches only the registry: this run keeps updating GameDir as loaded.
void TForm1::Button4Click() { Form3->ShowModal(); }
