#pragma once
#include <string>
#include <string_view>

namespace updater {

// A file in the application folder. The folder has no trailing separator
// except when it is a root, which already ends in one: no separator is
// doubled then.
std::string InFolder(const std::string& folder, std::string_view name);

// "http://" + host + "/soft/tarnwick/" + resource.
std::string ServerAddress(std::string_view host, std::string_view resource);

}  // namespace updater
