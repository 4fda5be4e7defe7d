#pragma once
// Sole owner of a GDI object (a font, a brush...): deleted when the owner
// goes. Whoever still uses the handle (a control given the font with
// WM_SETFONT) must be gone or have been given another one by then.
#include <windows.h>

#include <utility>

namespace platform {

template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void Reset(Handle handle = nullptr) {
    if (handle_) ::DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

using FontObject = GdiObject<HFONT>;

}  // namespace platform
