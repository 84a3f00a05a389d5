// The layout of a PE image as a tool reads it: headers, data directories and sections; and the
// one change the tool makes to an image, a new resource section.
//
// Each section is mapped at its virtual address (a multiple of the section alignment) and read
// from its raw data in the file (a multiple of the file alignment long, at such an offset). Code
// and data refer to each other by address, so a section cannot move unless nothing refers into
// it but a data directory. That holds for the resources (found by the resource directory) and
// for the base relocations (found by theirs). Linkers put the resources near the end, followed
// only by the relocations; a resource section that grows or shrinks there keeps its own address
// and moves the relocation section behind it, which only changes that section's header and the
// relocation directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe/headers.h"

namespace pe {

struct Section {
  std::string name;  // up to 8 bytes, without the NUL padding
  uint32_t virtual_size;
  uint32_t virtual_address;
  uint32_t raw_size;
  uint32_t raw_offset;
  uint32_t characteristics;
};

struct ImageLayout {
  uint32_t header_at;       // file offset of the PE signature
  uint32_t directories_at;  // file offset of the first data directory
  uint32_t directory_count;
  uint32_t section_table_at;  // file offset
  uint32_t section_alignment;
  uint32_t file_alignment;
  uint32_t size_of_headers;
  bool has_symbol_table;  // a COFF symbol table, found by its file offset
  std::vector<Section> sections;

  // The directory at index, or an empty one when the image does not count that far.
  DataDirectory Directory(uint32_t index) const;
  // The index of the section that holds the address, or -1.
  int SectionAt(uint32_t address) const;

  std::vector<DataDirectory> directories;
};

// Reads the layout from the first size bytes of a file, its headers walked by ReadPeHeaders: DOS
// header, PE headers and section table must lie within them. 1, or 0 with the reason in error for
// anything that is no PE image or whose headers disagree with themselves: alignments that are no
// powers of two, sections out of address order or overlapping, raw data outside the file (file_size
// bytes long).
int ReadImageLayout(const uint8_t* bytes, size_t size, uint64_t file_size, ImageLayout* layout,
                    std::string* error);

// Where an image keeps its resources: the section that the resource directory starts and the
// directory's size. 1, or 0 with the reason in error when the image has no resources or keeps
// them other than as a section of their own.
int FindResourceSection(const ImageLayout& layout, size_t* section_index, std::string* error);

// image with its resource section's contents replaced by resources (a tree laid out for the
// section's own address), into out. Sections behind the resources move to make room; only a
// section of base relocations may follow them. The headers are made to agree: the section
// table, the resource and relocation directories, the size of the image and of its initialised
// data. The checksum is zeroed: nothing checks it for a program, and signing writes it anew.
// 1, or 0 with the reason in error when the image cannot be changed that way (anything but
// relocations behind the resources, a relocation that points into what moves, a symbol table
// or certificate table, whose file offsets would move).
int ReplaceResourceSection(const std::vector<uint8_t>& image, const ImageLayout& layout,
                           const std::vector<uint8_t>& resources, std::vector<uint8_t>* out,
                           std::string* error);

}  // namespace pe
