#pragma once
#include <gtk/gtk.h>

namespace platform {

// Gives `window` the program's icon in every size it is drawn in (16 to
// 256 px), from images built into the program, so that the window has its
// icon wherever the program runs from, its build folder included.
void SetWindowIcon(GtkWindow* window);

}  // namespace platform
