// File services on Linux, with the Windows behaviour the subsystems rely on: a read-only file
// (no write bit) cannot be truncated or replaced even by root, directories are not files, and
// times go through DOS date and time in UTC. Paths reach the system through the machine's
// HostPathOf (posix/host_machine.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "base/dos_time.h"
#include "platform/files.h"
#include "platform/posix/host_machine.h"

namespace platform {
namespace {

constexpr size_t kHostPathCapacity = 4096;

struct HostPath {
  char text[kHostPathCapacity];
  bool ok;
  explicit HostPath(const char* path) : ok(posix::HostPathOf(path, text, sizeof text)) {
    if (!ok) errno = ENAMETOOLONG;
  }
};

// The path of a file to open, replace or delete: refused while another program holds it.
struct OpenablePath : HostPath {
  explicit OpenablePath(const char* path) : HostPath(path) {
    if (ok && posix::HeldByAnotherProgram(path)) {
      ok = false;
      errno = EBUSY;
    }
  }
};

bool IsReadOnlyFile(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

// Opens for writing with O_CREAT|O_TRUNC, refusing a read-only or directory target as Windows
// would.
FileHandle CreateTruncated(const char* path, int access) {
  OpenablePath host(path);
  if (!host.ok) return kNoFile;
  struct stat st;
  if (stat(host.text, &st) == 0) {
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) {
      errno = EACCES;
      return kNoFile;
    }
  }
  int fd = open(host.text, access | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? kNoFile : fd;
}

}  // namespace

FileHandle OpenForReading(const char* path) {
  OpenablePath host(path);
  if (!host.ok) return kNoFile;
  int fd = open(host.text, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    errno = EACCES;
    return kNoFile;
  }
  return fd;
}

FileHandle CreateOrTruncate(const char* path) {
  return CreateTruncated(path, O_WRONLY);
}

FileHandle CreateForReadWrite(const char* path) {
  return CreateTruncated(path, O_RDWR);
}

FileHandle OpenForAppending(const char* path, bool create_missing) {
  OpenablePath host(path);
  if (!host.ok) return kNoFile;
  struct stat st;
  if (stat(host.text, &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
    errno = EACCES;
    return kNoFile;
  }
  int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (create_missing ? O_CREAT : 0);
  int fd = open(host.text, flags, 0666);
  return fd < 0 ? kNoFile : fd;
}

int32_t Seek(FileHandle file, int32_t offset, int origin) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (file == kNoFile || origin < 0 || origin > 2) return -1;
  off_t at = lseek(static_cast<int>(file), offset, kWhence[origin]);
  if (at < 0 || at > INT32_MAX) return -1;
  return static_cast<int32_t>(at);
}

int32_t ReadBytes(FileHandle file, void* buffer, uint32_t count) {
  if (file == kNoFile) return -1;
  if (count > INT32_MAX) count = INT32_MAX;
  uint32_t done = 0;
  while (done < count) {
    ssize_t got = read(static_cast<int>(file), static_cast<char*>(buffer) + done, count - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return static_cast<int32_t>(done);
}

namespace posix {

int32_t WriteToDescriptor(int descriptor, const void* buffer, uint32_t count) {
  if (count > INT32_MAX) count = INT32_MAX;
  uint32_t done = 0;
  while (done < count) {
    ssize_t put = write(descriptor, static_cast<const char*>(buffer) + done, count - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      if (done == 0) return -1;
      break;
    }
    done += static_cast<uint32_t>(put);
  }
  return static_cast<int32_t>(done);
}

}  // namespace posix

void CloseFile(FileHandle file) {
  if (file != kNoFile) close(static_cast<int>(file));
}

uint32_t GetAttributes(const char* path) {
  HostPath host(path);
  struct stat st;
  if (!host.ok || stat(host.text, &st) != 0) return kNoAttributes;
  uint32_t bits = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
  if (IsReadOnlyFile(st)) bits |= kAttributeReadOnly;
  return bits;
}

int SetAttributes(const char* path, uint32_t attributes) {
  HostPath host(path);
  struct stat st;
  if (!host.ok || stat(host.text, &st) != 0) return 0;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttributeReadOnly) ? (mode & ~0222) : (mode | 0200);
  return chmod(host.text, mode) == 0 ? 1 : 0;
}

int GetLastWriteDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time) {
  HostPath host(path);
  struct stat st;
  if (!host.ok || stat(host.text, &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) {  // opening a directory as a file fails on Windows
    errno = EACCES;
    return 0;
  }
  struct tm utc;
  time_t seconds = st.st_mtime;
  // A year outside what DOS dates can hold is refused by the packing.
  if (gmtime_r(&seconds, &utc) == nullptr ||
      !dos::PackDateTime(
          {static_cast<uint32_t>(utc.tm_year + 1900), static_cast<uint32_t>(utc.tm_mon + 1),
           static_cast<uint32_t>(utc.tm_mday), static_cast<uint32_t>(utc.tm_hour),
           static_cast<uint32_t>(utc.tm_min), static_cast<uint32_t>(utc.tm_sec)},
          dos_date, dos_time)) {
    errno = EINVAL;
    return 0;
  }
  return 1;
}

int SetFileDosDateTime(FileHandle file, uint32_t dos_date, uint32_t dos_time) {
  if (file == kNoFile) return 0;
  const dos::DateTimeFields fields = dos::UnpackDateTime(dos_date, dos_time);
  struct tm utc = {};
  utc.tm_year = static_cast<int>(fields.year) - 1900;
  utc.tm_mon = static_cast<int>(fields.month) - 1;
  utc.tm_mday = static_cast<int>(fields.day);
  utc.tm_hour = static_cast<int>(fields.hour);
  utc.tm_min = static_cast<int>(fields.minute);
  utc.tm_sec = static_cast<int>(fields.second);
  // Windows refuses what is not a valid date or time; so do we.
  if (utc.tm_mon < 0 || utc.tm_mon > 11 || utc.tm_mday < 1 || utc.tm_hour > 23 || utc.tm_min > 59 ||
      utc.tm_sec > 59) {
    return 0;
  }
  struct timespec times[2];
  times[0].tv_sec = timegm(&utc);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return futimens(static_cast<int>(file), times) == 0 ? 1 : 0;
}

int RemoveFile(const char* path) {
  OpenablePath host(path);
  if (!host.ok) return 0;
  struct stat st;
  // Windows deletes neither directories nor read-only files through this call.
  if (lstat(host.text, &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
    errno = EACCES;
    return 0;
  }
  return unlink(host.text) == 0 ? 1 : 0;
}

void FreeMemory(void* block) {
  free(block);
}

uint32_t LastError() {
  return static_cast<uint32_t>(errno);
}

}  // namespace platform
