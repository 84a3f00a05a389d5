// Contract of the file services of the platform seam. The same tests run natively against the
// posix side and, cross-built, under Wine against the win32 side.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/files.h"
#include "tests/support/dos_date.h"
#include "tests/support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/time.h>
#include <ctime>
#endif

using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Sets a file's last-write time to a UTC moment by the system's own means, bypassing the
// services under test.
void SetLastWriteUtc(const std::string& path, int year, int month, int day, int hour, int minute,
                     int second) {
#ifdef _WIN32
  SYSTEMTIME utc = {};
  utc.wYear = static_cast<WORD>(year);
  utc.wMonth = static_cast<WORD>(month);
  utc.wDay = static_cast<WORD>(day);
  utc.wHour = static_cast<WORD>(hour);
  utc.wMinute = static_cast<WORD>(minute);
  utc.wSecond = static_cast<WORD>(second);
  FILETIME moment;
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &moment));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &moment));
  CloseHandle(file);
#else
  struct tm utc = {};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  struct timeval times[2];
  times[0].tv_sec = timegm(&utc);
  times[0].tv_usec = 0;
  times[1] = times[0];
  ASSERT_EQ(utimes(path.c_str(), times), 0);
#endif
}

using testing_support::DosDate;
using testing_support::DosTime;

class PlatformFiles : public testing::Test {
 protected:
  TempDir dir;
  std::string Path(const char* name) { return dir.Join(name); }
};

TEST_F(PlatformFiles, CreateWriteSeekReadRoundTrip) {
  std::string path = Path("data.bin");
  platform::FileHandle out = platform::CreateOrTruncate(path.c_str());
  ASSERT_NE(out, platform::kNoFile);
  Bytes data = testing_support::RandomBytes(10000, 1);
  EXPECT_EQ(platform::WriteBytes(out, data.data(), 10000), 10000);
  EXPECT_EQ(platform::WriteBytes(out, data.data(), 0), 0);
  platform::CloseFile(out);

  platform::FileHandle in = platform::OpenForReading(path.c_str());
  ASSERT_NE(in, platform::kNoFile);
  EXPECT_EQ(platform::Seek(in, 0, platform::kFromEnd), 10000);
  EXPECT_EQ(platform::Seek(in, 9000, platform::kFromStart), 9000);
  EXPECT_EQ(platform::Seek(in, -1000, platform::kFromCurrent), 8000);
  Bytes back(4000);
  EXPECT_EQ(platform::ReadBytes(in, back.data(), 4000), 2000) << "a read stops at the end";
  EXPECT_EQ(0, std::memcmp(back.data(), data.data() + 8000, 2000));
  EXPECT_EQ(platform::ReadBytes(in, back.data(), 10), 0);
  platform::CloseFile(in);
}

TEST_F(PlatformFiles, OpenForReadingRefusesWhatIsNotAnExistingFile) {
  EXPECT_EQ(platform::OpenForReading(Path("missing").c_str()), platform::kNoFile);
  EXPECT_EQ(platform::OpenForReading(dir.path().c_str()), platform::kNoFile);
}

TEST_F(PlatformFiles, CreateOrTruncateEmptiesAnExistingFile) {
  std::string path = Path("old.txt");
  WriteFile(path, std::string("old contents"));
  platform::FileHandle out = platform::CreateOrTruncate(path.c_str());
  ASSERT_NE(out, platform::kNoFile);
  platform::CloseFile(out);
  EXPECT_TRUE(ReadFile(path).empty());
}

TEST_F(PlatformFiles, ReadOnlyFilesCannotBeTruncatedReplacedOrDeleted) {
  std::string path = Path("locked.txt");
  WriteFile(path, std::string("keep me"));
  ASSERT_TRUE(platform::SetAttributes(path.c_str(), platform::kAttributeReadOnly));
  EXPECT_NE(platform::GetAttributes(path.c_str()) & platform::kAttributeReadOnly, 0u);

  if (!testing_support::UnderWine()) {  // Wine run by root opens read-only files for writing
    EXPECT_EQ(platform::CreateOrTruncate(path.c_str()), platform::kNoFile);
    EXPECT_EQ(platform::CreateForReadWrite(path.c_str()), platform::kNoFile);
    EXPECT_EQ(platform::OpenForAppending(path.c_str(), true), platform::kNoFile);
  }
  EXPECT_FALSE(platform::RemoveFile(path.c_str()));
  EXPECT_EQ(testing_support::ReadFileText(path), "keep me");

  // Normal attributes make it writable again.
  ASSERT_TRUE(platform::SetAttributes(path.c_str(), platform::kAttributeNormal));
  EXPECT_EQ(platform::GetAttributes(path.c_str()) & platform::kAttributeReadOnly, 0u);
  platform::FileHandle out = platform::CreateForReadWrite(path.c_str());
  ASSERT_NE(out, platform::kNoFile);
  platform::CloseFile(out);
  EXPECT_TRUE(ReadFile(path).empty());
}

