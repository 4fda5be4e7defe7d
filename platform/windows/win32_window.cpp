// The window on Windows: a top-level window of its own class with standard
// controls laid out in pixels computed from twips for the window's DPI. The
// frame is a child window of a small class of its own, above the button in
// the z-order: while it is shown it hides the button and takes the clicks
// meant for it (a plain group box lets them through and does not colour its
// labels).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gdi_object.h"
#include "platform/error.h"
#include "platform/window.h"
#include "resource_ids.h"
#include "system_error.h"
#include "wide_text.h"

namespace platform {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kPointsPerInch = 72;
constexpr UINT kDefaultDpi = 96;
constexpr UINT kWmDpiChanged = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later
constexpr int kIdiApplication = 32512;   // IDI_APPLICATION, whatever UNICODE says

constexpr wchar_t kFormClass[] = L"TarnwickUpdaterForm";
constexpr wchar_t kFrameClass[] = L"TarnwickUpdaterFrame";
// Sizable, with a system menu and a minimize box, but nothing to maximize:
// the layout is fixed.
constexpr DWORD kFormStyle = (WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX) | WS_CLIPCHILDREN;
// Lets IsDialogMessageW move the focus among the controls.
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
// Control identifiers clear of IDOK and IDCANCEL, which the dialog manager
// sends for Enter and Escape.
constexpr int kFirstButtonId = 100;
constexpr int kFirstFrameId = 1000;
constexpr int kFirstLabelId = 100;
constexpr int kFirstProgressBarId = 200;
constexpr int kGroupBoxId = 99;

// The DPI functions of Windows 10 (1607 and later), when the system has them.
struct DpiFunctions {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  GetDpiForWindowFn getDpiForWindow = nullptr;
  AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;
};

template <class Function>
Function SystemFunction(HMODULE module, const char* name) {
  // Through void(*)(), which stands for any function, so that the cast is
  // not taken for a mismatch.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

const DpiFunctions& Dpi() {
  static const DpiFunctions functions = [] {
    DpiFunctions loaded;
    if (const HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
      loaded.getDpiForWindow =
          SystemFunction<DpiFunctions::GetDpiForWindowFn>(user32, "GetDpiForWindow");
      loaded.adjustWindowRectExForDpi = SystemFunction<DpiFunctions::AdjustWindowRectExForDpiFn>(
          user32, "AdjustWindowRectExForDpi");
    }
    return loaded;
  }();
  return functions;
}

UINT WindowDpi(HWND window) {
  if (const auto getDpiForWindow = Dpi().getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  }
  int dpi = 0;
  if (const HDC screen = ::GetDC(window)) {
    dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(window, screen);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int Pixels(int twips, UINT dpi) {
  return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

RECT PixelRect(const Rect& at, UINT dpi) {
  const int left = Pixels(at.left, dpi);
  const int top = Pixels(at.top, dpi);
  return {left, top, left + Pixels(at.width, dpi), top + Pixels(at.height, dpi)};
}

// Where a control stands on `form`'s client area, in pixels.
Rect BoundsOn(HWND form, HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Place(HWND control, const RECT& at) {
  ::SetWindowPos(control, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The font as Windows would make it for a form: the size in points becomes
// a character height in pixels for the window's DPI, rounded to the nearest.
FontObject MakeFont(const Font& font, UINT dpi) {
  LOGFONTW description{};
  description.lfHeight =
      -static_cast<LONG>(std::lround(font.points * static_cast<double>(dpi) / kPointsPerInch));
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = static_cast<BYTE>(font.charset);
  description.lfOutPrecision = OUT_DEFAULT_PRECIS;
  description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  description.lfQuality = DEFAULT_QUALITY;
  description.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring face = Wide(font.face);
  face.copy(description.lfFaceName, LF_FACESIZE - 1);
  return FontObject(::CreateFontIndirectW(&description));
}

// Gives `control` a font made for `dpi`; the one it had before goes once it
// is no longer in use. Without a font (none could be made) it keeps the
// system's.
void ApplyFont(HWND control, FontObject& owned, const Font& font, UINT dpi) {
  FontObject made = MakeFont(font, dpi);
  if (!made) return;
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
  owned = std::move(made);
}

COLORREF ColourRef(unsigned rgb) {
  return RGB((rgb >> 16) & 0xffu, (rgb >> 8) & 0xffu, rgb & 0xffu);
}

std::string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return Utf8(text);
}

HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, const RECT& at,
                 HWND parent, int id, void* parameter = nullptr) {
  const HWND child = ::CreateWindowExW(
      0, className, text.c_str(), WS_CHILD | style, at.left, at.top, at.right - at.left,
      at.bottom - at.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), parameter);
  if (!child) throw SystemError("cannot create", "a control of the window");
  return child;
}

HICON ProgramIcon(int sizeMetric) {
  const int size = ::GetSystemMetrics(sizeMetric);
  HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TARNWICK_ICON),
                             IMAGE_ICON, size, size, LR_SHARED);
  if (!icon)  // a program built without the icon resource
    icon = ::LoadImageW(nullptr, MAKEINTRESOURCEW(kIdiApplication), IMAGE_ICON, size, size,
                        LR_SHARED);
  if (!icon) icon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(kIdiApplication));
  return static_cast<HICON>(icon);
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure, HICON icon, HICON smallIcon) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (::GetClassInfoExW(instance, name, &existing)) return;
  WNDCLASSEXW description{};
  description.cbSize = sizeof description;
  description.lpfnWndProc = procedure;
  description.hInstance = instance;
  description.hIcon = icon;
  description.hIconSm = smallIcon;
  description.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  description.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  description.lpszClassName = name;
  if (!::RegisterClassExW(&description) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw SystemError("cannot register", "the window class");
}

class Win32FormWindow;

class Win32LabelControl final : public Label {
 public:
  Win32LabelControl(HWND frame, int id, const Rect& at, const std::string& text, const Font& font,
                    unsigned rgb, UINT dpi)
      : at_(at), text_(text), font_(font), colour_(ColourRef(rgb)) {
    // Shown literally: an ampersand is no mnemonic here.
    label_ = CreateChild(L"STATIC", Wide(text), WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX,
                         PixelRect(at, dpi), frame, id);
    ApplyFont(label_, fontObject_, font_, dpi);
  }
  std::string Text() const override { return text_; }

  HWND Handle() const { return label_; }
  COLORREF Colour() const { return colour_; }
  void Layout(UINT dpi) {
    if (!label_) return;
    Place(label_, PixelRect(at_, dpi));
    ApplyFont(label_, fontObject_, font_, dpi);
  }
  void Forget() { label_ = nullptr; }

 private:
  HWND label_ = nullptr;
  Rect at_;
  std::string text_;
  Font font_;
  COLORREF colour_;
  FontObject fontObject_;
};

// A progress control: a position out of a range fine enough for every pixel
// of the bar at any DPI, or the control's own marquee animation for a pulse.
class Win32ProgressBarControl final : public ProgressBar {
 public:
  Win32ProgressBarControl(HWND form, HWND frame, int id, const Rect& at, UINT dpi)
      : form_(form), at_(at) {
    bar_ = CreateChild(PROGRESS_CLASSW, L"", WS_VISIBLE | WS_CLIPSIBLINGS, PixelRect(at, dpi),
                       frame, id);
    ::SendMessageW(bar_, PBM_SETRANGE32, 0, kRange);
    bounds_ = BoundsOn(form_, bar_);
  }

  void SetFraction(double fraction) override {
    // Also for a NaN, which no comparison lets through.
    fraction_ = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    pulsing_ = false;
    if (!bar_) return;
    ShowMarquee(false);
    ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::lround(fraction_ * kRange)), 0);
    // Painted at once: during a blocking transfer the window handles no
    // events, and the bar would stand still until it ends.
    ::UpdateWindow(bar_);
  }

