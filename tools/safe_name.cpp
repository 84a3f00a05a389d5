#include "tools/safe_name.h"

namespace tool {

std::string WhyNameIsUnsafe(const std::string& name, bool terminated) {
  if (!terminated) return "its name field holds no terminating NUL";
  if (name.empty()) return "its name is empty";
  if (name == ".") return "its name is \".\"";
  if (name.find("..") != std::string::npos) return "its name contains \"..\"";
  if (name.find(':') != std::string::npos) return "its name contains a drive or stream (\":\")";
  if (name.find_first_of("\\/") != std::string::npos) {
    return "its name contains a path separator";
  }
  // Windows drops trailing dots and blanks, so such a file would land under another name.
  if (name.back() == '.' || name.back() == ' ') return "its name ends in a dot or a blank";
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "its name contains a control character";
  }
  return "";
}

}  // namespace tool
