#include "base/file_name.h"

#include <cstring>

#include "base/bounded_text.h"

namespace text {

FileNameProblem CheckFileName(const char* field, size_t field_size) {
  const size_t length = BoundedLength(field, field_size);
  if (length == field_size) return FILE_NAME_UNTERMINATED;
  if (length == 0) return FILE_NAME_EMPTY;
  if (length == 1 && field[0] == '.') return FILE_NAME_DOT;
  FileNameProblem found = FILE_NAME_OK;
  // The first problem in the order of the enumeration wins, wherever in the name it stands.
  auto note = [&found](FileNameProblem problem) {
    if (found == FILE_NAME_OK || problem < found) found = problem;
  };
  for (size_t i = 0; i < length; ++i) {  // no NUL within length
    const unsigned char byte = static_cast<unsigned char>(field[i]);
    if (byte == '.' && i + 1 < length && field[i + 1] == '.') note(FILE_NAME_DOT_DOT);
    if (byte == ':') note(FILE_NAME_DRIVE_OR_STREAM);
    if (byte == '\\' || byte == '/') note(FILE_NAME_SEPARATOR);
    if (byte < 0x20 || byte == 0x7F) note(FILE_NAME_CONTROL_CHARACTER);
    if (std::strchr("*?\"<>|", byte) != nullptr) note(FILE_NAME_RESERVED_CHARACTER);
  }
  const char last = field[length - 1];
  if (last == '.' || last == ' ') note(FILE_NAME_TRAILING_DOT_OR_BLANK);
  return found;
}

}  // namespace text
