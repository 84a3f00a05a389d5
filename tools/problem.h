// What can be wrong with an installer, as codes, and the one table that words them.
//
// The walks over an installer (installer_view, package_view, the decode pass) find problems; the
// commands decide what to do about them (list reports them after the listing, test counts them,
// extract refuses what they touch). A problem carries its code, the numbers its text quotes and
// what it is about, so that every command says the same thing in the same words.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tool {

enum class ProblemCode : uint8_t {
  // The member chain, which ends early.
  kHeaderPastFileEnd,     // {0} entry header offset, {1} file size
  kHeaderPastArchiveEnd,  // {0} entry header offset, {1} where the certificate table begins
  kHeaderUnreadable,      // {0} entry header offset
  kChainLoops,
  kChainTooLong,
  kChainRevisits,  // {0} the entry header met again
  // A member's entry header and stored data; the first also a packed file's record.
  kNameUnterminated,
  kDataPastEnd,       // {0} size, {1} data offset, {2} file size
  kDataUnreadable,    //
  kChecksumMismatch,  // {0} CRC-32 of the data, {1} the one recorded
  // A package's header and records.
  kShortPackage,        // {0} package size, {1} header size
  kBadFileCount,        // {0} file count
  kPackageUnreadable,   //
  kRecordPastEnd,       // {0} file, {1} of files, {2} record size, {3} offset, {4} package size
  kRecordUnreadable,    // {0} file, {1} of files
  kStreamPastEnd,       // {0} file, {1} of files, {2} stream size, {3} bytes left
  kStreamUnreadable,    // {0} file, {1} of files
  kBytesAfterLastFile,  // {0} bytes
  // A packed file's implode stream.
  kStreamReadFailed,
  kBadDictionary,       // {0} dictionary size code
  kBadType,             // {0} compression type
  kStreamTooShort,      // {0} stream size
  kCopyBeforeStart,     // {0} bytes decoded
  kStreamTruncated,     // {0} stream size, {1} bytes decoded
  kDecoderFailed,       // {0} result code
  kStreamEndsEarly,     // {0} bytes left unread
  kDecodedSizeDiffers,  // {0} bytes decoded, {1} size recorded
  kCount
};

struct Problem {
  ProblemCode code;
  // The numbers the text quotes, as its placeholders {0} to {4} take them.
  std::array<int64_t, 5> values{};
  // What it is about: a member, or a file inside a package member, each by its name as stored;
  // neither for the installer as a whole.
  bool about_member = false;
  std::string member;
  bool about_file = false;
  std::string file;
};

// A problem of the installer as a whole, or of the thing whoever stamps it names.
Problem MakeProblem(ProblemCode code, std::array<int64_t, 5> values = {});
Problem InMember(Problem problem, const std::string& member);
Problem InFile(Problem problem, const std::string& member, const std::string& file);

// The words alone: "its name field holds no terminating NUL".
std::string ProblemText(const Problem& problem);

// The words behind what it is about, names made printable: "temp.shr: a.txt: truncated stream...".
std::string DescribeProblem(const Problem& problem);

}  // namespace tool
