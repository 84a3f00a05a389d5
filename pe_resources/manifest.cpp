#include "pe_resources/manifest.h"

namespace pe {
namespace {

const char* const kLevelNames[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

const char* ExecutionLevelName(ExecutionLevel level) {
  return kLevelNames[static_cast<int>(level)];
}

int ParseExecutionLevel(const std::string& name, ExecutionLevel* level) {
  for (int i = 0; i < 3; ++i) {
    if (name == kLevelNames[i]) {
      *level = static_cast<ExecutionLevel>(i);
      return 1;
    }
  }
  return 0;
}

std::string WriteManifest(ExecutionLevel level) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
             "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
             "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
             "    <security>\r\n"
             "      <requestedPrivileges>\r\n"
             "        <requestedExecutionLevel level=\"") +
         ExecutionLevelName(level) +
         "\" uiAccess=\"false\"/>\r\n"
         "      </requestedPrivileges>\r\n"
         "    </security>\r\n"
         "  </trustInfo>\r\n"
         "</assembly>\r\n";
}

std::string ReadRequestedExecutionLevel(const std::string& manifest) {
  const std::string element = "requestedExecutionLevel";
  for (size_t at = manifest.find(element); at != std::string::npos;
       at = manifest.find(element, at + 1)) {
    // The element's name ends in a blank; "requestedExecutionLevels" or an end tag is not it.
    const size_t end = manifest.find('>', at);
    size_t p = at + element.size();
    if (p >= manifest.size() || !IsSpace(manifest[p]) || at == 0 ||
        (manifest[at - 1] != '<' && manifest[at - 1] != ':')) {
      continue;
    }
    for (; p < end && p < manifest.size(); ++p) {
      if (!IsSpace(manifest[p - 1]) || manifest.compare(p, 5, "level") != 0) continue;
      size_t q = p + 5;
      while (q < end && IsSpace(manifest[q]))
        ++q;
      if (q >= end || manifest[q] != '=') continue;
      ++q;
      while (q < end && IsSpace(manifest[q]))
        ++q;
      if (q >= end || (manifest[q] != '"' && manifest[q] != '\'')) continue;
      const size_t close = manifest.find(manifest[q], q + 1);
      if (close == std::string::npos || close > end) continue;
      return manifest.substr(q + 1, close - q - 1);
    }
  }
  return "";
}

}  // namespace pe
