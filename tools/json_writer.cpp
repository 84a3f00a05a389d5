#include "tools/json_writer.h"

#include <cstdio>

namespace tool {

namespace {

uint32_t Unit(char c) {
  return static_cast<unsigned char>(c);
}

uint32_t Unit(char16_t c) {
  return c;
}

// Quotes a string of bytes or of UTF-16 code units: each unit outside printable ASCII becomes
// the escape of its own value.
template <typename Text>
std::string Quote(const Text& s) {
  std::string out = "\"";
  for (auto c : s) {
    const uint32_t unit = Unit(c);
    switch (unit) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (unit < 0x20 || unit >= 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
          out += escaped;
        } else {
          out += static_cast<char>(unit);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace

std::string JsonQuote(const std::string& s) {
  return Quote(s);
}

void JsonWriter::Newline() {
  text_ += '\n';
  text_.append(2 * has_member_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_member_.empty()) return;
  if (has_member_.back()) text_ += ',';
  has_member_.back() = true;
  Newline();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  has_member_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  bool had_members = !has_member_.empty() && has_member_.back();
  if (!has_member_.empty()) has_member_.pop_back();
  if (had_members) Newline();
  text_ += bracket;
  if (has_member_.empty()) text_ += '\n';
}

void JsonWriter::BeginObject() {
  Open('{');
}
void JsonWriter::EndObject() {
  Close('}');
}
void JsonWriter::BeginArray() {
  Open('[');
}
void JsonWriter::EndArray() {
  Close(']');
}

void JsonWriter::Key(const std::string& name) {
  BeforeValue();
  text_ += JsonQuote(name) + ": ";
  after_key_ = true;
}

void JsonWriter::String(const std::string& value) {
  BeforeValue();
  text_ += JsonQuote(value);
}

void JsonWriter::Utf16String(const std::u16string& value) {
  BeforeValue();
  text_ += Quote(value);
}

void JsonWriter::Number(uint64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
}

}  // namespace tool
