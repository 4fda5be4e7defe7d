// The window on Linux: a GTK 3 top-level with a fixed layout. The frame is an
// overlay with its own input window, so while it is shown it hides the button
// and takes the clicks meant for it.
#include <gtk/gtk.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "gobject_ref.h"
#include "platform/error.h"
#include "platform/window.h"
#include "window_icon.h"

namespace platform {
namespace {

constexpr int kTwipsPerPixel = 15;  // at 96 dpi; GTK scales for the monitor
constexpr int kGb2312Charset = 134;
// Faces shaped like the Windows Song face, for systems that lack it.
constexpr char kSongSubstitutes[] = R"("SimSun", "AR PL UMing CN", "Noto Serif CJK SC", serif)";

int Pixels(int twips) { return twips / kTwipsPerPixel; }

using WidgetRef = GObjectRef<GtkWidget>;

void AddCss(GtkWidget* widget, const std::string& css) {
  auto provider = GObjectRef<GtkCssProvider>::Adopt(gtk_css_provider_new());
  gtk_css_provider_load_from_data(provider.Get(), css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                 GTK_STYLE_PROVIDER(provider.Get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// CSS wants a point as the decimal separator, whatever the user's locale.
std::string FontCss(const Font& font) {
  char size[32];
  const auto end = std::to_chars(size, size + sizeof size, font.points, std::chars_format::fixed, 2).ptr;
  return std::string("font-family: \"") + font.face + "\", " + kSongSubstitutes +
         "; font-size: " + std::string(size, end) + "pt; font-weight: normal;";
}

std::string LabelCss(const Font& font, unsigned rgb) {
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%06x", rgb & 0xffffffu);
  return std::string("label { color: ") + colour + "; " + FontCss(font) + " }";
}

void SetLanguage(GtkWidget* label, const Font& font) {
  if (font.charset != kGb2312Charset) return;
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_language_new(pango_language_from_string("zh-cn")));
  gtk_label_set_attributes(GTK_LABEL(label), attributes);
  pango_attr_list_unref(attributes);
}

// Where a widget stands on the window's client area, in pixels.
Rect Bounds(GtkWidget* widget) {
  GtkAllocation size;
  gtk_widget_get_allocation(widget, &size);
  int x = 0;
  int y = 0;
  gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &x, &y);
  return {x, y, size.width, size.height};
}

void Place(GtkWidget* widget, const Rect& at) {
  gtk_widget_set_size_request(widget, Pixels(at.width), Pixels(at.height));
}

class GtkFrameControl final : public Frame {
 public:
  GtkFrameControl(GtkWidget* box, GtkWidget* inside)
      : box_(WidgetRef::Share(box)), inside_(WidgetRef::Share(inside)) {}
  bool Visible() const override { return gtk_widget_get_visible(box_.Get()); }
  void SetVisible(bool visible) override { gtk_widget_set_visible(box_.Get(), visible); }
  Rect Bounds() const override { return platform::Bounds(box_.Get()); }
  GtkWidget* Inside() const { return inside_.Get(); }

 private:
  WidgetRef box_;
  WidgetRef inside_;
};

class GtkLabelControl final : public Label {
 public:
  explicit GtkLabelControl(GtkWidget* label) : label_(WidgetRef::Share(label)) {}
  std::string Text() const override { return gtk_label_get_text(GTK_LABEL(label_.Get())); }

 private:
  WidgetRef label_;
};

// The pulse is GTK's activity mode, which it does not report: the control
// remembers it.
class GtkProgressBarControl final : public ProgressBar {
 public:
  explicit GtkProgressBarControl(GtkWidget* bar) : bar_(WidgetRef::Share(bar)) {}
  void SetFraction(double fraction) override {
    pulsing_ = false;
    // Also for a NaN, which no comparison lets through.
    gtk_progress_bar_set_fraction(Bar(), fraction > 0 ? std::min(fraction, 1.0) : 0.0);
  }
  void Pulse() override {
    if (!pulsing_) gtk_progress_bar_set_fraction(Bar(), 0);
    pulsing_ = true;
    gtk_progress_bar_pulse(Bar());
  }
  void Clear() override { SetFraction(0); }
  double Fraction() const override { return gtk_progress_bar_get_fraction(Bar()); }
  bool Pulsing() const override { return pulsing_; }
  Rect Bounds() const override { return platform::Bounds(bar_.Get()); }

 private:
  GtkProgressBar* Bar() const { return GTK_PROGRESS_BAR(bar_.Get()); }

  WidgetRef bar_;
  bool pulsing_ = false;
};

class GtkFormWindow;

class GtkButtonControl final : public Button {
 public:
  // The caption is a label of the button's own, so that its font stays when
  // the caption changes.
  GtkButtonControl(GtkFormWindow& window, GtkWidget* button, GtkWidget* caption,
                   std::function<void()> onClick)
      : window_(window),
        button_(WidgetRef::Share(button)),
        caption_(WidgetRef::Share(caption)),
        onClick_(std::move(onClick)) {
    g_signal_connect(button, "clicked", G_CALLBACK(&GtkButtonControl::OnClicked), this);
  }
  std::string Caption() const override { return gtk_label_get_text(GTK_LABEL(caption_.Get())); }
  void SetCaption(const std::string& caption) override {
    gtk_label_set_text(GTK_LABEL(caption_.Get()), caption.c_str());
  }
  bool Enabled() const override { return gtk_widget_get_sensitive(button_.Get()); }
  void SetEnabled(bool enabled) override { gtk_widget_set_sensitive(button_.Get(), enabled); }
  bool HasFocus() const override { return gtk_widget_is_focus(button_.Get()); }
  void Click() override {
    if (Enabled()) gtk_button_clicked(GTK_BUTTON(button_.Get()));
  }
  Rect Bounds() const override { return platform::Bounds(button_.Get()); }
  GtkWidget* Widget() const { return button_.Get(); }

 private:
  static void OnClicked(GtkButton*, gpointer self);

  GtkFormWindow& window_;
  WidgetRef button_;
  WidgetRef caption_;
  std::function<void()> onClick_;
};

class GtkFormWindow final : public Window {
 public:
  GtkFormWindow(const std::string& caption, int widthTwips, int heightTwips)
      : window_(WidgetRef::Share(gtk_window_new(GTK_WINDOW_TOPLEVEL))),
        overlay_(WidgetRef::Share(gtk_overlay_new())),
        fixed_(WidgetRef::Share(gtk_fixed_new())) {
    GtkWidget* window = window_.Get();
    gtk_window_set_title(GTK_WINDOW(window), caption.c_str());
    SetWindowIcon(GTK_WINDOW(window));
    gtk_window_set_default_size(GTK_WINDOW(window), Pixels(widthTwips), Pixels(heightTwips));
    gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
    gtk_container_add(GTK_CONTAINER(overlay_.Get()), fixed_.Get());
    gtk_container_add(GTK_CONTAINER(window), overlay_.Get());
    g_signal_connect_after(window, "realize", G_CALLBACK(&GtkFormWindow::OnRealize), this);
    g_signal_connect(window, "delete-event", G_CALLBACK(&GtkFormWindow::OnDelete), this);
    g_signal_connect(window, "destroy", G_CALLBACK(&GtkFormWindow::OnDestroy), this);
  }

  ~GtkFormWindow() override {
    if (!closed_) gtk_widget_destroy(window_.Get());
  }

  Frame& AddFrame(const Rect& at) override {
    GtkWidget* box = gtk_event_box_new();
    gtk_widget_set_no_show_all(box, TRUE);
    gtk_widget_set_halign(box, GTK_ALIGN_START);
    gtk_widget_set_valign(box, GTK_ALIGN_START);
    gtk_widget_set_margin_start(box, Pixels(at.left));
    gtk_widget_set_margin_top(box, Pixels(at.top));
    Place(box, at);
    AddCss(box, "* { background-color: @theme_bg_color; }");  // opaque over the button
    GtkWidget* inside = gtk_fixed_new();
    GtkWidget* border = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(border), GTK_SHADOW_ETCHED_IN);
    Place(border, at);
    gtk_fixed_put(GTK_FIXED(inside), border, 0, 0);
    gtk_container_add(GTK_CONTAINER(box), inside);
    gtk_widget_show(inside);
    gtk_widget_show(border);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_.Get()), box);
    return Keep(frames_, std::make_unique<GtkFrameControl>(box, inside));
  }

