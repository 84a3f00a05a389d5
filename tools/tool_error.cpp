#include "tools/tool_error.h"

#include <cstdio>

namespace tool {

void ReportError(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "tovalin: %s\n", text.c_str());
}

}  // namespace tool
