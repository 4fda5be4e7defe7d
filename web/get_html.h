#pragma once
#include <cstdint>
#include <string>

#include "retrieval.h"

namespace web {

// Fetches sURL and returns its body as text, decoded from the system's ANSI
// code page, line ends and all. g_n == 2 waits five clock-second boundaries
// for the answer, any other value until the clock's minute changes; a request
// still unanswered then is sent once more and waited for the same way.
//
// Returns the empty text for every failure: an address without "http://",
// no request object, no answer after both waits, a transfer that broke off,
// a body over 64 KiB, or a body that is empty (spaces only, read as 16-bit
// text). The HTTP status is not looked at.
// Throws platform::WindowClosed when the user closed the window during a wait.
std::string GetHTML(const Retrieval& with, const std::string& sURL, std::int32_t g_n);

}  // namespace web
