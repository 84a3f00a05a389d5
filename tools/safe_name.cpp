#include "tools/safe_name.h"

#include "base/file_name.h"
#include "tools/problem.h"

namespace tool {

std::string WhyNameIsUnsafe(const std::string& name, bool terminated) {
  // The field as stored: the name and its NUL, or the name alone when the field had none.
  switch (text::CheckFileName(name.c_str(), name.size() + (terminated ? 1 : 0))) {
    case text::FILE_NAME_OK:
      return "";
    case text::FILE_NAME_UNTERMINATED:
      return ProblemText(MakeProblem(ProblemCode::kNameUnterminated));
    case text::FILE_NAME_EMPTY:
      return "its name is empty";
    case text::FILE_NAME_DOT:
      return "its name is \".\"";
    case text::FILE_NAME_DOT_DOT:
      return "its name contains \"..\"";
    case text::FILE_NAME_DRIVE_OR_STREAM:
      return "its name contains a drive or stream (\":\")";
    case text::FILE_NAME_SEPARATOR:
      return "its name contains a path separator";
    case text::FILE_NAME_TRAILING_DOT_OR_BLANK:
      // Windows drops trailing dots and blanks, so such a file would land under another name.
      return "its name ends in a dot or a blank";
    case text::FILE_NAME_CONTROL_CHARACTER:
      return "its name contains a control character";
    case text::FILE_NAME_RESERVED_CHARACTER:
      return "its name contains a character Windows refuses in names (* ? \" < > |)";
  }
  return "its name is refused";
}

}  // namespace tool
