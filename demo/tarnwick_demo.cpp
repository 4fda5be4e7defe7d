// The demo main application: a window that says which build it is and which
// version its marker file records, so that the demo shows the updater really
// installed the new build and wrote the published version.
#include <gtk/gtk.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

std::string OwnFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/'));
}

// The six-byte version field at offset 9 of tarn.dat, without its padding.
std::string RecordedVersion() {
  std::ifstream marker(OwnFolder() + "/tarn.dat", std::ios::binary);
  std::string field(6, ' ');
  if (!marker.seekg(9) || !marker.read(field.data(), 6)) return "（无）";
  field.erase(field.find_last_not_of(' ') + 1);
  return field.empty() ? "（空）" : field;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  const std::string text = "Tarnwick 演示程序\n版本 " + std::to_string(DEMO_BUILD) +
                           ".0\ntarn.dat 记录的版本：" + RecordedVersion();
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
