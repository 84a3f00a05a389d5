#include "pe_resources/resource_section.h"

#include <cstring>

namespace pe {

int ReadImageResources(const ImageLayout& layout, const ReadImageBytes& read_at,
                       std::vector<Resource>* resources, std::string* error) {
  size_t index = 0;
  if (!FindResourceSection(layout, &index, error)) return 0;
  const Section& section = layout.sections[index];
  uint32_t size = section.raw_size;
  if (section.virtual_size != 0 && section.virtual_size < size) size = section.virtual_size;
  std::vector<uint8_t> bytes(size);
  if (!read_at(section.raw_offset, bytes.data(), size)) {
    *error = "cannot be read";
    return 0;
  }
  return ReadResourceTree(bytes.data(), bytes.size(), section.virtual_address, resources, error);
}

int ReadImageResources(const std::vector<uint8_t>& image, const ImageLayout& layout,
                       std::vector<Resource>* resources, std::string* error) {
  const ReadImageBytes from_memory = [&image](uint32_t offset, uint8_t* bytes, uint32_t count) {
    if (offset > image.size() || count > image.size() - offset) return false;
    if (count != 0) std::memcpy(bytes, image.data() + offset, count);
    return true;
  };
  return ReadImageResources(layout, from_memory, resources, error);
}

}  // namespace pe
