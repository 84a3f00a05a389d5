// Reading an image's resource section: the one reader behind both tovalin build, which has the
// whole image in memory, and tovalin list, which reads only the headers and the section from
// the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pe_resources/image_layout.h"
#include "pe_resources/resource_tree.h"

namespace pe {

// Reads count bytes at a file offset; false when they cannot all be read.
using ReadImageBytes = std::function<bool(uint32_t offset, uint8_t* bytes, uint32_t count)>;

// The resources of an image as its resource section holds them: the section that the layout's
// resource directory starts, read through read_at as far as both its data in the file and its
// size in memory reach, and its tree. 1, or 0 with the reason in error: no resource section of
// its own, bytes that "cannot be read", or a tree that is none.
int ReadImageResources(const ImageLayout& layout, const ReadImageBytes& read_at,
                       std::vector<Resource>* resources, std::string* error);

// The same for a whole image in memory.
int ReadImageResources(const std::vector<uint8_t>& image, const ImageLayout& layout,
                       std::vector<Resource>* resources, std::string* error);

}  // namespace pe
