// The archive writer: puts a payload archive behind an executable image exactly as installers
// are built, for the tool's build command and for tests.
//
// Members go back to back right after the image, in the order given, which is also the chain
// order and so the lookup order. Then come zero bytes that make the file's length a multiple of
// 8, so that signing appends its certificate table without padding of its own, the members'
// checksums (computed as they are written), the member directory and the trailer. Member data is
// streamed from its source file in blocks, so an installer of any size is built in little memory.
// Everything is laid out before anything is written: a refused name, a missing source or an
// installer beyond kLargestInstaller writes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "platform/files.h"

namespace archive {

struct NewMember {
  std::string name;           // bare file name, as the lookup will see it
  std::vector<uint8_t> data;  // the member's bytes, used when source_path is empty
  std::string source_path;    // when set, the bytes are streamed from this file
  uint32_t dos_date = 0;      // low 16 bits
  uint32_t dos_time = 0;      // low 16 bits
  uint32_t attributes = kDefaultMemberAttributes;
};

// The largest installer the writer makes: 2 GiB, where the launcher's signed 32-bit file
// positions end (and beyond which Windows runs no executable), less 1 MiB of room for the
// certificate table that signing appends. Larger payloads ship loose members beside setup.exe.
constexpr uint64_t kLargestInstaller = (uint64_t{2} << 30) - (uint64_t{1} << 20);

// Told how many more bytes of member data were written, as they are; for progress displays.
using WriteProgress = std::function<void(uint64_t bytes)>;

// Whether a name can be stored: not empty, at most 255 bytes, no ":" and no "\" or "/" (the
// latter found the way lookups find them, stepping over double-byte characters), and a key the
// reader can look up (an extension of at most 7 characters). 1 or 0.
int IsStorableMemberName(const std::string& name);

// Appends the archive to out, which holds the image_size bytes of the image and is positioned
// at its end. 1 on success; 0 with a reason in error (if given) when a name is refused, a source
// cannot be read, a write fails, or the file would grow beyond kLargestInstaller. Members need
// an image of at least one byte: a first entry offset of 0 would read as "no members".
int AppendPayloadArchive(platform::FileHandle out, uint32_t image_size,
                         const std::vector<NewMember>& members, std::string* error,
                         const WriteProgress& progress = nullptr);

// Writes target as the image bytes followed by the archive.
int WriteInstallerFile(const std::string& target_path, const std::vector<uint8_t>& image,
                       const std::vector<NewMember>& members, std::string* error,
                       const WriteProgress& progress = nullptr);

// Writes target as a copy of the image file followed by the archive.
int WriteInstallerFileFromImage(const std::string& target_path, const std::string& image_path,
                                const std::vector<NewMember>& members, std::string* error,
                                const WriteProgress& progress = nullptr);

}  // namespace archive
