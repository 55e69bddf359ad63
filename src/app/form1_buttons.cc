// The image buttons of the main window and the hidden command buttons.
#include <functional>

#include "app/form1.h"
#include "app/web_page_window.h"

void TForm1::WireButtons() {
  using namespace std::placeholders;
  const auto mouse = [this](void (TForm1::*handler)(TMouseButton, TShiftState, int, int)) {
    return std::bind(handler, this, _1, _2, _3, _4);
  };
  Image2->OnMouseDown = mouse(&TForm1::Image2MouseDown);
  Image2->OnMouseUp = mouse(&TForm1::Image2MouseUp);
  Image3->OnMouseDown = mouse(&TForm1::Image3MouseDown);
  Image3->OnMouseUp = mouse(&TForm1::Image3MouseUp);
  Image3->OnClick = [this] { Image3Click(); };
  Image4->OnMouseDown = mouse(&TForm1::Image4MouseDown);
  Image4->OnMouseUp = mouse(&TForm1::Image4MouseUp);
  Image4->OnClick = [this] { Button4Click(); };
  Image6->OnMouseDown = mouse(&TForm1::Image6MouseDown);
  Image6->OnMouseUp = mouse(&TForm1::Image6MouseUp);
  Image1->OnMouseDown = mouse(&TForm1::Image1MouseDown);
  Image1->OnMouseUp = mouse(&TForm1::Image1MouseUp);
  Image7->OnMouseDown = mouse(&TForm1::Image7MouseDown);
  Image7->OnMouseUp = mouse(&TForm1::Image7MouseUp);
  Button1->OnClick = [this] { Button1Click(); };
  Button4->OnClick = [this] { Button4Click(); };
}

void TForm1::ShowButtonLook(TImage* image, char letter, char look) {
  LoadSkin(image, std::string("Ftp\\FTP_cool_") + letter + "_" + look + "_001b.bmp");
}

void TForm1::Image2MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image2, 'a', 'H');
}

void TForm1::Image2MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image2, 'a', 'D');
  if (!Engine.ForcedUpdateActive && Button1->Enabled()) Button1->Click();
}

void TForm1::Image3MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image3, 'b', 'H');
}

void TForm1::Image3MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image3, 'b', 'D');
}

void TForm1::Image3Click() {
  if (Hooks.Image3Click) Hooks.Image3Click();
}

void TForm1::Image4MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image4, 'd', 'H');
}

void TForm1::Image4MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image4, 'd', 'D');
}

void TForm1::Image6MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image6, 'c', 'H');
}

void TForm1::Image6MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image6, 'c', 'D');
  OpenWebPageWindow(HomePageAddress(Engine.FtpConfig));
}

void TForm1::Image1MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image1, 'k', 'H');
}

void TForm1::Image1MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image1, 'k', 'D');
  if (Hooks.Image1MouseUp) Hooks.Image1MouseUp();
  CloseIfRunStopped();
}

void TForm1::Image7MouseDown(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image7, 'n', 'H');
}

void TForm1::Image7MouseUp(TMouseButton, TShiftState, int, int) {
  ShowButtonLook(Image7, 'n', 'D');
  // The language is asked afresh: an empty page for simplified Chinese.
  OpenWebPageWindow(AccountPageAddress(Engine.FtpConfig, GetLangLetter()[0]));
}
