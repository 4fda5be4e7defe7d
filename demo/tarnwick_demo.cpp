// The demo main application: a window that says which build it is, so that
// the demo shows the updater really installed the new one.
#include <gtk/gtk.h>

#include <string>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  const std::string text = "Tarnwick 演示程序\n版本 " + std::to_string(DEMO_BUILD) + ".0";
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Tarnwick");
  gtk_window_set_default_size(GTK_WINDOW(window), 320, 120);
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  gtk_container_add(GTK_CONTAINER(window), label);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
