// The resource writer of tovalin build: the tree, icon files and groups, and an image whose
// resource section grows or shrinks while the relocations behind it move. What Windows itself
// reads back from a rewritten launcher is resources_e2e_test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "pe/headers.h"
#include "pe_resources/resource_edit.h"
#include "tests/support/pe_image.h"
#include "tests/support/resource_parts.h"

namespace {

using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;
using Bytes = std::vector<uint8_t>;

using testing_support::BitmapImage;
using testing_support::IcoFile;
using testing_support::LauncherLikeResources;
const auto Res = testing_support::MakeResource;

pe::ResourceId N(uint32_t number) {
  return pe::ResourceId::Number(number);
}

pe::ResourceId S(const char* name) {
  return pe::ResourceId::Name(name);
}

// "type/name/language/size" of each resource.
std::vector<std::string> Keys(const std::vector<pe::Resource>& resources) {
  std::vector<std::string> keys;
  for (const pe::Resource& r : resources) {
    keys.push_back(r.type.Text() + "/" + r.name.Text() + "/" + std::to_string(r.language) + "/" +
                   std::to_string(r.data.size()));
  }
  return keys;
}

TEST(ResourceTree, WritesWhatItReadsInTheOrderTheLoaderSearches) {
  std::vector<pe::Resource> resources = LauncherLikeResources();
  resources.push_back(Res(S("MYDATA"), N(7), 0, Bytes(3, 1)));
  resources.push_back(Res(N(pe::kDialogResource), S("B"), 0x409, Bytes(6, 3)));
  resources.push_back(Res(N(pe::kDialogResource), S("AB"), 0x409, Bytes(5, 2)));
  const Bytes section = pe::WriteResourceTree(resources, 0x2F000);
  std::vector<pe::Resource> read;
  std::string error;
  ASSERT_TRUE(pe::ReadResourceTree(section.data(), section.size(), 0x2F000, &read, &error))
      << error;
  // Names before ordinals at each level; names by code units, shorter first; ordinals rising.
  EXPECT_EQ(Keys(read),
            (std::vector<std::string>{"MYDATA/#7/0/3", "#3/#1/1033/744", "#5/AB/1033/5",
                                      "#5/B/1033/6", "#5/PROMPTDLG/1033/90", "#6/#13/1031/71",
                                      "#6/#13/1033/70", "#14/INSTALL/1033/20"}));
  EXPECT_EQ(read[6].data, Bytes(70, 0x53));
  EXPECT_EQ(LoadLittleEndian32(&section[4]), 0u);  // no time stamp
  std::reverse(resources.begin(), resources.end());
  EXPECT_EQ(pe::WriteResourceTree(resources, 0x2F000), section);  // any order in, same bytes out
  // The data entries hold addresses in memory, which must lie in the section.
  EXPECT_FALSE(pe::ReadResourceTree(section.data(), section.size(), 0x30000, &read, &error));
}

TEST(ResourceTree, RefusesSectionsThatAreNoTree) {
  // Root at 0, type directory at 24, name directory at 48, data entry at 72, data at 88.
  const Bytes good = pe::WriteResourceTree({Res(N(3), N(1), 0x409, Bytes(8, 7))}, 0x1000);
  const struct {
    size_t at;
    uint32_t value;
    const char* error;
  } damages[] = {
      {12, 0xFFFF, "run past the section"},
      {20, 72, "ends before"},
      {20, 0x80001388u, "directory lies outside"},
      {68, 0x80000018u, "deeper than"},
      {64, 0x80000058u, "language is given as a name"},
      {40, 0x80002328u, "name lies outside"},
      {76, 0x10000, "outside the resource section"},
      {68, 9000, "data entry lies outside"},
  };
  for (const auto& damage : damages) {
    Bytes section = good;
    StoreLittleEndian32(&section[damage.at], damage.value);
    std::vector<pe::Resource> read;
    std::string error;
    EXPECT_FALSE(pe::ReadResourceTree(section.data(), section.size(), 0x1000, &read, &error));
    EXPECT_NE(error.find(damage.error), std::string::npos) << damage.at << ": " << error;
  }
  // Directories that point back at each other: 100 types, each with the same 100 names.
  Bytes loop(3 * 16 + 201 * 8 + 20, 0);
  const uint32_t names = 16 + 800;
  const uint32_t languages = names + 16 + 800;
  loop[14] = 100;
  loop[names + 14] = 100;
  loop[languages + 14] = 1;
  for (uint32_t i = 0; i < 100; ++i) {
    StoreLittleEndian32(&loop[16 + i * 8], i);
    StoreLittleEndian32(&loop[20 + i * 8], 0x80000000u | names);
    StoreLittleEndian32(&loop[names + 16 + i * 8], i);
    StoreLittleEndian32(&loop[names + 20 + i * 8], 0x80000000u | languages);
  }
  StoreLittleEndian32(&loop[languages + 20], languages + 24);
  StoreLittleEndian32(&loop[languages + 24], 0x1000 + languages + 40);
  std::vector<pe::Resource> read;
  std::string error;
  EXPECT_FALSE(pe::ReadResourceTree(loop.data(), loop.size(), 0x1000, &read, &error));
  EXPECT_NE(error.find("more than"), std::string::npos) << error;
}

TEST(IconFile, RefusesWhatIsNoIconOrWouldMakeWindowsReadPastAnImage) {
  const Bytes bitmap = BitmapImage(32, 8);
  const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0,
                     13,   'I', 'H', 'D', 'R',  0,    0,    1,    0, 0, 0,
                     1,    0,   8,   6,   0,    0,    0,    0,    0, 0, 0};
  const auto with = [&bitmap](size_t at, uint8_t value) {
    Bytes changed = bitmap;
    changed[at] = value;
    return IcoFile({{32, 8, changed}});
  };
  Bytes cursor = IcoFile({{32, 8, bitmap}});
  cursor[2] = 2;
  Bytes beyond = IcoFile({{32, 8, bitmap}});
  StoreLittleEndian32(&beyond[18], static_cast<uint32_t>(beyond.size()));
  const struct {
    Bytes file;
    const char* error;
  } cases[] = {
      {{'h', 'e', 'l', 'l', 'o', '!', '!'}, "not an icon file"},
      {cursor, "a cursor file"},
      {IcoFile({}), "without images"},
      {Bytes{0, 0, 1, 0, 200, 0, 1}, "cut short"},
      {beyond, "beyond the end"},
      {IcoFile({{48, 8, bitmap}}), "another size"},
      {IcoFile({{32, 8, Bytes(bitmap.begin(), bitmap.end() - 1)}}), "too short"},
      {with(16, 1), "kind icons do not use"},       // compressed
      {with(34, 1), "more palette colours"},        // 65,536 colours of 8 bits
      {with(0, 12), "neither a PNG nor"},           // an old BITMAPCOREHEADER
      {IcoFile({{128, 32, png}}), "another size"},  // the PNG is 256 x 256
      {IcoFile({{0, 32, Bytes(png.begin(), png.begin() + 20)}}), "without its header"},
  };
  for (const auto& c : cases) {
    std::vector<pe::IconImage> images;
    std::string error;
    EXPECT_FALSE(pe::ReadIconFile(c.file.data(), c.file.size(), &images, &error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.error << ": " << error;
  }
  std::vector<pe::IconImage> images;
  std::string error;
  const Bytes file = IcoFile({{16, 0, BitmapImage(16, 4)}, {0, 0, png}});
  ASSERT_TRUE(pe::ReadIconFile(file.data(), file.size(), &images, &error)) << error;
  EXPECT_EQ(images[0].bit_count, 4);  // from the bitmap, where the entry leaves it 0
  EXPECT_EQ(images[1].bit_count, 32);
  EXPECT_TRUE(images[1].png);
}

TEST(IconGroup, ReplacingKeepsNameLanguageAndTheIconsOtherGroupsShare) {
  std::vector<pe::Resource> resources = {
      Res(N(pe::kIconGroupResource), S("Install"), 0x407,
          pe::WriteIconGroup({{32, 32, 16, 1, 4, 50, 1}, {16, 16, 16, 1, 4, 50, 2}})),
      Res(N(pe::kIconGroupResource), S("OTHER"), 0x409,
          pe::WriteIconGroup({{16, 16, 16, 1, 4, 50, 2}, {48, 48, 0, 1, 32, 50, 3}})),
      Res(N(pe::kIconResource), N(1), 0x407, Bytes(50)),
      Res(N(pe::kIconResource), N(2), 0x407, Bytes(50)),
      Res(N(pe::kIconResource), N(3), 0x409, Bytes(50)),
      Res(N(pe::kIconResource), N(4), 0x409, Bytes(50))};
  std::vector<pe::IconImage> images(3);
  for (size_t i = 0; i < images.size(); ++i)
    images[i].data = Bytes(10 + i, static_cast<uint8_t>(i));
  pe::ReplaceIconGroup(&resources, pe::kLauncherIconGroup, images);
  // Icon 1 was the old group's alone; 2 stays for OTHER; the new images take 1, 5 and 6.
  std::vector<std::string> keys = Keys(resources);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"#14/Install/1031/48", "#14/OTHER/1033/34",
                                            "#3/#1/1031/10", "#3/#2/1031/50", "#3/#3/1033/50",
                                            "#3/#4/1033/50", "#3/#5/1031/11", "#3/#6/1031/12"}));
  std::vector<pe::IconGroupEntry> entries;
  std::string error;
  const Bytes& group = resources.back().data;
  ASSERT_TRUE(pe::ReadIconGroup(group.data(), group.size(), &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].id, 1);
  EXPECT_EQ(entries[1].id, 5);
  EXPECT_EQ(entries[2].id, 6);
  EXPECT_EQ(entries[2].size, 12u);
}

