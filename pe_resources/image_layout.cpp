#include "pe_resources/image_layout.h"

#include <algorithm>
#include <cstddef>

#include "base/little_endian.h"
#include "pe/pe_format.h"

namespace pe {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian32;

// Windows maps at most this many sections, and no image is larger than this.
constexpr uint32_t kMostSections = 96;
constexpr uint64_t kLargestImage = uint64_t{1} << 31;
constexpr uint32_t kMostDirectories = 16;
// A base relocation block: the page's address and the block's size, then 16-bit entries of a
// 4-bit type and a 12-bit offset into the page; type 0 only pads a block.
constexpr uint32_t kRelocationBlockHeaderSize = 8;
constexpr uint32_t kRelocationPadding = 0;

int Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return 0;
}

bool IsPowerOfTwo(uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// How far a section reaches in memory: its virtual size, or where linkers leave that 0, its
// raw size.
uint32_t Extent(const Section& section) {
  return section.virtual_size != 0 ? section.virtual_size : section.raw_size;
}

std::string Quoted(const Section& section) {
  return "\"" + section.name + "\"";
}

int ReadSections(const uint8_t* table, uint32_t count, uint64_t file_size, ImageLayout* layout,
                 std::string* error) {
  layout->sections.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* header = table + i * kSectionHeaderSize;
    Section section;
    const char* name = reinterpret_cast<const char*>(header);
    section.name.assign(name, std::find(name, name + 8, '\0'));
    section.virtual_size = LoadLittleEndian32(header + kSectionVirtualSizeAt);
    section.virtual_address = LoadLittleEndian32(header + kSectionVirtualAddressAt);
    section.raw_size = LoadLittleEndian32(header + kSectionRawSizeAt);
    section.raw_offset = LoadLittleEndian32(header + kSectionRawOffsetAt);
    section.characteristics = LoadLittleEndian32(header + kSectionCharacteristicsAt);
    if (section.raw_size != 0 && uint64_t{section.raw_offset} + section.raw_size > file_size) {
      return Fail(error, "section " + Quoted(section) + " runs past the end of the file");
    }
    const uint64_t end = uint64_t{section.virtual_address} + Extent(section);
    if (end > kLargestImage) {
      return Fail(error, "section " + Quoted(section) + " lies beyond 2 GiB in memory");
    }
    if (!layout->sections.empty()) {
      const Section& before = layout->sections.back();
      if (uint64_t{before.virtual_address} + Extent(before) > section.virtual_address) {
        return Fail(error, "section " + Quoted(section) +
                               " overlaps the one before it or lies before it in memory");
      }
    }
    layout->sections.push_back(section);
  }
  return 1;
}

// Whether a base relocation patches an address at or above limit; those are the addresses of
// what moves, whose patches would land on other bytes.
int CheckRelocationsBelow(const std::vector<uint8_t>& image, const ImageLayout& layout,
                          uint32_t limit, std::string* error) {
  const DataDirectory relocations = layout.Directory(kBaseRelocationDirectory);
  if (relocations.size == 0) return 1;
  const int index = layout.SectionAt(relocations.address);
  if (index < 0) return Fail(error, "the base relocations lie outside every section");
  const Section& section = layout.sections[static_cast<size_t>(index)];
  const uint32_t start = relocations.address - section.virtual_address;
  if (uint64_t{start} + relocations.size > section.raw_size) {
    return Fail(error, "the base relocations run past their section's data");
  }
  const uint8_t* at = image.data() + section.raw_offset + start;
  for (uint32_t left = relocations.size; left >= kRelocationBlockHeaderSize;) {
    const uint32_t page = LoadLittleEndian32(at);
    const uint32_t block = LoadLittleEndian32(at + 4);
    if (block < kRelocationBlockHeaderSize || block > left || block % 2 != 0) {
      return Fail(error, "a base relocation block has a wrong size");
    }
    for (uint32_t i = kRelocationBlockHeaderSize; i < block; i += 2) {
      const uint16_t entry = LoadLittleEndian16(at + i);
      if ((entry >> 12) != kRelocationPadding && uint64_t{page} + (entry & 0xFFF) + 4 > limit) {
        return Fail(error, "a base relocation patches the resources or what follows them");
      }
    }
    at += block;
    left -= block;
  }
  return 1;
}

