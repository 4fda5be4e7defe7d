#include "window_icon.h"

#include <memory>
#include <span>
#include <vector>

#include "gobject_ref.h"

namespace platform {

// The icon's PNG files, smallest first; generated at build time from
// updater/icon/tarnwick.svg (cmake/EmbedIconPngs.cmake).
std::span<const std::span<const unsigned char>> WindowIconPngs();

namespace {

using PixbufRef = GObjectRef<GdkPixbuf>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GListFree {
  void operator()(GList* list) const { g_list_free(list); }
};
using ListPtr = std::unique_ptr<GList, GListFree>;

// Decodes one size. An image the system cannot decode (a gdk-pixbuf without
// its PNG loader) leaves that size out with a warning: a window without its
// icon still installs the update, so it is no reason to stop the program.
PixbufRef Decode(std::span<const unsigned char> png) {
  auto stream = GObjectRef<GInputStream>::Adopt(
      g_memory_input_stream_new_from_data(png.data(), static_cast<gssize>(png.size()), nullptr));
  GError* failure = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_stream(stream.Get(), nullptr, &failure);
  const ErrorPtr error(failure);
  if (!pixbuf) {
    g_warning("the window icon cannot be read: %s", error ? error->message : "no image");
    return {};
  }
  return PixbufRef::Adopt(pixbuf);
}

}  // namespace

void SetWindowIcon(GtkWindow* window) {
  std::vector<PixbufRef> sizes;
  for (const auto png : WindowIconPngs()) {
    PixbufRef pixbuf = Decode(png);
    if (pixbuf.Get()) sizes.push_back(std::move(pixbuf));
  }
  if (sizes.empty()) return;
  // GTK takes references of its own to the images; the list stays ours.
  GList* list = nullptr;
  for (auto it = sizes.rbegin(); it != sizes.rend(); ++it) list = g_list_prepend(list, it->Get());
  const ListPtr owned(list);
  gtk_window_set_icon_list(window, owned.get());
}

}  // namespace platform
