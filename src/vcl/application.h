// The application object: title, main form, the message loop, message
// boxes and the standard error box, and the end of the process.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "vcl/backend.h"

class TForm;

// Message box flags and results, with the values of the Windows API.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDABORT = 3;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class TApplication {
 public:
  TApplication();

  // The backend every component draws through. Must be set before the
  // first form is created; the caller keeps it alive while forms exist.
  void SetBackend(vcl::Backend* backend) { backend_ = backend; }
  vcl::Backend& Backend();
  bool HasBackend() const { return backend_ != nullptr; }

  std::string Title;
  // Character set of the byte texts shown ("BIG5", "GB2312" or
  // "WINDOWS-1252"); the backend decodes texts with it.
  std::string CharSet = "WINDOWS-1252";

  // Creates a form owned by nobody and kept until Shutdown; the first one
  // becomes the main form. The form's constructor runs its creation event.
  template <class Form, class... Args>
  Form* CreateForm(Args&&... args) {
    Form* form = new Form(std::forward<Args>(args)...);
    AdoptForm(form);
    return form;
  }
  TForm* MainForm() const { return main_form_; }

  // Shows the main form and pumps messages until Terminate. Re-enters handlers.
  void Run();
  // Dispatches what is pending now (platform::ProcessMessages).
  void ProcessMessages();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // A modal box of `text` with the buttons of `flags` (MB_OK or MB_YESNO,
  // plus an MB_ICON* value); returns IDOK, IDYES or IDNO.
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
  // The box of a failed unpacking: error icon, one "&Abort" button.
  void AbortBox(const std::string& text, const std::string& caption);
  // The standard error box for an exception no handler took: its text,
  // captioned with the title, error icon, OK.
  void ShowException(const std::exception& error);

  // Ends the process at once with `code`, without releasing anything, by
  // the halt handler that the program's main installed; returns only when
  // that handler returns (a test's, which records the code). Throws
  // std::logic_error when no handler is installed.
  void Halt(int code);
  void SetHaltHandler(std::function<void(int code)> handler) { halt_ = std::move(handler); }

  // Releases every form made by CreateForm (newest first) and forgets the
  // main form; the backend stays set. Used at the end of a run and by tests.
  void Shutdown();

  // Called by a form's destructor.
  void FormDestroyed(TForm* form);

 private:
  void AdoptForm(TForm* form);

  vcl::Backend* backend_ = nullptr;
  TForm* main_form_ = nullptr;
  std::vector<TForm*> forms_;
  bool terminated_ = false;
  std::function<void(int)> halt_;
};

extern TApplication Application;