  Label& AddLabel(Frame& frame, const Rect& at, const std::string& text, const Font& font,
                  unsigned rgb) override {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    Place(label, at);
    AddCss(label, LabelCss(font, rgb));
    SetLanguage(label, font);
    auto& inside = static_cast<GtkFrameControl&>(frame);
    gtk_fixed_put(GTK_FIXED(inside.Inside()), label, Pixels(at.left), Pixels(at.top));
    gtk_widget_show(label);
    return Keep(labels_, std::make_unique<GtkLabelControl>(label));
  }

  ProgressBar& AddProgressBar(Frame& frame, const Rect& at) override {
    GtkWidget* bar = gtk_progress_bar_new();
    Place(bar, at);
    // The theme's bar is taller than the place it is given: thinned to fit,
    // the trough's border included.
    const std::string inner = std::to_string(std::max(Pixels(at.height) - 2, 1)) + "px";
    AddCss(bar, "progressbar trough { border-width: 1px; min-height: " + inner +
                    "; } progressbar progress { min-height: " + inner + "; }");
    auto& inside = static_cast<GtkFrameControl&>(frame);
    gtk_fixed_put(GTK_FIXED(inside.Inside()), bar, Pixels(at.left), Pixels(at.top));
    gtk_widget_show(bar);
    return Keep(progressBars_, std::make_unique<GtkProgressBarControl>(bar));
  }