  void Pulse() override {
    if (pulsing_) return;  // the marquee runs by itself
    fraction_ = 0;
    pulsing_ = true;
    if (!bar_) return;
    ::SendMessageW(bar_, PBM_SETPOS, 0, 0);
    ShowMarquee(true);
  }

  void Clear() override { SetFraction(0); }

  double Fraction() const override {
    if (!bar_) return fraction_;
    return static_cast<double>(::SendMessageW(bar_, PBM_GETPOS, 0, 0)) / kRange;
  }

  bool Pulsing() const override {
    if (!bar_) return pulsing_;
    return (::GetWindowLongPtrW(bar_, GWL_STYLE) & PBS_MARQUEE) != 0;
  }

  Rect Bounds() const override { return bar_ ? BoundsOn(form_, bar_) : bounds_; }

  // The marquee of a hidden bar stands still: its timer would only wake the
  // program for nothing to see.
  void Animate(bool on) {
    if (bar_ && Pulsing())
      ::SendMessageW(bar_, PBM_SETMARQUEE, on ? TRUE : FALSE, kMarqueeMilliseconds);
  }

  void Layout(UINT dpi) {
    if (bar_) Place(bar_, PixelRect(at_, dpi));
  }

  void Forget() {
    if (!bar_) return;
    fraction_ = Fraction();
    pulsing_ = Pulsing();
    bounds_ = Bounds();
    bar_ = nullptr;
  }