TEST_F(PlatformFiles, OpenForAppendingCreatesOnlyWhenAsked) {
  std::string path = Path("log.txt");
  EXPECT_EQ(platform::OpenForAppending(path.c_str(), false), platform::kNoFile);
  EXPECT_FALSE(testing_support::FileExists(path));

  platform::FileHandle file = platform::OpenForAppending(path.c_str(), true);
  ASSERT_NE(file, platform::kNoFile);
  EXPECT_EQ(platform::WriteBytes(file, "ab", 2), 2);
  platform::CloseFile(file);
  file = platform::OpenForAppending(path.c_str(), false);
  ASSERT_NE(file, platform::kNoFile);
  EXPECT_EQ(platform::WriteBytes(file, "cd", 2), 2);
  platform::CloseFile(file);
  EXPECT_EQ(testing_support::ReadFileText(path), "abcd");
}

TEST_F(PlatformFiles, AttributesOfFilesFoldersAndMissingPaths) {
  std::string path = Path("plain.txt");
  WriteFile(path, std::string("x"));
  uint32_t bits = platform::GetAttributes(path.c_str());
  EXPECT_NE(bits, platform::kNoAttributes);
  EXPECT_EQ(bits & (platform::kAttributeDirectory | platform::kAttributeReadOnly), 0u);
  EXPECT_NE(platform::GetAttributes(dir.path().c_str()) & platform::kAttributeDirectory, 0u);
  EXPECT_EQ(platform::GetAttributes(Path("missing").c_str()), platform::kNoAttributes);
}

TEST_F(PlatformFiles, LastWriteTimeIsReadInUtc) {
  std::string path = Path("dated.txt");
  WriteFile(path, std::string("x"));
  SetLastWriteUtc(path, 2003, 7, 14, 23, 59, 58);
  uint32_t date = 0xFFFFFFFF;
  uint32_t time = 0xFFFFFFFF;
  ASSERT_NE(platform::GetLastWriteDosDateTime(path.c_str(), &date, &time), 0);
  EXPECT_EQ(date, DosDate(2003, 7, 14));
  EXPECT_EQ(time, DosTime(23, 59, 58));
}

TEST_F(PlatformFiles, LastWriteTimeOfMissingFileOrFolderIsAnError) {
  uint32_t date = 0;
  uint32_t time = 0;
  for (const std::string& path : {Path("missing"), dir.path()}) {
    EXPECT_EQ(platform::GetLastWriteDosDateTime(path.c_str(), &date, &time), 0) << path;
    EXPECT_NE(platform::LastError(), 0u) << path;  // with the system's reason
  }
}

TEST_F(PlatformFiles, SetFileDosDateTimeRoundTrips) {
  struct Moment {
    int year, month, day, hour, minute, second;
  };
  const Moment moments[] = {{1980, 1, 1, 0, 0, 0},
                            {1999, 12, 31, 23, 59, 58},
                            {2000, 2, 29, 12, 30, 10},
                            {2026, 12, 8, 18, 17, 2},
                            {2107, 12, 31, 23, 59, 58}};
  for (const Moment& m : moments) {
    std::string path = Path("stamped.bin");
    platform::FileHandle file = platform::CreateForReadWrite(path.c_str());
    ASSERT_NE(file, platform::kNoFile);
    EXPECT_TRUE(platform::SetFileDosDateTime(file, DosDate(m.year, m.month, m.day),
                                             DosTime(m.hour, m.minute, m.second)))
        << m.year;
    platform::CloseFile(file);
    uint32_t date = 0;
    uint32_t time = 0;
    ASSERT_NE(platform::GetLastWriteDosDateTime(path.c_str(), &date, &time), 0);
    EXPECT_EQ(date, DosDate(m.year, m.month, m.day)) << m.year;
    EXPECT_EQ(time, DosTime(m.hour, m.minute, m.second)) << m.year;
  }
}

TEST_F(PlatformFiles, RemoveFileAndMakeDirectory) {
  std::string path = Path("gone.txt");
  WriteFile(path, std::string("x"));
  EXPECT_TRUE(platform::RemoveFile(path.c_str()));
  EXPECT_FALSE(testing_support::FileExists(path));
  EXPECT_FALSE(platform::RemoveFile(path.c_str()));

  std::string sub = Path("sub");
  EXPECT_TRUE(platform::MakeDirectory(sub.c_str()));
  EXPECT_FALSE(platform::MakeDirectory(sub.c_str())) << "an existing name is not a new directory";
  EXPECT_FALSE(platform::RemoveFile(sub.c_str())) << "a directory is not a file";
}

TEST(PlatformMemory, AllocateZeroedGivesZeroedMemory) {
  const size_t size = 32768;
  auto* block = static_cast<uint8_t*>(platform::AllocateZeroed(size));
  ASSERT_NE(block, nullptr);
  size_t nonzero = 0;
  for (size_t i = 0; i < size; ++i)
    nonzero += block[i] != 0;
  EXPECT_EQ(nonzero, 0u);
  block[size - 1] = 1;
  platform::FreeMemory(block);
  platform::FreeMemory(nullptr);
}

}  // namespace
