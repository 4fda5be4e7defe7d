#pragma once
#include <string>

namespace platform {

// A modal message box with a single OK button; returns once it is dismissed.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void Show(const std::string& text, const std::string& title) = 0;
};

// The real one: a dialog over the program's window.
class DialogMessageBox final : public MessageBox {
 public:
  void Show(const std::string& text, const std::string& title) override;
};

}  // namespace platform