// --execution-level on a launcher that has a manifest of its own: the level joins it, and what
// the launcher declares about itself (its DPI awareness) stays; a level given before is replaced.
TEST(Manifest, TheLevelJoinsTheLaunchersOwnManifest) {
  const std::string dpi_aware =
      "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>";
  const std::string launchers =
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><application "
      "xmlns=\"urn:schemas-microsoft-com:asm.v3\"><windowsSettings>" +
      dpi_aware + "</windowsSettings></application></assembly>\n";
  const std::string given_before =
      pe::WriteManifest(pe::ExecutionLevel::kRequireAdministrator, launchers);
  const std::string prefixed =
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\" "
      "xmlns:v3=\"urn:schemas-microsoft-com:asm.v3\"><v3:trustInfo/>" +
      dpi_aware + "</assembly>";
  const struct Case {
    const char* what;
    std::string launcher_manifest;
    bool keeps_dpi_awareness;
  } cases[] = {
      {"no manifest", "", false},
      {"the launcher's own", launchers, true},
      {"a level given before", given_before, true},
      {"a trust section the search cannot place", prefixed, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string m = pe::WriteManifest(pe::ExecutionLevel::kAsInvoker, c.launcher_manifest);
    EXPECT_EQ(pe::ReadRequestedExecutionLevel(m), "asInvoker") << m;
    EXPECT_EQ(m.find("<trustInfo"), m.rfind("<trustInfo")) << "one trust section: " << m;
    EXPECT_EQ(m.find("<assembly"), m.rfind("<assembly")) << m;
    EXPECT_EQ(m.find("requireAdministrator"), std::string::npos) << m;
    EXPECT_EQ(m.find(dpi_aware) != std::string::npos, c.keeps_dpi_awareness) << m;
    // The trust section lies inside the assembly.
    EXPECT_LT(m.find("</trustInfo>"), m.rfind("</assembly>")) << m;
  }

  // In the resources: one manifest afterwards, whatever languages the launcher's came in.
  std::vector<pe::Resource> resources = LauncherLikeResources();
  resources.push_back(
      Res(N(pe::kManifestResource), N(1), 0x407, Bytes(launchers.begin(), launchers.end())));
  resources.push_back(Res(N(pe::kManifestResource), N(1), 0x409, Bytes(3, 'x')));
  pe::ResourceEdits edits;
  edits.set_execution_level = true;
  edits.execution_level = pe::ExecutionLevel::kRequireAdministrator;
  pe::ApplyResourceEdits(edits, &resources);
  std::vector<std::string> manifests;
  for (const pe::Resource& r : resources) {
    if (r.type == N(pe::kManifestResource)) manifests.emplace_back(r.data.begin(), r.data.end());
  }
  ASSERT_EQ(manifests.size(), 1u);
  EXPECT_EQ(manifests[0], given_before);
}

TEST(ImageLayout, ResourcesGrowAndShrinkWhileTheRelocationsMoveBehindThem) {
  const testing_support::TestImage made =
      testing_support::LauncherLikeImage(pe::WriteResourceTree(LauncherLikeResources(), 0x4000));
  for (size_t icon_size : {size_t{9000}, size_t{0x2345}, size_t{12}}) {
    SCOPED_TRACE(icon_size);
    std::vector<pe::Resource> resources = LauncherLikeResources();
    resources[0].data = Bytes(icon_size, 0x77);
    const Bytes tree = pe::WriteResourceTree(resources, 0x4000);
    pe::ImageLayout layout;
    pe::ImageLayout after;
    Bytes out;
    std::string error;
    ASSERT_TRUE(pe::ReadImageLayout(made.bytes.data(), made.bytes.size(), made.bytes.size(),
                                    &layout, &error));
    ASSERT_TRUE(pe::ReplaceResourceSection(made.bytes, layout, tree, &out, &error)) << error;
    ASSERT_TRUE(pe::ReadImageLayout(out.data(), out.size(), out.size(), &after, &error)) << error;
    const pe::Section& rsrc = after.sections[3];
    const pe::Section& reloc = after.sections[4];
    const uint32_t raw = (static_cast<uint32_t>(tree.size()) + 0x1FF) & ~0x1FFu;
    EXPECT_EQ(rsrc.virtual_address, 0x4000u);
    EXPECT_EQ(rsrc.raw_offset, made.offsets[3]);
    EXPECT_EQ(rsrc.virtual_size, tree.size());
    EXPECT_EQ(rsrc.raw_size, raw);
    EXPECT_EQ(reloc.virtual_address, 0x4000u + ((tree.size() + 0xFFF) & ~size_t{0xFFF}));
    EXPECT_EQ(reloc.raw_offset, rsrc.raw_offset + raw);
    EXPECT_EQ(Bytes(out.begin() + reloc.raw_offset, out.begin() + reloc.raw_offset + 12),
              testing_support::LauncherLikeRelocations());
    EXPECT_EQ(out.size(), reloc.raw_offset + 0x200u);
    EXPECT_EQ(after.Directory(pe::kBaseRelocationDirectory).address, reloc.virtual_address);
    EXPECT_EQ(after.Directory(pe::kResourceDirectory).size, tree.size());
    const uint8_t* optional = out.data() + testing_support::kPeImageOptionalAt;
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kSizeOfImageAt), reloc.virtual_address + 0x1000);
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kSizeOfInitializedDataAt), 0x400 + raw);
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kCheckSumAt), 0u);
    // The headers of the sections before the resources and their data stay as they were.
    const auto table = out.begin() + layout.section_table_at;
    const auto old_table = made.bytes.begin() + layout.section_table_at;
    EXPECT_TRUE(std::equal(table, table + 3 * 40, old_table));
    EXPECT_TRUE(std::equal(table + 5 * 40, out.begin() + rsrc.raw_offset, old_table + 5 * 40));
    std::vector<pe::Resource> read;
    ASSERT_TRUE(pe::ReadImageResources(out, after, &read, &error)) << error;
    EXPECT_EQ(read.front().data, resources[0].data);
    // The one reader, fed by bytes that cannot all be read: a file cut short after its headers.
    const Bytes cut(out.begin(), out.begin() + rsrc.raw_offset + 16);
    EXPECT_FALSE(pe::ReadImageResources(cut, after, &read, &error));
    EXPECT_EQ(error, "cannot be read");
  }
}

