#include "frontends/gtk/message_box.h"

#include "frontends/gtk/text_codec.h"

namespace gtkui {
namespace {

GtkMessageType ToMessageType(vcl::MessageIcon icon) {
  switch (icon) {
    case vcl::MessageIcon::kError: return GTK_MESSAGE_ERROR;
    case vcl::MessageIcon::kQuestion: return GTK_MESSAGE_QUESTION;
    case vcl::MessageIcon::kWarning: return GTK_MESSAGE_WARNING;
    case vcl::MessageIcon::kInformation: return GTK_MESSAGE_INFO;
    case vcl::MessageIcon::kNone: break;
  }
  return GTK_MESSAGE_OTHER;
}

}  // namespace

std::string MnemonicLabel(const std::string& label) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] == '_') {
      out += "__";
    } else if (label[i] == '&' && i + 1 < label.size() && label[i + 1] == '&') {
      out += '&';  // "&&" is a literal ampersand
      ++i;
    } else if (label[i] == '&') {
      out += '_';
    } else {
      out += label[i];
    }
  }
  return out;
}

int RunMessageBox(const vcl::MessageBoxRequest& request, const std::string& charset,
                  GtkWindow* parent) {
  const std::string text = DecodeText(request.text, charset);
  const std::string caption = DecodeText(request.caption, charset);
  GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, ToMessageType(request.icon),
                                             GTK_BUTTONS_NONE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT
                                                                : GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  int fallback = 0;
  for (const vcl::MessageButton& button : request.buttons) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), MnemonicLabel(button.label).c_str(), button.id);
    fallback = button.id;
  }
  if (request.buttons.empty()) {  // never a box without a way out
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", 1);
    fallback = 1;
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), request.buttons.empty() ? 1 : request.buttons.front().id);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response > 0 ? response : fallback;
}

}  // namespace gtkui