// Checks that everything behind the resources can move: one section of base relocations at
// most, no other directory there, no file offsets behind them that would go stale.
int CheckMovable(const std::vector<uint8_t>& image, const ImageLayout& layout, size_t resources,
                 std::string* error) {
  // Whether or not it signs the image, a certificate table is found by its file offset.
  if (layout.Directory(kCertificateDirectory).size != 0) {
    return Fail(error, "it names a certificate table, whose file offset would move");
  }
  if (layout.has_symbol_table) {
    return Fail(error, "it carries a COFF symbol table, which would move; strip it first");
  }
  const Section& section = layout.sections[resources];
  for (uint32_t d = 0; d < layout.directory_count; ++d) {
    const DataDirectory directory = layout.Directory(d);
    if (directory.size == 0 || d == kResourceDirectory) continue;
    const int at = layout.SectionAt(directory.address);
    if (at == static_cast<int>(resources) ||
        (at > static_cast<int>(resources) && d != kBaseRelocationDirectory)) {
      return Fail(error, "its data directory " + std::to_string(d) +
                             " lies in or behind the resources, where it would move");
    }
  }
  // What lies before the resources in the file is copied as it is, so it must end there.
  if (layout.size_of_headers > section.raw_offset) {
    return Fail(error, "its headers reach into the resources' data");
  }
  for (size_t i = 0; i < resources; ++i) {
    const Section& before = layout.sections[i];
    if (before.raw_size != 0 &&
        uint64_t{before.raw_offset} + before.raw_size > section.raw_offset) {
      return Fail(error, "section " + Quoted(before) + " lies behind the resources in the file");
    }
  }
  const int relocations = layout.Directory(kBaseRelocationDirectory).size != 0
                              ? layout.SectionAt(layout.Directory(kBaseRelocationDirectory).address)
                              : -1;
  uint64_t raw_end = uint64_t{section.raw_offset} + section.raw_size;
  for (size_t i = resources + 1; i < layout.sections.size(); ++i) {
    const Section& behind = layout.sections[i];
    if (static_cast<int>(i) != relocations) {
      return Fail(error, "section " + Quoted(behind) +
                             " follows the resources and cannot move; only base relocations "
                             "may follow them");
    }
    if (behind.raw_size != 0 && behind.raw_offset < raw_end) {
      return Fail(error, "section " + Quoted(behind) + " lies before the resources in the file");
    }
    raw_end = uint64_t{behind.raw_offset} + behind.raw_size;
  }
  return CheckRelocationsBelow(image, layout, section.virtual_address, error);
}

}  // namespace

DataDirectory ImageLayout::Directory(uint32_t index) const {
  return index < directories.size() ? directories[index] : DataDirectory{0, 0};
}

