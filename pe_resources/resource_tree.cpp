#include "pe_resources/resource_tree.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <tuple>

#include "base/little_endian.h"

namespace pe {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;

constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kNamedCountAt = 12;
constexpr size_t kNumberedCountAt = 14;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kLevels = 3;  // type, name, language
constexpr size_t kDataAlignment = 8;

char AsciiUpper(char16_t c) {
  return static_cast<char>(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c);
}

class TreeReader {
 public:
  TreeReader(const uint8_t* section, size_t size, uint32_t section_rva,
             std::vector<Resource>* resources, std::string* error)
      : section_(section), size_(size), rva_(section_rva), resources_(resources), error_(error) {}

  int Read() {
    resources_->clear();
    Resource path;
    return Directory(0, 0, &path);
  }

 private:
  int Fail(const std::string& reason) {
    *error_ = reason;
    return 0;
  }

  bool Within(uint32_t offset, size_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }

  // A directory at offset, level 0 for types, 1 for names, 2 for languages; path holds the
  // keys of the levels above.
  int Directory(uint32_t offset, size_t level, Resource* path) {
    if (!Within(offset, kDirectoryHeaderSize)) {
      return Fail("a resource directory lies outside the section");
    }
    const uint8_t* header = section_ + offset;
    const size_t count = size_t{LoadLittleEndian16(header + kNamedCountAt)} +
                         LoadLittleEndian16(header + kNumberedCountAt);
    if (!Within(offset + kDirectoryHeaderSize, count * kDirectoryEntrySize)) {
      return Fail("a resource directory's entries run past the section");
    }
    // A tree of n resources has at most 3n entries; directories that point at each other
    // would have the reader walk far more.
    entries_seen_ += count;
    if (entries_seen_ > kLevels * kMostResources) {
      return Fail("the resource directories hold more than " +
                  std::to_string(kLevels * kMostResources) + " entries");
    }
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* entry = header + kDirectoryHeaderSize + i * kDirectoryEntrySize;
      const uint32_t key = LoadLittleEndian32(entry);
      const uint32_t target = LoadLittleEndian32(entry + 4);
      if (level == kLevels - 1) {
        if ((key & kHighBit) != 0) return Fail("a resource's language is given as a name");
        if ((target & kHighBit) != 0) {
          return Fail("the resource tree is deeper than type, name and language");
        }
        path->language = key;
        if (!Leaf(target, *path)) return 0;
        continue;
      }
      if ((target & kHighBit) == 0) {
        return Fail("the resource tree ends before it gives a resource's name and language");
      }
      ResourceId id;
      if (!Key(key, &id)) return 0;
      (level == 0 ? path->type : path->name) = id;
      if (!Directory(target & ~kHighBit, level + 1, path)) return 0;
    }
    return 1;
  }

  int Key(uint32_t key, ResourceId* id) {
    if ((key & kHighBit) == 0) {
      *id = ResourceId::Number(key);
      return 1;
    }
    const uint32_t at = key & ~kHighBit;
    if (!Within(at, 2)) return Fail("a resource name lies outside the section");
    const size_t length = LoadLittleEndian16(section_ + at);
    if (length == 0) return Fail("a resource name is empty");
    if (!Within(at + 2, length * 2)) return Fail("a resource name runs past the section");
    id->number = 0;
    id->name.resize(length);
    for (size_t i = 0; i < length; ++i)
      id->name[i] = static_cast<char16_t>(LoadLittleEndian16(section_ + at + 2 + i * 2));
    return 1;
  }

