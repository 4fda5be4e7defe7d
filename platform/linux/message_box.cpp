#include "platform/message_box.h"

#include <gtk/gtk.h>

namespace platform {
namespace {

// The program's visible top-level window, to keep the box in front of it.
GtkWindow* ProgramWindow() {
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item && !found; item = item->next) {
    GtkWidget* widget = GTK_WIDGET(item->data);
    if (gtk_widget_get_visible(widget) && !GTK_IS_DIALOG(widget) &&
        gtk_window_get_window_type(GTK_WINDOW(widget)) == GTK_WINDOW_TOPLEVEL)
      found = GTK_WINDOW(widget);
  }
  g_list_free(windows);
  return found;
}

}  // namespace

void DialogMessageBox::Show(const std::string& text, const std::string& title) {
  GtkWidget* dialog = gtk_message_dialog_new(
      ProgramWindow(), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace platform
