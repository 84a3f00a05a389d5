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

std::string WriteManifest(ExecutionLevel level, const std::string& launcher_manifest) {
  const std::string trust = std::string(
                                "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
                                "    <security>\r\n"
                                "      <requestedPrivileges>\r\n"
                                "        <requestedExecutionLevel level=\"") +
                            ExecutionLevelName(level) +
                            "\" uiAccess=\"false\"/>\r\n"
                            "      </requestedPrivileges>\r\n"
                            "    </security>\r\n"
                            "  </trustInfo>";
  // Plain text searches, not an XML parser: the launcher's manifest is the project's own.
  const std::string& m = launcher_manifest;
  // A trust section already there (a launcher given a level before) gives way to the new one.
  const std::string close_trust = "</trustInfo>";
  const size_t open_at = m.find("<trustInfo");
  const size_t close_at = m.find(close_trust);
  if (open_at != std::string::npos && close_at != std::string::npos && open_at < close_at) {
    return m.substr(0, open_at) + trust + m.substr(close_at + close_trust.size());
  }
  // Otherwise the launcher's manifest takes one just before its end.
  const size_t end = m.rfind("</assembly>");
  if (end != std::string::npos && m.find("trustInfo") == std::string::npos) {
    return m.substr(0, end) + trust + m.substr(end);
  }
  // No manifest, or one whose sections cannot be placed so: the trust section alone.
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
         "  " +
         trust + "\r\n</assembly>\r\n";
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
