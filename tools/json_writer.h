// A small streaming JSON writer for the --json output of the tool.
//
// Names inside installers are bytes in a Windows ANSI code page, not UTF-8, and the tool cannot
// know which code page. So a string is written byte by byte: printable ASCII as itself, quotes,
// backslashes and control characters escaped, and every byte from 0x80 up as the code point of
// the same value (\u0080 to \u00FF), as if the name were Latin-1. The document is always valid
// JSON, and a reader who knows the code page can get the original bytes back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the next member of the current object.
  void Key(const std::string& name);
  void String(const std::string& value);
  // Text that is UTF-16 (resource strings): every code unit outside printable ASCII escaped as
  // itself, so that the reader gets the text back, not bytes.
  void Utf16String(const std::u16string& value);
  void Number(uint64_t value);
  void Bool(bool value);

  // The document so far; whole once every object and array is ended.
  const std::string& text() const { return text_; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void Newline();

  std::string text_;
  // One entry per open object or array: whether it has a member yet.
  std::vector<bool> has_member_;
  bool after_key_ = false;
};

// s as a quoted JSON string, escaped as described above.
std::string JsonQuote(const std::string& s);

}  // namespace tool