// The one walk of the headers under the stub's certificate lookup and the tool's image layout.
TEST(PeHeaders, EveryFieldIsCheckedAgainstTheBytesGivenAndTheFile) {
  using testing_support::kPeImageHeaderAt;
  using testing_support::kPeImageOptionalAt;
  using Problem = pe::HeaderProblem;
  const auto put16 = [](size_t at, uint16_t value) {
    return [at, value](Bytes* i) { StoreLittleEndian16(&(*i)[at], value); };
  };
  const auto put32 = [](size_t at, uint32_t value) {
    return [at, value](Bytes* i) { StoreLittleEndian32(&(*i)[at], value); };
  };
  const auto as_made = [](Bytes*) {};
  const size_t optional_size_at = kPeImageHeaderAt + pe::kOptionalHeaderSizeAt;
  const struct {
    const char* what;
    std::function<void(Bytes*)> change;
    uint32_t given;  // bytes handed over from the PE header on; 0 for the rest of the file
    Problem problem;
    uint32_t directories;
  } cases[] = {
      {"as made", as_made, 0, Problem::kNone, 16},
      {"bytes end inside directory 3", as_made, 24 + 96 + 3 * 8 + 4, Problem::kNone, 3},
      {"five counted", put32(kPeImageOptionalAt + pe::kDirectoryCountAt32, 5), 0, Problem::kNone,
       5},
      {"optional header holds two", put16(optional_size_at, 96 + 2 * 8 + 4), 0, Problem::kNone, 2},
      {"64-bit",
       [](Bytes* i) {
         StoreLittleEndian16(&(*i)[kPeImageOptionalAt], pe::kMagic64);
         StoreLittleEndian32(&(*i)[kPeImageOptionalAt + pe::kDirectoryCountAt64], 16);
       },
       0, Problem::kNone, 14},  // 16 counted, but the optional header holds 14
      {"no MZ", [](Bytes* i) { (*i)[1] = 'X'; }, 0, Problem::kNoDosHeader, 0},
      {"PE header too near the end", put32(pe::kPeHeaderOffsetAt, 1024 - 119), 0,
       Problem::kNoPeHeader, 0},
      {"bytes short of the fixed fields", as_made, 119, Problem::kNoPeHeader, 0},
      {"no signature", put32(kPeImageHeaderAt, 0x4551), 0, Problem::kNoPeHeader, 0},
      {"unknown magic", put16(kPeImageOptionalAt, 0x107), 0, Problem::kUnknownMagic, 0},
      {"optional header short of its fields", put16(optional_size_at, 95), 0, Problem::kCutShort,
       0},
      {"optional header past the end", put16(optional_size_at, 0xFFF0), 0, Problem::kCutShort, 0},
      {"sections past the end", put16(kPeImageHeaderAt + pe::kSectionCountAt, 18), 0,
       Problem::kCutShort, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = testing_support::MinimalPeImage();
    testing_support::SetPeDirectory(&image, pe::kResourceDirectory, 0x3000, 0x40);
    c.change(&image);
    const auto size = static_cast<uint32_t>(image.size());
    uint32_t at = 0;
    pe::PeHeaders headers{};
    pe::HeaderProblem problem = pe::FindPeHeader(image.data(), size, size, &at);
    if (problem == Problem::kNone) {
      problem = pe::ReadPeHeaders(image.data() + at, c.given != 0 ? c.given : size - at, at, size,
                                  &headers);
    }
    ASSERT_EQ(problem, c.problem);
    if (problem != Problem::kNone) continue;
    EXPECT_EQ(headers.directory_count, c.directories);
    EXPECT_EQ(headers.section_table_at,
              kPeImageOptionalAt + endian::LoadLittleEndian16(&image[optional_size_at]));
    EXPECT_EQ(pe::DirectoryOf(headers, c.directories).size, 0u);  // past the count: empty
    const bool wide = endian::LoadLittleEndian16(&image[kPeImageOptionalAt]) == pe::kMagic64;
    if (c.directories > pe::kResourceDirectory && !wide) {
      EXPECT_EQ(pe::DirectoryOf(headers, pe::kResourceDirectory).address, 0x3000u);
    }
  }
}

TEST(ImageLayout, RefusesImagesWhoseResourcesCannotBeRewritten) {
  using testing_support::SetPeDirectory;
  const testing_support::TestImage made =
      testing_support::LauncherLikeImage(pe::WriteResourceTree(LauncherLikeResources(), 0x4000));
  const auto set = [](size_t at, uint32_t value) {
    return [at, value](Bytes* i) { StoreLittleEndian32(&(*i)[at], value); };
  };
  const size_t reloc_header = testing_support::kPeImageOptionalAt + 224 + 4 * 40;
  const struct {
    std::function<void(Bytes*)> damage;
    const char* error;
  } damages[] = {
      {[](Bytes* i) { SetPeDirectory(i, pe::kResourceDirectory, 0, 0); }, "no resources"},
      {[](Bytes* i) { SetPeDirectory(i, pe::kResourceDirectory, 0x4010, 40); },
       "do not start a section"},
      {[](Bytes* i) { SetPeDirectory(i, pe::kCertificateDirectory, 0x600, 8); },
       "certificate table"},
      {set(testing_support::kPeImageHeaderAt + pe::kPointerToSymbolTableAt, 9), "symbol table"},
      {[](Bytes* i) { SetPeDirectory(i, 1, 0x4008, 40); }, "directory 1 lies in or behind"},
      {set(made.offsets[4], 0x4000), "patches the resources"},
      {[](Bytes* i) { SetPeDirectory(i, pe::kBaseRelocationDirectory, 0, 0); }, "cannot move"},
      {[](Bytes* i) { (*i)[0] = 'Z'; }, "no MZ header"},
      {set(testing_support::kPeImageHeaderAt + pe::kSectionCountAt, 0x1234), "cut short"},
      {set(testing_support::kPeImageOptionalAt + pe::kFileAlignmentAt, 0x300), "powers of two"},
      {set(reloc_header + pe::kSectionRawSizeAt, 0x10000), "past the end of the file"},
      {set(reloc_header + pe::kSectionVirtualAddressAt, 0x3000), "overlaps"},
  };
  for (const auto& damage : damages) {
    Bytes image = made.bytes;
    damage.damage(&image);
    pe::ResourceEdits edits;
    edits.set_execution_level = true;
    Bytes out;
    std::string error;
    EXPECT_FALSE(pe::EditImageResources(image, edits, &out, &error)) << damage.error;
    EXPECT_NE(error.find(damage.error), std::string::npos) << damage.error << ": " << error;
  }
}

}  // namespace
