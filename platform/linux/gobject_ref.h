#pragma once
#include <glib-object.h>

#include <utility>

namespace platform {

// Holds one reference to a GObject (a widget, a style provider).
template <class T>
class GObjectRef {
 public:
  GObjectRef() = default;
  // Takes a reference of its own; the caller keeps whatever it had.
  static GObjectRef Share(T* object) {
    g_object_ref(object);
    return GObjectRef(object);
  }
  // Adopts a reference the caller owned.
  static GObjectRef Adopt(T* object) { return GObjectRef(object); }
  ~GObjectRef() {
    if (object_) g_object_unref(object_);
  }
  GObjectRef(GObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectRef& operator=(GObjectRef&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  T* Get() const { return object_; }

 private:
  explicit GObjectRef(T* object) : object_(object) {}
  T* object_ = nullptr;
};

}  // namespace platform
