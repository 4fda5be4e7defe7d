#include "app_paths.h"

#include "platform/files.h"

namespace updater {

std::string InFolder(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  path += name;
  return path;
}

std::string ServerAddress(std::string_view host, std::string_view resource) {
  std::string address = "http://";
  address += host;
  address += "/soft/tarnwick/";
  address += resource;
  return address;
}

}  // namespace updater