 private:
  static constexpr int kRange = 10000;
  static constexpr LPARAM kMarqueeMilliseconds = 30;

  // The marquee style switches the control between its two displays; the
  // animation runs on the control's own timer.
  void ShowMarquee(bool on) {
    const LONG_PTR style = ::GetWindowLongPtrW(bar_, GWL_STYLE);
    if (((style & PBS_MARQUEE) != 0) == on) return;
    if (!on) ::SendMessageW(bar_, PBM_SETMARQUEE, FALSE, 0);
    ::SetWindowLongPtrW(bar_, GWL_STYLE, on ? style | PBS_MARQUEE : style & ~LONG_PTR{PBS_MARQUEE});
    if (on) ::SendMessageW(bar_, PBM_SETMARQUEE, TRUE, kMarqueeMilliseconds);
  }

  HWND form_;
  HWND bar_ = nullptr;
  Rect at_;
  double fraction_ = 0;
  bool pulsing_ = false;
  Rect bounds_;
};

// A titleless group box that holds labels: a container of its own class
// (opaque to the mouse, unlike a group box) with a BS_GROUPBOX child at the
// bottom of its z-order for the border.
class Win32FrameControl final : public Frame {
 public:
  Win32FrameControl(HWND form, int id, const Rect& at, UINT dpi) : form_(form), at_(at) {
    const RECT place = PixelRect(at, dpi);
    // Not WS_CLIPCHILDREN: the group box does not paint its inside, the
    // container's background must show through it.
    frame_ = CreateChild(kFrameClass, L"", WS_CLIPSIBLINGS, place, form, id, this);
    try {
      border_ = CreateChild(L"BUTTON", L"", WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX,
                            {0, 0, place.right - place.left, place.bottom - place.top}, frame_,
                            kGroupBoxId);
    } catch (...) {
      ::DestroyWindow(frame_);
      throw;
    }
    ::SetWindowPos(frame_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bounds_ = BoundsOn(form_, frame_);
  }

  bool Visible() const override {
    if (!frame_) return visible_;
    return (::GetWindowLongPtrW(frame_, GWL_STYLE) & WS_VISIBLE) != 0;
  }

  void SetVisible(bool visible) override {
    visible_ = visible;
    if (!frame_) return;
    for (auto& bar : progressBars_) bar->Animate(visible);
    if (visible) {
      // Above everything else on the form, the button included.
      ::SetWindowPos(frame_, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
      ::ShowWindow(frame_, SW_HIDE);
    }
    // Seen at once, even if the caller goes on without handling events.
    ::RedrawWindow(form_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }

  Rect Bounds() const override { return frame_ ? BoundsOn(form_, frame_) : bounds_; }

  Label& AddLabel(const Rect& at, const std::string& text, const Font& font, unsigned rgb,
                  UINT dpi) {
    if (!frame_) throw Error("cannot add a label to a closed window");
    const int id = kFirstLabelId + static_cast<int>(labels_.size());
    labels_.reserve(labels_.size() + 1);  // no failure once the control exists
    labels_.push_back(std::make_unique<Win32LabelControl>(frame_, id, at, text, font, rgb, dpi));
    KeepBorderBeneath();
    return *labels_.back();
  }

  ProgressBar& AddProgressBar(const Rect& at, UINT dpi) {
    if (!frame_) throw Error("cannot add a progress bar to a closed window");
    const int id = kFirstProgressBarId + static_cast<int>(progressBars_.size());
    progressBars_.reserve(progressBars_.size() + 1);
    progressBars_.push_back(std::make_unique<Win32ProgressBarControl>(form_, frame_, id, at, dpi));
    KeepBorderBeneath();
    return *progressBars_.back();
  }

  void Layout(UINT dpi) {
    if (!frame_) return;
    const RECT place = PixelRect(at_, dpi);
    Place(frame_, place);
    Place(border_, {0, 0, place.right - place.left, place.bottom - place.top});
    for (auto& label : labels_) label->Layout(dpi);
    for (auto& bar : progressBars_) bar->Layout(dpi);
  }

  // The window is going: what it will be asked later is kept, the handles
  // are not.
  void Forget() {
    if (!frame_) return;
    visible_ = Visible();
    bounds_ = Bounds();
    for (auto& label : labels_) label->Forget();
    for (auto& bar : progressBars_) bar->Forget();
    frame_ = nullptr;
    border_ = nullptr;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32FrameControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      switch (message) {
        case WM_CTLCOLORSTATIC:
          // The labels' colour, on the frame's face.
          for (const auto& label : self->labels_) {
            if (label->Handle() == reinterpret_cast<HWND>(lParam)) {
              const HDC dc = reinterpret_cast<HDC>(wParam);
              ::SetTextColor(dc, label->Colour());
              ::SetBkMode(dc, TRANSPARENT);
              return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            }
          }
          break;
        case WM_NCDESTROY:
          ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
          break;
        default:
          break;
      }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

 private:
  // The border stays beneath what the frame holds.
  void KeepBorderBeneath() {
    ::SetWindowPos(border_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  HWND form_;
  HWND frame_ = nullptr;
  HWND border_ = nullptr;
  Rect at_;
  bool visible_ = false;
  Rect bounds_;
  std::vector<std::unique_ptr<Win32LabelControl>> labels_;
  std::vector<std::unique_ptr<Win32ProgressBarControl>> progressBars_;
};

class Win32ButtonControl final : public Button {
 public:
  Win32ButtonControl(Win32FormWindow& window, HWND form, int id, const Rect& at,
                     const std::string& caption, const Font& font, std::function<void()> onClick,
                     UINT dpi);

  std::string Caption() const override { return button_ ? WindowText(button_) : caption_; }

  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    if (button_) ::SetWindowTextW(button_, Wide(caption).c_str());
  }

  bool Enabled() const override { return button_ ? ::IsWindowEnabled(button_) != FALSE : enabled_; }

  void SetEnabled(bool enabled) override;

  bool HasFocus() const override { return button_ && ::GetFocus() == button_; }

  void Click() override;

  Rect Bounds() const override { return button_ ? BoundsOn(form_, button_) : bounds_; }

  HWND Handle() const { return button_; }
  const std::function<void()>& OnClick() const { return onClick_; }

  // Whether it can take the keyboard focus now.
  bool Focusable() const {
    return button_ && ::IsWindowEnabled(button_) && ::IsWindowVisible(button_);
  }

  void Layout(UINT dpi) {
    if (!button_) return;
    Place(button_, PixelRect(at_, dpi));
    ApplyFont(button_, fontObject_, font_, dpi);
  }

  void Forget() {
    if (!button_) return;
    caption_ = WindowText(button_);
    enabled_ = ::IsWindowEnabled(button_) != FALSE;
    bounds_ = BoundsOn(form_, button_);
    button_ = nullptr;
  }

 private:
  Win32FormWindow& window_;
  HWND form_;
  HWND button_ = nullptr;
  Rect at_;
  Font font_;
  FontObject fontObject_;
  std::function<void()> onClick_;
  std::string caption_;
  bool enabled_ = true;
  Rect bounds_;
};

class Win32FormWindow final : public Window {
 public:
  Win32FormWindow(const std::string& caption, int widthTwips, int heightTwips) {
    RegisterClasses();
    form_ = ::CreateWindowExW(kFormExStyle, kFormClass, Wide(caption).c_str(), kFormStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), this);
    if (!form_) throw SystemError("cannot create", "the window");
    // Placed by the system; sized now that its monitor, and so its DPI, is
    // known.
    dpi_ = WindowDpi(form_);
    SetClientSize(Pixels(widthTwips, dpi_), Pixels(heightTwips, dpi_));
  }

  ~Win32FormWindow() override {
    if (form_) ::DestroyWindow(form_);
  }

  Win32FormWindow(const Win32FormWindow&) = delete;
  Win32FormWindow& operator=(const Win32FormWindow&) = delete;

  Frame& AddFrame(const Rect& at) override {
    RequireOpen();
    const int id = kFirstFrameId + static_cast<int>(frames_.size());
    // No failure once the control exists: its window procedure points to it.
    frames_.reserve(frames_.size() + 1);
    frames_.push_back(std::make_unique<Win32FrameControl>(form_, id, at, dpi_));
    return *frames_.back();
  }

  Label& AddLabel(Frame& frame, const Rect& at, const std::string& text, const Font& font,
                  unsigned rgb) override {
    RequireOpen();
    return static_cast<Win32FrameControl&>(frame).AddLabel(at, text, font, rgb, dpi_);
  }

  ProgressBar& AddProgressBar(Frame& frame, const Rect& at) override {
    RequireOpen();
    return static_cast<Win32FrameControl&>(frame).AddProgressBar(at, dpi_);
  }

  Button& AddButton(const Rect& at, const std::string& caption, const Font& font,
                    std::function<void()> onClick) override {
    RequireOpen();
    const int id = kFirstButtonId + static_cast<int>(buttons_.size());
    buttons_.reserve(buttons_.size() + 1);
    buttons_.push_back(std::make_unique<Win32ButtonControl>(*this, form_, id, at, caption, font,
                                                            std::move(onClick), dpi_));
    // Beneath the frames, and after the buttons before it in the tab order
    // (which follows the z-order).
    ::SetWindowPos(buttons_.back()->Handle(), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return *buttons_.back();
  }

  void Show() override {
    if (!form_) return;
    ::ShowWindow(form_, SW_SHOWDEFAULT);
    ::UpdateWindow(form_);
    FocusFirstButton();
  }

  void Resize(int widthPixels, int heightPixels) override {
    if (form_) SetClientSize(widthPixels, heightPixels);
  }

  void Close(int exitCode) override {
    exitCode_ = exitCode;
    Destroy();
  }

  bool Closed() const override { return closed_; }

  void RequestClose() override {
    if (form_) ::SendMessageW(form_, WM_CLOSE, 0, 0);
  }

  int Run() override {
    if (closed_) return exitCode_;
    running_ = true;
    MSG message{};
    BOOL got = 0;
    // WM_DESTROY posts the WM_QUIT that ends the loop, only while it runs.
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) Route(message);
    running_ = false;
    if (!closed_) {
      // Someone else's WM_QUIT (or a broken queue): the program ends anyway.
      Close(got == 0 ? static_cast<int>(message.wParam) : 1);
    }
    return exitCode_;
  }

  void ProcessPending() override {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // For the loop that runs the window (Run), which must see it too.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      Route(message);
    }
    // A handler waiting meanwhile stops waiting: for the close it delays, or
    // for a window that is gone already (closed from a timer, say).
    if (closeRequested_ || (closed_ && busy_)) throw WindowClosed();
  }

  // Runs a click handler. No exception may leave into the window procedure;
  // the program's handlers report their own errors, so one arriving here
  // ends the program.
  void Dispatch(const std::function<void()>& handler) noexcept {
    if (busy_ || closed_) return;
    busy_ = true;
    try {
      if (handler) handler();
    } catch (...) {
      std::fputs("a click handler failed\n", stderr);
      exitCode_ = 1;
      closeRequested_ = true;
    }
    busy_ = false;
    if (closeRequested_ && !closed_) Destroy();
  }

  // A button became enabled: it takes the focus back if it lost it when it
  // was disabled, so that the keyboard reaches it again.
  void ButtonEnabled(HWND button) {
    if (!form_ || ::GetActiveWindow() != form_) return;
    const HWND focus = ::GetFocus();
    if (focus == nullptr || focus == form_) ::SetFocus(button);
  }

 private:
  static void RegisterClasses() {
    static const bool registered = [] {
      const HICON icon = ProgramIcon(SM_CXICON);
      const HICON smallIcon = ProgramIcon(SM_CXSMICON);
      RegisterClassOnce(kFormClass, &Win32FormWindow::Procedure, icon, smallIcon);
      RegisterClassOnce(kFrameClass, &Win32FrameControl::Procedure, nullptr, nullptr);
      return true;
    }();
    (void)registered;
  }

  void RequireOpen() const {
    if (!form_) throw Error("cannot add a control to a closed window");
  }

  void SetClientSize(int width, int height) {
    RECT r{0, 0, width, height};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(form_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(form_, GWL_EXSTYLE));
    if (const auto adjustForDpi = Dpi().adjustWindowRectExForDpi)
      adjustForDpi(&r, style, FALSE, exStyle, dpi_);
    else
      ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    ::SetWindowPos(form_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Destroy() noexcept {
    if (form_) ::DestroyWindow(form_);  // WM_DESTROY does the rest
  }

  bool FocusFirstButton() {
    for (const auto& button : buttons_) {
      if (button->Focusable()) {
        ::SetFocus(button->Handle());
        return true;
      }
    }
    return false;
  }

  Win32ButtonControl* FindButton(HWND handle) const {
    if (!handle) return nullptr;
    for (const auto& button : buttons_)
      if (button->Handle() == handle) return button.get();
    return nullptr;
  }

  // Keyboard navigation first: Space and Enter on the focused button.
  void Route(MSG& message) {
    if (form_ && ::IsDialogMessageW(form_, &message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }

  void Relayout(UINT dpi) {
    dpi_ = dpi;
    for (auto& frame : frames_) frame->Layout(dpi);
    for (auto& button : buttons_) button->Layout(dpi);
  }

  // Returns true when the message has been handled with `result`.
  bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
      case WM_COMMAND: {
        const auto from = reinterpret_cast<HWND>(lParam);
        if (HIWORD(wParam) != BN_CLICKED) return false;
        Win32ButtonControl* button = FindButton(from);
        // Enter, which the dialog manager turns into IDOK: the focused button.
        if (!button && LOWORD(wParam) == IDOK) {
          button = FindButton(::GetFocus());
          if (button && !button->Focusable()) button = nullptr;
        }
        if (!button) return false;
        // The handler may close the window: nothing of it is touched after.
        Dispatch(button->OnClick());
        result = 0;
        return true;
      }
      case WM_ACTIVATE:
        // The button holds the focus whenever the window is active.
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && FocusFirstButton()) {
          result = 0;
          return true;
        }
        return false;
      case WM_SETFOCUS:
        if (FocusFirstButton()) {
          result = 0;
          return true;
        }
        return false;
      case WM_CLOSE:
        // A close while a click is handled waits until the handler has
        // unwound (ProcessPending tells it to).
        if (busy_)
          closeRequested_ = true;
        else
          Destroy();
        result = 0;
        return true;
      case kWmDpiChanged: {
        Relayout(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(form_, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        result = 0;
        return true;
      }
      case WM_DESTROY:
        for (auto& frame : frames_) frame->Forget();
        for (auto& button : buttons_) button->Forget();
        closed_ = true;
        // Only for Run's loop: a WM_QUIT left in the queue would end the
        // next loop of the thread at once.
        if (running_) ::PostQuitMessage(exitCode_);
        result = 0;
        return true;
      case WM_NCDESTROY:
        ::SetWindowLongPtrW(form_, GWLP_USERDATA, 0);
        form_ = nullptr;
        return false;
      default:
        return false;
    }
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      auto* self = static_cast<Win32FormWindow*>(creation->lpCreateParams);
      self->form_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      try {
        LRESULT result = 0;
        if (self->Handle(message, wParam, lParam, result)) return result;
      } catch (...) {
        // Nothing C++ crosses into the system: the message gets the default
        // treatment instead.
      }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  HWND form_ = nullptr;
  UINT dpi_ = kDefaultDpi;
  std::vector<std::unique_ptr<Win32FrameControl>> frames_;
  std::vector<std::unique_ptr<Win32ButtonControl>> buttons_;
  bool busy_ = false;
  bool closeRequested_ = false;
  bool closed_ = false;
  bool running_ = false;
  int exitCode_ = 0;
};

Win32ButtonControl::Win32ButtonControl(Win32FormWindow& window, HWND form, int id, const Rect& at,
                                       const std::string& caption, const Font& font,
                                       std::function<void()> onClick, UINT dpi)
    : window_(window),
      form_(form),
      at_(at),
      font_(font),
      onClick_(std::move(onClick)),
      caption_(caption) {
  // WS_CLIPSIBLINGS: it does not paint over the frame shown above it.
  button_ = CreateChild(L"BUTTON", Wide(caption),
                        WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON,
                        PixelRect(at, dpi), form, id);
  ApplyFont(button_, fontObject_, font_, dpi);
  bounds_ = BoundsOn(form_, button_);
}

void Win32ButtonControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!button_) return;
  ::EnableWindow(button_, enabled ? TRUE : FALSE);
  if (enabled) window_.ButtonEnabled(button_);
}

// As the user's click: nothing while disabled, ignored while a click is
// being handled.
void Win32ButtonControl::Click() {
  if (button_ && ::IsWindowEnabled(button_)) window_.Dispatch(onClick_);
}

}  // namespace

bool InitWindowSystem() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  ::InitCommonControlsEx(&controls);
  return true;
}

std::unique_ptr<Window> MakeWindow(const std::string& caption, int clientWidthTwips,
                                   int clientHeightTwips) {
  return std::make_unique<Win32FormWindow>(caption, clientWidthTwips, clientHeightTwips);
}

}  // namespace platform