int ImageLayout::SectionAt(uint32_t address) const {
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    if (address >= section.virtual_address && address - section.virtual_address < Extent(section)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int ReadImageLayout(const uint8_t* bytes, size_t size, uint64_t file_size, ImageLayout* layout,
                    std::string* error) {
  // The walk counts in 32 bits, as every file the tool reads does.
  if (file_size > UINT32_MAX) return Fail(error, "it is larger than 4 GiB");
  const auto given = static_cast<uint32_t>(std::min<uint64_t>(size, file_size));
  PeHeaders headers;
  uint32_t at = 0;
  HeaderProblem problem = FindPeHeader(bytes, given, static_cast<uint32_t>(file_size), &at);
  if (problem == HeaderProblem::kNone) {
    problem = ReadPeHeaders(bytes + std::min(at, given), at <= given ? given - at : 0, at,
                            static_cast<uint32_t>(file_size), &headers);
  }
  switch (problem) {
    case HeaderProblem::kNone:
      break;
    case HeaderProblem::kNoDosHeader:
      return Fail(error, "not a Windows program (no MZ header)");
    case HeaderProblem::kNoPeHeader:
      return Fail(error, "not a PE image (no PE header where the DOS header points)");
    case HeaderProblem::kUnknownMagic:
      return Fail(error, "not a PE image (unknown optional header magic)");
    case HeaderProblem::kCutShort:
      return Fail(error, "its PE headers are cut short or claim too many sections");
  }
  // The section table must lie within the bytes given, which this reads it from.
  if (headers.section_count > kMostSections ||
      uint64_t{headers.section_table_at} + uint64_t{headers.section_count} * kSectionHeaderSize >
          given) {
    return Fail(error, "its PE headers are cut short or claim too many sections");
  }
  const uint8_t* optional = bytes + headers.optional_at;
  layout->header_at = headers.header_at;
  layout->directories_at = headers.directories_at;
  layout->directory_count = std::min(headers.directory_count, kMostDirectories);
  layout->section_table_at = headers.section_table_at;
  layout->section_alignment = LoadLittleEndian32(optional + kSectionAlignmentAt);
  layout->file_alignment = LoadLittleEndian32(optional + kFileAlignmentAt);
  layout->size_of_headers = LoadLittleEndian32(optional + kSizeOfHeadersAt);
  layout->has_symbol_table = LoadLittleEndian32(bytes + at + kPointerToSymbolTableAt) != 0;
  if (!IsPowerOfTwo(layout->section_alignment) || !IsPowerOfTwo(layout->file_alignment) ||
      layout->file_alignment > layout->section_alignment) {
    return Fail(error, "its section and file alignments are not powers of two");
  }
  layout->directories.clear();
  for (uint32_t d = 0; d < layout->directory_count; ++d)
    layout->directories.push_back(DirectoryOf(headers, d));
  return ReadSections(bytes + headers.section_table_at, headers.section_count, file_size, layout,
                      error);
}

int FindResourceSection(const ImageLayout& layout, size_t* section_index, std::string* error) {
  const DataDirectory resources = layout.Directory(kResourceDirectory);
  if (resources.size == 0) return Fail(error, "it has no resources (no resource section)");
  const int index = layout.SectionAt(resources.address);
  if (index < 0) return Fail(error, "its resource directory lies outside every section");
  const Section& section = layout.sections[static_cast<size_t>(index)];
  // Linkers give resources a section of their own; sharing one would mean moving other data.
  if (resources.address != section.virtual_address || section.raw_size == 0) {
    return Fail(error, "its resources do not start a section of their own");
  }
  if (uint64_t{resources.size} > section.raw_size) {
    return Fail(error, "its resource directory runs past the section's data");
  }
  *section_index = static_cast<size_t>(index);
  return 1;
}

int ReplaceResourceSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                           const std::vector<uint8_t>& resources, std::vector<uint8_t>* out,
                           std::string* error) {
  size_t index = 0;
  if (!FindResourceSection(layout, &index, error)) return 0;
  if (!CheckMovable(image, layout, index, error)) return 0;
  std::vector<Section> sections = layout.sections;
  Section& section = sections[index];
  const uint32_t old_raw_size = section.raw_size;
  section.virtual_size = static_cast<uint32_t>(resources.size());
  section.raw_size = static_cast<uint32_t>(AlignUp(resources.size(), layout.file_alignment));

  // What follows moves up or down, in memory and in the file, keeping its order.
  uint64_t raw_end = uint64_t{section.raw_offset} + section.raw_size;
  uint64_t address_end =
      AlignUp(uint64_t{section.virtual_address} + Extent(section), layout.section_alignment);
  uint64_t old_raw_end = uint64_t{section.raw_offset} + old_raw_size;
  std::vector<uint8_t> moved;
  DataDirectory relocations = layout.Directory(kBaseRelocationDirectory);
  for (size_t i = index + 1; i < sections.size(); ++i) {
    Section& behind = sections[i];
    const uint8_t* data = image.data() + behind.raw_offset;
    moved.insert(moved.end(), data, data + behind.raw_size);
    if (behind.raw_size != 0) {
      old_raw_end = uint64_t{behind.raw_offset} + behind.raw_size;
      behind.raw_offset = static_cast<uint32_t>(raw_end);
    }
    raw_end += behind.raw_size;
    if (relocations.size != 0 && layout.SectionAt(relocations.address) == static_cast<int>(i)) {
      relocations.address =
          relocations.address - behind.virtual_address + static_cast<uint32_t>(address_end);
    }
    behind.virtual_address = static_cast<uint32_t>(address_end);
    address_end = AlignUp(address_end + Extent(behind), layout.section_alignment);
  }
  if (address_end > kLargestImage || raw_end > kLargestImage) {
    return Fail(error, "the image would grow beyond 2 GiB");
  }

  // The file: everything before the resources, the new resources padded to the file alignment,
  // the sections that moved, then whatever the file carried behind its last section.
  out->assign(image.begin(), image.begin() + section.raw_offset);
  out->insert(out->end(), resources.begin(), resources.end());
  out->resize(out->size() + (section.raw_size - resources.size()), 0);
  out->insert(out->end(), moved.begin(), moved.end());
  if (old_raw_end < image.size()) {
    out->insert(out->end(), image.begin() + static_cast<std::ptrdiff_t>(old_raw_end), image.end());
  }

  uint8_t* optional = out->data() + layout.header_at + kOptionalHeaderAt;
  for (size_t i = index; i < sections.size(); ++i) {
    uint8_t* header = out->data() + layout.section_table_at + i * kSectionHeaderSize;
    StoreLittleEndian32(header + kSectionVirtualSizeAt, sections[i].virtual_size);
    StoreLittleEndian32(header + kSectionVirtualAddressAt, sections[i].virtual_address);
    StoreLittleEndian32(header + kSectionRawSizeAt, sections[i].raw_size);
    StoreLittleEndian32(header + kSectionRawOffsetAt, sections[i].raw_offset);
  }
  uint8_t* directories = out->data() + layout.directories_at;
  StoreLittleEndian32(directories + kResourceDirectory * kDirectorySize + 4,
                      static_cast<uint32_t>(resources.size()));
  if (relocations.size != 0) {
    StoreLittleEndian32(directories + kBaseRelocationDirectory * kDirectorySize,
                        relocations.address);
  }
  const Section& last = sections.back();
  StoreLittleEndian32(optional + kSizeOfImageAt,
                      static_cast<uint32_t>(AlignUp(uint64_t{last.virtual_address} + Extent(last),
                                                    layout.section_alignment)));
  if ((section.characteristics & kSectionHoldsInitializedData) != 0) {
    StoreLittleEndian32(
        optional + kSizeOfInitializedDataAt,
        LoadLittleEndian32(optional + kSizeOfInitializedDataAt) - old_raw_size + section.raw_size);
  }
  StoreLittleEndian32(optional + kCheckSumAt, 0);
  return 1;
}

}  // namespace pe
