#pragma once
#include <cstdint>
#include <string>

#include "retrieval.h"

namespace web {

// Fetches sURL (which must start with "http://") and saves the body at sPath.
// Waits for the answer until the local clock's minute changes, then retries
// once as a blocking request. The body is saved only when it arrived whole,
// with a 2xx status, is not empty and not larger than with.maxDownloadBytes;
// the file then holds exactly the body.
// Returns 1 when saved, 0 otherwise (the file at sPath is then untouched).
// Throws platform::Error when the file cannot be written, and
// platform::WindowClosed when the user closed the window during the wait.
std::int32_t DownloadFile(const Retrieval& with, const std::string& sURL,
                          const std::string& sPath);

}  // namespace web