  Button& AddButton(const Rect& at, const std::string& caption, const Font& font,
                    std::function<void()> onClick) override {
    GtkWidget* button = gtk_button_new();
    GtkWidget* label = gtk_label_new(caption.c_str());
    AddCss(label, "label { " + FontCss(font) + " }");
    SetLanguage(label, font);
    gtk_container_add(GTK_CONTAINER(button), label);
    Place(button, at);
    gtk_fixed_put(GTK_FIXED(fixed_.Get()), button, Pixels(at.left), Pixels(at.top));
    return Keep(buttons_,
                std::make_unique<GtkButtonControl>(*this, button, label, std::move(onClick)));
  }

  void Show() override {
    gtk_widget_show_all(window_.Get());
    if (!buttons_.empty()) gtk_widget_grab_focus(buttons_.front()->Widget());
  }

  void Resize(int widthPixels, int heightPixels) override {
    gtk_window_resize(GTK_WINDOW(window_.Get()), widthPixels, heightPixels);
  }

  void Close(int exitCode) override {
    exitCode_ = exitCode;
    if (!closed_) gtk_widget_destroy(window_.Get());
  }

  bool Closed() const override { return closed_; }

  void RequestClose() override {
    if (!closed_) gtk_window_close(GTK_WINDOW(window_.Get()));
  }

  int Run() override {
    if (closed_) return exitCode_;
    running_ = true;
    gtk_main();
    running_ = false;
    return exitCode_;
  }

  void ProcessPending() override {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    if (closeRequested_) throw WindowClosed();
  }

  // Runs a click handler. No exception may leave into GTK; the program's
  // handlers report their own errors, so one arriving here ends the program.
  void Dispatch(const std::function<void()>& handler) noexcept {
    if (busy_) return;
    busy_ = true;
    try {
      handler();
    } catch (...) {
      g_critical("a click handler failed");
      exitCode_ = 1;
      closeRequested_ = true;
    }
    busy_ = false;
    if (closeRequested_ && !closed_) Close(exitCode_);
  }

 private:
  template <class T>
  static T& Keep(std::vector<std::unique_ptr<T>>& list, std::unique_ptr<T> control) {
    list.push_back(std::move(control));
    return *list.back();
  }

  // No maximize button: the layout is fixed.
  static void OnRealize(GtkWidget* widget, gpointer) {
    gdk_window_set_functions(gtk_widget_get_window(widget),
                             GdkWMFunction(GDK_FUNC_RESIZE | GDK_FUNC_MOVE |
                                           GDK_FUNC_MINIMIZE | GDK_FUNC_CLOSE));
  }

  // A close while a click is handled waits until the handler has unwound.
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* window = static_cast<GtkFormWindow*>(self);
    if (!window->busy_) return FALSE;
    window->closeRequested_ = true;
    return TRUE;
  }

  static void OnDestroy(GtkWidget*, gpointer self) {
    auto* window = static_cast<GtkFormWindow*>(self);
    window->closed_ = true;
    if (window->running_) gtk_main_quit();
  }

  WidgetRef window_;
  WidgetRef overlay_;
  WidgetRef fixed_;
  std::vector<std::unique_ptr<GtkFrameControl>> frames_;
  std::vector<std::unique_ptr<GtkLabelControl>> labels_;
  std::vector<std::unique_ptr<GtkProgressBarControl>> progressBars_;
  std::vector<std::unique_ptr<GtkButtonControl>> buttons_;
  bool busy_ = false;
  bool closeRequested_ = false;
  bool closed_ = false;
  bool running_ = false;
  int exitCode_ = 0;
};

void GtkButtonControl::OnClicked(GtkButton*, gpointer self) {
  auto* button = static_cast<GtkButtonControl*>(self);
  button->window_.Dispatch(button->onClick_);
}

}  // namespace

// The program's name on the desktop (its windows' WM_CLASS), the same in every
// locale, unlike a title that some locales cannot represent.
//
// The window draws nothing with OpenGL, but GDK probes GL when it opens the
// display, which loads the system's GL driver (Mesa's llvmpipe under Xvfb:
// some 50 MB and tens of milliseconds). Turned off for the updater alone:
// the main application it starts inherits the user's own setting.
bool InitWindowSystem() {
  g_set_prgname("tarnwick-updater");
  const bool ownSetting = g_getenv("GDK_GL") == nullptr;
  if (ownSetting) g_setenv("GDK_GL", "disable", TRUE);
  const bool opened = gtk_init_check(nullptr, nullptr);
  if (ownSetting) g_unsetenv("GDK_GL");
  return opened;
}

std::unique_ptr<Window> MakeWindow(const std::string& caption, int clientWidthTwips,
                                   int clientHeightTwips) {
  return std::make_unique<GtkFormWindow>(caption, clientWidthTwips, clientHeightTwips);
}

}  // namespace platform