  int Leaf(uint32_t offset, const Resource& path) {
    if (!Within(offset, kDataEntrySize)) {
      return Fail("a resource's data entry lies outside the section");
    }
    if (resources_->size() == kMostResources) {
      return Fail("the section holds more than " + std::to_string(kMostResources) + " resources");
    }
    const uint8_t* entry = section_ + offset;
    const uint32_t address = LoadLittleEndian32(entry);
    const uint32_t size = LoadLittleEndian32(entry + 4);
    // Linkers put the data inside the section; data anywhere else is not ours to move.
    if (address < rva_ || !Within(address - rva_, size)) {
      return Fail("the data of resource " + path.type.Text() + "/" + path.name.Text() +
                  " lies outside the resource section");
    }
    total_bytes_ += size;
    if (total_bytes_ > kMostResourceBytes) return Fail("the resources add up to too many bytes");
    Resource resource = path;
    resource.code_page = LoadLittleEndian32(entry + 8);
    const uint8_t* data = section_ + (address - rva_);
    resource.data.assign(data, data + size);
    if (!seen_.insert(std::make_tuple(resource.type, resource.name, resource.language)).second) {
      return Fail("resource " + resource.type.Text() + "/" + resource.name.Text() +
                  " is given twice");
    }
    resources_->push_back(std::move(resource));
    return 1;
  }

  const uint8_t* section_;
  size_t size_;
  uint32_t rva_;
  std::vector<Resource>* resources_;
  std::string* error_;
  size_t total_bytes_ = 0;
  size_t entries_seen_ = 0;
  std::set<std::tuple<ResourceId, ResourceId, uint32_t>> seen_;
};

size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// The tree of sorted resources, as ranges of the list: each type spans its names, each name
// its languages.
struct Range {
  size_t begin;
  size_t end;
};

// Splits [range) of sorted resources where key changes.
template <typename Key>
std::vector<Range> Split(const std::vector<Resource>& sorted, Range range, Key key) {
  std::vector<Range> parts;
  for (size_t i = range.begin; i < range.end;) {
    size_t j = i + 1;
    while (j < range.end && key(sorted[j]) == key(sorted[i]))
      ++j;
    parts.push_back({i, j});
    i = j;
  }
  return parts;
}

class TreeWriter {
 public:
  TreeWriter(const std::vector<Resource>& resources, uint32_t section_rva)
      : sorted_(resources), rva_(section_rva) {
    std::sort(sorted_.begin(), sorted_.end(), [](const Resource& a, const Resource& b) {
      return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
    });
    types_ = Split(sorted_, {0, sorted_.size()}, [](const Resource& r) { return r.type; });
    for (const Range& type : types_)
      names_.push_back(Split(sorted_, type, [](const Resource& r) { return r.name; }));
  }

  std::vector<uint8_t> Write() {
    LayOut();
    bytes_.assign(size_, 0);
    for (const auto& name : name_at_) {
      StoreLittleEndian16(&bytes_[name.second], static_cast<uint16_t>(name.first.size()));
      for (size_t i = 0; i < name.first.size(); ++i)
        StoreLittleEndian16(&bytes_[name.second + 2 + i * 2], name.first[i]);
    }
    // The root, then every type's directory, then every name's: breadth first, as linkers
    // lay them out.
    size_t type_at = DirectorySize(types_.size());
    size_t name_at = type_at;
    for (const std::vector<Range>& names : names_)
      name_at += DirectorySize(names.size());
    for (size_t t = 0; t < types_.size(); ++t) {
      const std::vector<Range>& names = names_[t];
      Entry(0, KeyOf(sorted_[types_[t].begin].type), type_at | kHighBit);
      for (const Range& name : names) {
        Entry(type_at, KeyOf(sorted_[name.begin].name), name_at | kHighBit);
        for (size_t i = name.begin; i < name.end; ++i) {
          Entry(name_at, sorted_[i].language, data_entries_at_ + i * kDataEntrySize);
          DataEntry(i);
        }
        name_at += DirectorySize(name.end - name.begin);
      }
      type_at += DirectorySize(names.size());
    }
    return bytes_;
  }

 private:
  static size_t DirectorySize(size_t entries) {
    return kDirectoryHeaderSize + entries * kDirectoryEntrySize;
  }

