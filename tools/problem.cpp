#include "tools/problem.h"

#include <cstdio>

#include "tools/display.h"

namespace tool {
namespace {

struct ProblemForm {
  ProblemCode code;
  // Placeholders: {N} the number, {Nb} the number with "byte" or "bytes", {Nx} eight hex digits.
  const char* text;
};

constexpr ProblemForm kForms[] = {
    {ProblemCode::kHeaderPastFileEnd,
     "the entry header at offset {0} lies past the end of the file ({1} bytes): the installer "
     "is truncated or damaged"},
    {ProblemCode::kHeaderPastArchiveEnd,
     "the entry header at offset {0} lies past the end of the archive, where the certificate "
     "table begins ({1} bytes): the installer is truncated or damaged"},
    {ProblemCode::kHeaderUnreadable, "the entry header at offset {0} cannot be read"},
    {ProblemCode::kChainLoops, "the member chain loops back to an earlier entry header"},
    {ProblemCode::kChainTooLong,
     "the member chain holds more entry headers than the file has room for"},
    {ProblemCode::kChainRevisits, "the member chain loops back to the entry header at offset {0}"},
    {ProblemCode::kNameUnterminated, "its name field holds no terminating NUL"},
    {ProblemCode::kDataPastEnd,
     "its {0} bytes of data at offset {1} run past the end of the file ({2} bytes)"},
    {ProblemCode::kDataUnreadable, "its data cannot be read"},
    {ProblemCode::kChecksumMismatch,
     "its data does not match its checksum (CRC-32 {0x}, recorded {1x}): the installer is "
     "damaged"},
    {ProblemCode::kShortPackage, "short package: {0b}, but a package header takes {1b}"},
    {ProblemCode::kBadFileCount, "bad package header: file count {0} (must be 1 to 32767)"},
    {ProblemCode::kPackageUnreadable, "the package header cannot be read"},
    {ProblemCode::kRecordPastEnd,
     "short package: the record of file {0} of {1} needs {2b} at offset {3}, but the package "
     "ends after {4b}"},
    {ProblemCode::kRecordUnreadable, "the record of file {0} of {1} cannot be read"},
    {ProblemCode::kStreamPastEnd,
     "short package: file {0} of {1} needs {2b} of stream, but only {3b} are left"},
    {ProblemCode::kStreamUnreadable, "the stream of file {0} of {1} cannot be read"},
    {ProblemCode::kBytesAfterLastFile, "{0b} after the last file, where nothing belongs"},
    {ProblemCode::kStreamReadFailed, "reading its stream failed"},
    {ProblemCode::kBadDictionary,
     "bad stream header: dictionary size code {0} (must be 4, 5 or 6)"},
    {ProblemCode::kBadType,
     "bad stream header: compression type {0} (must be 0 for binary or 1 for ASCII)"},
    {ProblemCode::kStreamTooShort,
     "stream too short: {0b} cannot hold a stream header and an end-of-stream code"},
    {ProblemCode::kCopyBeforeStart,
     "a copy reaches back before the stream's first byte (after {0} bytes decoded)"},
    {ProblemCode::kStreamTruncated,
     "truncated stream: its {0b} end before the end-of-stream code ({1} bytes decoded)"},
    {ProblemCode::kDecoderFailed, "decoder failed with code {0}"},
    {ProblemCode::kStreamEndsEarly,
     "its stream ends {0b} before the compressed size its record gives, so the next record "
     "would be misread"},
    {ProblemCode::kDecodedSizeDiffers, "decodes to {0} bytes, but its record says {1}"},
};

constexpr size_t kFormCount = sizeof kForms / sizeof kForms[0];

// Whether every placeholder of text names one of the five values, in one of the three styles.
constexpr bool PlaceholdersAreWellMade(const char* text) {
  for (const char* at = text; *at != '\0'; ++at) {
    if (*at != '{') continue;
    if (at[1] < '0' || at[1] > '4') return false;
    const bool styled = at[2] == 'b' || at[2] == 'x';
    if (at[styled ? 3 : 2] != '}') return false;
  }
  return true;
}

constexpr bool FormsAreWellMade() {
  for (size_t i = 0; i < kFormCount; ++i) {
    if (static_cast<size_t>(kForms[i].code) != i || !PlaceholdersAreWellMade(kForms[i].text)) {
      return false;
    }
  }
  return true;
}
static_assert(kFormCount == static_cast<size_t>(ProblemCode::kCount), "one text per code");
static_assert(FormsAreWellMade(), "texts in the order of the codes, quoting values 0 to 4 only");

std::string Quote(int64_t value, char style) {
  switch (style) {
    case 'b':
      return std::to_string(value) + (value == 1 ? " byte" : " bytes");
    case 'x': {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(value));
      return hex;
    }
    default:
      return std::to_string(value);
  }
}

}  // namespace

Problem MakeProblem(ProblemCode code, std::array<int64_t, 5> values) {
  Problem problem;
  problem.code = code;
  problem.values = values;
  return problem;
}

Problem InMember(Problem problem, const std::string& member) {
  problem.about_member = true;
  problem.member = member;
  return problem;
}

Problem InFile(Problem problem, const std::string& member, const std::string& file) {
  problem = InMember(problem, member);
  problem.about_file = true;
  problem.file = file;
  return problem;
}

std::string ProblemText(const Problem& problem) {
  std::string text;
  for (const char* at = kForms[static_cast<size_t>(problem.code)].text; *at != '\0'; ++at) {
    if (*at != '{') {
      text += *at;
      continue;
    }
    const size_t index = static_cast<size_t>(at[1] - '0');
    const char style = at[2] == '}' ? 'd' : at[2];
    text += Quote(problem.values[index], style);
    at += style == 'd' ? 2 : 3;
  }
  return text;
}

std::string DescribeProblem(const Problem& problem) {
  std::string where;
  if (problem.about_member) where += PrintableName(problem.member) + ": ";
  if (problem.about_file) where += PrintableName(problem.file) + ": ";
  return where + ProblemText(problem);
}

}  // namespace tool
