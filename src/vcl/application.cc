#include "vcl/application.h"

#include <algorithm>
#include <stdexcept>

#include "platform/event_loop.h"
#include "vcl/form.h"

TApplication Application;

TApplication::TApplication() = default;

vcl::Backend& TApplication::Backend() {
  if (backend_ == nullptr) throw std::logic_error("no user-interface backend set");
  return *backend_;
}

void TApplication::AdoptForm(TForm* form) {
  forms_.push_back(form);
  if (main_form_ == nullptr) main_form_ = form;
}

void TApplication::FormDestroyed(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (main_form_ == form) main_form_ = nullptr;
}

void TApplication::Run() {
  if (main_form_ != nullptr && !terminated_) main_form_->Show();
  while (!terminated_) platform::WaitForEvent(100);
}

void TApplication::ProcessMessages() { platform::ProcessMessages(); }

int TApplication::MessageBox(const std::string& text, const std::string& caption,
                             unsigned flags) {
  vcl::MessageBoxRequest request;
  request.text = text;
  request.caption = caption;
  switch (flags & 0xF0) {
    case MB_ICONERROR: request.icon = vcl::MessageIcon::kError; break;
    case MB_ICONQUESTION: request.icon = vcl::MessageIcon::kQuestion; break;
    case MB_ICONWARNING: request.icon = vcl::MessageIcon::kWarning; break;
    case MB_ICONINFORMATION: request.icon = vcl::MessageIcon::kInformation; break;
    default: break;
  }
  if ((flags & 0x0F) == MB_YESNO)
    request.buttons = {{"&Yes", IDYES}, {"&No", IDNO}};
  else
    request.buttons = {{"OK", IDOK}};
  return Backend().ShowMessageBox(request);
}

void TApplication::AbortBox(const std::string& text, const std::string& caption) {
  vcl::MessageBoxRequest request{text, caption, vcl::MessageIcon::kError, {{"&Abort", IDABORT}}};
  Backend().ShowMessageBox(request);
}

void TApplication::ShowException(const std::exception& error) {
  MessageBox(error.what(), Title, MB_OK | MB_ICONERROR);
}

void TApplication::Halt(int code) {
  if (!halt_) throw std::logic_error("no halt handler installed");
  halt_(code);
}

void TApplication::Shutdown() {
  while (!forms_.empty()) delete forms_.back();  // each one leaves forms_
  main_form_ = nullptr;
  terminated_ = false;
}
