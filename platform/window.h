#pragma once
#include <functional>
#include <memory>
#include <string>

#include "event_pump.h"

namespace platform {

// A place on the window. Layout is given in twips (1/1440 inch, 15 to a pixel
// at 96 dpi), relative to the window's client area, or to the frame for what
// lies in it; Bounds() report where a control stands now, in pixels.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Font {
  std::string face;    // the Windows face name; substitutes are the platform's affair
  double points = 9;
  int charset = 0;     // Windows character set (134 = GB2312)
};

class Button {
 public:
  virtual ~Button() = default;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool HasFocus() const = 0;
  // Clicks the button as the user would (nothing happens while it is disabled).
  virtual void Click() = 0;
  virtual Rect Bounds() const = 0;
};

class Frame {
 public:
  virtual ~Frame() = default;
  virtual bool Visible() const = 0;
  // Shows or hides the frame together with what lies in it.
  virtual void SetVisible(bool visible) = 0;
  virtual Rect Bounds() const = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual std::string Text() const = 0;
};

// A thin bar that shows how far a piece of work has come: filled to a
// fraction when its size is known, a pulse going back and forth when not.
class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  // Fills the bar to `fraction` (0 to 1, clamped), leaving the pulse.
  virtual void SetFraction(double fraction) = 0;
  // Shows that work goes on without a known size; the bar animates the pulse.
  virtual void Pulse() = 0;
  // Back to empty, no pulse.
  virtual void Clear() = 0;
  // The fraction shown (0 while pulsing), as the control holds it.
  virtual double Fraction() const = 0;
  virtual bool Pulsing() const = 0;
  virtual Rect Bounds() const = 0;
};

// The program's one top-level window: a fixed layout of controls that keep
// their places when the window is resized. Closing it ends the program.
class Window : public EventPump {
 public:
  virtual Frame& AddFrame(const Rect& at) = 0;
  // Creates the label inside `frame`, positioned relative to it.
  virtual Label& AddLabel(Frame& frame, const Rect& at, const std::string& text,
                          const Font& font, unsigned rgb) = 0;
  // Creates an empty progress bar inside `frame`, positioned relative to it.
  virtual ProgressBar& AddProgressBar(Frame& frame, const Rect& at) = 0;
  // The frame, when shown, lies above the button and takes its clicks.
  virtual Button& AddButton(const Rect& at, const std::string& caption, const Font& font,
                            std::function<void()> onClick) = 0;
  virtual void Show() = 0;
  virtual void Resize(int widthPixels, int heightPixels) = 0;
  // Closes the window; the program's event loop ends with `exitCode`.
  virtual void Close(int exitCode) = 0;
  virtual bool Closed() const = 0;
  // Asks the window to close as its close box does. While a click is being
  // handled the close waits for the handler: ProcessPending throws
  // WindowClosed, and the window closes when the handler has unwound.
  virtual void RequestClose() = 0;
  // Runs the event loop until the window is closed; returns the exit code.
  virtual int Run() = 0;
};

// Connects to the window system; false when there is none (no display).
bool InitWindowSystem();

// Creates the window, not yet shown. The caption is its title; the client
// area has the given size.
std::unique_ptr<Window> MakeWindow(const std::string& caption, int clientWidthTwips,
                                   int clientHeightTwips);

}  // namespace platform