  // Where everything goes: directories, data entries, names, data.
  void LayOut() {
    size_t at = DirectorySize(types_.size());
    for (const std::vector<Range>& names : names_) {
      at += DirectorySize(names.size());
      for (const Range& name : names)
        at += DirectorySize(name.end - name.begin);
    }
    data_entries_at_ = at;
    at += sorted_.size() * kDataEntrySize;
    for (const Resource& resource : sorted_) {
      for (const ResourceId* id : {&resource.type, &resource.name}) {
        if (id->IsName() && name_at_.count(id->name) == 0) {
          name_at_[id->name] = at;
          at += 2 + id->name.size() * 2;
        }
      }
    }
    for (const Resource& resource : sorted_) {
      at = AlignUp(at, kDataAlignment);
      data_at_.push_back(at);
      at += resource.data.size();
    }
    size_ = at;
  }

  uint32_t KeyOf(const ResourceId& id) const {
    return id.IsName() ? static_cast<uint32_t>(name_at_.at(id.name)) | kHighBit : id.number;
  }

  // Adds an entry to the directory at directory_at. Entries come in directory order, so each
  // goes behind those already counted; the counts of named and numbered entries grow with them.
  void Entry(size_t directory_at, uint32_t key, size_t target) {
    uint8_t* header = &bytes_[directory_at];
    const size_t index = size_t{LoadLittleEndian16(header + kNamedCountAt)} +
                         LoadLittleEndian16(header + kNumberedCountAt);
    const size_t count_at = (key & kHighBit) != 0 ? kNamedCountAt : kNumberedCountAt;
    StoreLittleEndian16(header + count_at,
                        static_cast<uint16_t>(LoadLittleEndian16(header + count_at) + 1));
    uint8_t* entry = header + kDirectoryHeaderSize + index * kDirectoryEntrySize;
    StoreLittleEndian32(entry, key);
    StoreLittleEndian32(entry + 4, static_cast<uint32_t>(target));
  }

  void DataEntry(size_t i) {
    const Resource& resource = sorted_[i];
    uint8_t* entry = &bytes_[data_entries_at_ + i * kDataEntrySize];
    StoreLittleEndian32(entry, rva_ + static_cast<uint32_t>(data_at_[i]));
    StoreLittleEndian32(entry + 4, static_cast<uint32_t>(resource.data.size()));
    StoreLittleEndian32(entry + 8, resource.code_page);
    std::copy(resource.data.begin(), resource.data.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(data_at_[i]));
  }

  std::vector<Resource> sorted_;
  uint32_t rva_;
  std::vector<Range> types_;
  std::vector<std::vector<Range>> names_;  // per type
  size_t data_entries_at_ = 0;
  std::map<std::u16string, size_t> name_at_;
  std::vector<size_t> data_at_;  // per resource, in sorted order
  size_t size_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

ResourceId ResourceId::Number(uint32_t number) {
  ResourceId id;
  id.number = number;
  return id;
}

ResourceId ResourceId::Name(const char* ascii) {
  ResourceId id;
  for (const char* c = ascii; *c != '\0'; ++c)
    id.name += static_cast<char16_t>(static_cast<unsigned char>(*c));
  return id;
}

bool ResourceId::IsNamed(const char* ascii) const {
  size_t i = 0;
  for (; ascii[i] != '\0'; ++i) {
    if (i == name.size() || AsciiUpper(name[i]) != AsciiUpper(static_cast<char16_t>(ascii[i]))) {
      return false;
    }
  }
  return i == name.size() && i > 0;
}

std::string ResourceId::Text() const {
  if (!IsName()) return "#" + std::to_string(number);
  std::string text;
  for (char16_t c : name)
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return text;
}

bool operator==(const ResourceId& a, const ResourceId& b) {
  return a.number == b.number && a.name == b.name;
}

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.IsName() != b.IsName()) return a.IsName();
  return a.IsName() ? a.name < b.name : a.number < b.number;
}

int ReadResourceTree(const uint8_t* section, size_t size, uint32_t section_rva,
                     std::vector<Resource>* resources, std::string* error) {
  return TreeReader(section, size, section_rva, resources, error).Read();
}

std::vector<uint8_t> WriteResourceTree(const std::vector<Resource>& resources,
                                       uint32_t section_rva) {
  return TreeWriter(resources, section_rva).Write();
}

}  // namespace pe
