#include "tools/resource_options.h"

#include "base/ascii.h"
#include "tools/input_file.h"
#include "tools/tool_error.h"
#include "tools/utf16_text.h"

namespace tool {
namespace {

// Each text fits the version resource, whose blocks count their length in 16 bits, however
// many keys are given; Explorer shows far less.
constexpr size_t kLongestVersionText = 2048;

std::string KnownKeys() {
  std::string keys;
  for (size_t i = 0; i < pe::kVersionKeyCount; ++i)
    keys += (i == 0 ? "" : ", ") + std::string(pe::kVersionKeys[i]);
  return keys;
}

// The key as Windows spells it, or empty for a key it does not know.
std::string KnownKey(const std::string& key, bool* case_differs) {
  for (size_t i = 0; i < pe::kVersionKeyCount; ++i) {
    std::string known = pe::kVersionKeys[i];
    if (text::EqualsIgnoringAsciiCase(known.c_str(), key.c_str())) {
      *case_differs = known != key;
      return known;
    }
  }
  return "";
}

std::string WrongCase(const std::string& key, const std::string& given) {
  return "--version-info: the key is spelt '" + key + "', not '" + given + "'";
}

pe::VersionNumber NumberOf(const std::string& key, const std::string& text) {
  pe::VersionNumber number;
  std::string error;
  if (!pe::ParseVersionNumber(text, &number, &error)) {
    throw UsageError("--version-info " + key + ": " + error);
  }
  return number;
}

}  // namespace

pe::VersionInfo VersionInfoFrom(const std::vector<std::string>& texts) {
  pe::VersionInfo info;
  std::string file_version;
  std::string product_version;
  for (const std::string& text : texts) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
      throw UsageError("--version-info takes KEY=VALUE, not '" + text + "'");
    }
    const std::string given = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    bool case_differs = false;
    const std::string key = KnownKey(given, &case_differs);
    if (key.empty()) {
      throw UsageError("--version-info: '" + given + "' is not a version key; the keys are " +
                       KnownKeys());
    }
    if (case_differs) {
      throw UsageError(WrongCase(key, given));
    }
    std::u16string wide_key;
    std::u16string wide_value;
    Utf8ToUtf16(key, &wide_key);
    if (!Utf8ToUtf16(value, &wide_value)) {
      throw UsageError("--version-info " + key + ": the value is not UTF-8 text");
    }
    if (wide_value.size() > kLongestVersionText) {
      throw UsageError("--version-info " + key + ": the value is longer than " +
                       std::to_string(kLongestVersionText) + " characters");
    }
    for (const auto& string : info.strings) {
      if (string.first == wide_key) throw UsageError("--version-info " + key + " given twice");
    }
    info.strings.emplace_back(wide_key, wide_value);
    if (key == "FileVersion") file_version = value;
    if (key == "ProductVersion") product_version = value;
  }
  if (!file_version.empty()) info.file_version = NumberOf("FileVersion", file_version);
  if (!product_version.empty()) {
    info.product_version = NumberOf("ProductVersion", product_version);
  }
  if (file_version.empty()) info.file_version = info.product_version;
  if (product_version.empty()) info.product_version = info.file_version;
  return info;
}

pe::ResourceEdits ResourceEditsFrom(const ParsedCommandLine& command_line) {
  pe::ResourceEdits edits;
  if (command_line.Has(kExecutionLevelOption.long_name)) {
    const std::string level = command_line.Value(kExecutionLevelOption.long_name);
    if (!pe::ParseExecutionLevel(level, &edits.execution_level)) {
      throw UsageError(
          "--execution-level takes asInvoker, highestAvailable or "
          "requireAdministrator, not '" +
          level + "'");
    }
    edits.set_execution_level = true;
  }
  if (command_line.Has(kVersionInfoOption.long_name)) {
    edits.version = VersionInfoFrom(command_line.Values(kVersionInfoOption.long_name));
    edits.set_version = true;
  }
  if (command_line.Has(kIconOption.long_name)) {
    const std::string path = command_line.Value(kIconOption.long_name);
    if (path.empty()) throw UsageError("--icon needs an icon file");
    InputFile file(path);
    std::vector<uint8_t> bytes(file.size());
    std::string error;
    if (!file.ReadAt(0, bytes.data(), file.size())) throw Failure(path + ": cannot be read");
    if (!pe::ReadIconFile(bytes.data(), bytes.size(), &edits.icon, &error)) {
      throw Failure(path + ": " + error);
    }
  }
  return edits;
}

}  // namespace tool
