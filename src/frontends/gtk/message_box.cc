#include "frontends/gtk/message_box.h"

#include "frontends/gtk/text_codec.h"

namespace gtkui {
namespace {

// Icon names of the standard icon theme; none for a plain box.
const char* IconName(vcl::MessageIcon icon) {
  switch (icon) {
    case vcl::MessageIcon::kError: return "dialog-error-symbolic";
    case vcl::MessageIcon::kQuestion: return "dialog-question-symbolic";
    case vcl::MessageIcon::kWarning: return "dialog-warning-symbolic";
    case vcl::MessageIcon::kInformation: return "dialog-information-symbolic";
    case vcl::MessageIcon::kNone: break;
  }
  return nullptr;
}

// The icon beside the text, as the boxes of the designs show them.
GtkWidget* MessageBody(const std::string& text, vcl::MessageIcon icon) {
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 16);
  if (const char* name = IconName(icon)) {
    GtkWidget* image = gtk_image_new_from_icon_name(name, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  }
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
  gtk_widget_show_all(row);
  return row;
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
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_widget_set_size_request(dialog, 300, -1);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))),
                    MessageBody(text, request.icon));
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
