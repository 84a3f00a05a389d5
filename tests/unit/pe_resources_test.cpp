// The resource writer of tovalin build: the resource tree, icon files and groups, version
// information, the manifest, and an image whose resource section grows or shrinks while the
// relocations behind it move. The same tests run on the host and under Wine; what Windows itself
// reads back from a rewritten launcher is the end-to-end tests' (resources_e2e_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "pe/resource_edit.h"
#include "tests/support/pe_image.h"

namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;
using Bytes = std::vector<uint8_t>;

pe::Resource Res(pe::ResourceId type, pe::ResourceId name, uint32_t language, Bytes data) {
  pe::Resource resource;
  resource.type = type;
  resource.name = name;
  resource.language = language;
  resource.code_page = 0;
  resource.data = data;
  return resource;
}

pe::ResourceId N(uint32_t number) {
  return pe::ResourceId::Number(number);
}

pe::ResourceId S(const char* name) {
  return pe::ResourceId::Name(name);
}

std::string Key(const pe::Resource& r) {
  return r.type.Text() + "/" + r.name.Text() + "/" + std::to_string(r.language) + "/" +
         std::to_string(r.data.size());
}

std::vector<std::string> Keys(const std::vector<pe::Resource>& resources) {
  std::vector<std::string> keys;
  for (const pe::Resource& r : resources)
    keys.push_back(Key(r));
  return keys;
}

// A bitmap icon image: BITMAPINFOHEADER, palette, rows of one colour index or value, mask.
Bytes BitmapImage(uint32_t width, uint32_t height, uint16_t bit_count, uint8_t fill) {
  const uint32_t palette = bit_count <= 8 ? 1u << bit_count : 0;
  const uint32_t colour_row = (width * bit_count + 31) / 32 * 4;
  const uint32_t mask_row = (width + 31) / 32 * 4;
  Bytes image(40 + 4 * palette + height * (colour_row + mask_row), fill);
  std::fill(image.begin(), image.begin() + 40, 0);
  StoreLittleEndian32(&image[0], 40);
  StoreLittleEndian32(&image[4], width);
  StoreLittleEndian32(&image[8], 2 * height);
  StoreLittleEndian16(&image[12], 1);
  StoreLittleEndian16(&image[14], bit_count);
  return image;
}

// The start of a PNG file: signature and IHDR chunk (the reader looks no further).
Bytes PngImage(uint32_t width, uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      png.push_back(static_cast<uint8_t>(value >> shift));
  }
  png.resize(png.size() + 5 + 4 + 40, 0);  // depth, colour type ..., CRC, some data
  return png;
}

struct IcoImage {
  uint8_t width, height;
  uint16_t planes, bit_count;
  Bytes data;
};

Bytes IcoFile(const std::vector<IcoImage>& images) {
  Bytes file(6 + 16 * images.size(), 0);
  StoreLittleEndian16(&file[2], 1);
  StoreLittleEndian16(&file[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    uint8_t* entry = &file[6 + 16 * i];
    entry[0] = images[i].width;
    entry[1] = images[i].height;
    StoreLittleEndian16(entry + 4, images[i].planes);
    StoreLittleEndian16(entry + 6, images[i].bit_count);
    StoreLittleEndian32(entry + 8, static_cast<uint32_t>(images[i].data.size()));
    StoreLittleEndian32(entry + 12, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), images[i].data.begin(), images[i].data.end());
  }
  return file;
}

// A launcher's resources in small: the dialog, a string block in two languages, the icon.
std::vector<pe::Resource> LauncherLikeResources() {
  pe::IconGroupEntry entry{32, 32, 16, 1, 4, 744, 1};
  return {Res(N(pe::kIconResource), N(1), 0x409, BitmapImage(32, 32, 4, 0x11)),
          Res(N(pe::kDialogResource), S("PROMPTDLG"), 0x409, Bytes(90, 0xD1)),
          Res(N(pe::kStringResource), N(13), 0x409, Bytes(70, 0x53)),
          Res(N(pe::kStringResource), N(13), 0x407, Bytes(71, 0x54)),
          Res(N(pe::kIconGroupResource), S("INSTALL"), 0x409, pe::WriteIconGroup({entry}))};
}

// ---- The tree --------------------------------------------------------------------------------

TEST(ResourceTree, WritesWhatItReadsInTheOrderTheLoaderSearches) {
  std::vector<pe::Resource> resources = LauncherLikeResources();
  resources.push_back(Res(S("MYDATA"), N(7), 0, Bytes(3, 1)));
  resources.push_back(Res(N(pe::kDialogResource), S("AB"), 0x409, Bytes(5, 2)));
  resources.push_back(Res(N(pe::kDialogResource), S("B"), 0x409, Bytes(6, 3)));
  resources.push_back(Res(N(pe::kIconResource), N(300), 0x409, Bytes()));
  const uint32_t rva = 0x2F000;
  const Bytes section = pe::WriteResourceTree(resources, rva);

  std::vector<pe::Resource> read;
  std::string error;
  ASSERT_TRUE(pe::ReadResourceTree(section.data(), section.size(), rva, &read, &error)) << error;
  // Names before ordinals at each level; names by code units, shorter first; ordinals rising.
  EXPECT_EQ(Keys(read),
            (std::vector<std::string>{"MYDATA/#7/0/3", "#3/#1/1033/744", "#3/#300/1033/0",
                                      "#5/AB/1033/5", "#5/B/1033/6", "#5/PROMPTDLG/1033/90",
                                      "#6/#13/1031/71", "#6/#13/1033/70", "#14/INSTALL/1033/20"}));
  for (size_t i = 0; i < read.size(); ++i) {
    auto same = std::find_if(resources.begin(), resources.end(),
                             [&](const pe::Resource& r) { return Key(r) == Key(read[i]); });
    ASSERT_NE(same, resources.end());
    EXPECT_EQ(same->data, read[i].data) << Key(read[i]);
  }
  // The root counts one named and four numbered types and carries no time stamp.
  EXPECT_EQ(LoadLittleEndian32(&section[4]), 0u);
  EXPECT_EQ(LoadLittleEndian16(&section[12]), 1);
  EXPECT_EQ(LoadLittleEndian16(&section[14]), 4);
  // Any order in, the same bytes out.
  std::reverse(resources.begin(), resources.end());
  EXPECT_EQ(pe::WriteResourceTree(resources, rva), section);
  // Data entries point into the section at its address, each 8-byte aligned.
  std::vector<pe::Resource> moved;
  EXPECT_FALSE(pe::ReadResourceTree(section.data(), section.size(), rva + 0x1000, &moved, &error));
  EXPECT_NE(error.find("outside the resource section"), std::string::npos) << error;
}

TEST(ResourceTree, RefusesSectionsThatAreNoTree) {
  // One type, one name, one language: root at 0, type directory at 24, name directory at 48,
  // the data entry at 72, the data at 88.
  const Bytes good =
      pe::WriteResourceTree({Res(N(pe::kIconResource), N(1), 0x409, Bytes(8, 7))}, 0x1000);
  ASSERT_EQ(LoadLittleEndian32(&good[72]), 0x1000u + 88);
  const struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
    const char* error;
  } damages[] = {
      {"root counts too many", 12, 0xFFFF, "run past the section"},
      {"type entry names a data entry", 20, 72, "ends before"},
      {"type directory outside", 20, 0x80000000u | 5000, "directory lies outside"},
      {"language entry names a directory", 68, 0x80000000u | 24, "deeper than"},
      {"language given as a name", 64, 0x80000000u | 88, "language is given as a name"},
      {"name points outside", 40, 0x80000000u | 9000, "name lies outside"},
      {"data before the section", 72, 0x800, "outside the resource section"},
      {"data past the section", 76, 0x10000, "outside the resource section"},
      {"data entry outside", 68, 9000, "data entry lies outside"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Bytes section = good;
    if (damage.at == 12) {
      StoreLittleEndian16(&section[damage.at], static_cast<uint16_t>(damage.value));
    } else {
      StoreLittleEndian32(&section[damage.at], damage.value);
    }
    std::vector<pe::Resource> read;
    std::string error;
    EXPECT_FALSE(pe::ReadResourceTree(section.data(), section.size(), 0x1000, &read, &error));
    EXPECT_NE(error.find(damage.error), std::string::npos) << error;
  }

  // The same language twice under one name.
  Bytes twice = pe::WriteResourceTree(
      {Res(N(3), N(1), 0x409, Bytes(4, 1)), Res(N(3), N(1), 0x40A, Bytes(4, 2))}, 0x1000);
  StoreLittleEndian32(&twice[72], 0x409);
  // Directories that point back at each other: 100 types, each with the same 100 names.
  Bytes loop(16 + 100 * 8 + 16 + 100 * 8 + 16 + 8 + 16 + 4, 0);
  const uint32_t names_at = 16 + 100 * 8;
  const uint32_t languages_at = names_at + 16 + 100 * 8;
  const uint32_t data_at = languages_at + 16 + 8;
  StoreLittleEndian16(&loop[14], 100);
  StoreLittleEndian16(&loop[names_at + 14], 100);
  StoreLittleEndian16(&loop[languages_at + 14], 1);
  for (uint32_t i = 0; i < 100; ++i) {
    StoreLittleEndian32(&loop[16 + i * 8], i + 1);
    StoreLittleEndian32(&loop[16 + i * 8 + 4], 0x80000000u | names_at);
    StoreLittleEndian32(&loop[names_at + 16 + i * 8], i + 1);
    StoreLittleEndian32(&loop[names_at + 16 + i * 8 + 4], 0x80000000u | languages_at);
  }
  StoreLittleEndian32(&loop[languages_at + 16 + 4], data_at);
  StoreLittleEndian32(&loop[data_at], 0x1000 + data_at + 16);
  for (const auto& bad :
       {std::make_pair(twice, "given twice"), std::make_pair(loop, "more than")}) {
    std::vector<pe::Resource> read;
    std::string error;
    EXPECT_FALSE(pe::ReadResourceTree(bad.first.data(), bad.first.size(), 0x1000, &read, &error));
    EXPECT_NE(error.find(bad.second), std::string::npos) << error;
  }
}

// ---- Icons -----------------------------------------------------------------------------------

TEST(IconFile, ReadsBitmapsAndPngsAndFillsInWhatEntriesLeaveOut) {
  const Bytes file = IcoFile({{16, 16, 0, 0, BitmapImage(16, 16, 4, 0x22)},
                              {32, 32, 1, 32, BitmapImage(32, 32, 32, 0x33)},
                              {0, 0, 0, 0, PngImage(256, 256)}});
  std::vector<pe::IconImage> images;
  std::string error;
  ASSERT_TRUE(pe::ReadIconFile(file.data(), file.size(), &images, &error)) << error;
  ASSERT_EQ(images.size(), 3u);
  const struct {
    uint32_t pixels;
    uint16_t planes, bit_count;
    bool png;
  } expected[] = {{16, 1, 4, false}, {32, 1, 32, false}, {256, 1, 32, true}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(pe::IconPixels(images[i].width), expected[i].pixels);
    EXPECT_EQ(images[i].planes, expected[i].planes);
    EXPECT_EQ(images[i].bit_count, expected[i].bit_count);
    EXPECT_EQ(images[i].png, expected[i].png);
  }
  EXPECT_EQ(images[1].data, BitmapImage(32, 32, 32, 0x33));
}

TEST(IconFile, RefusesWhatIsNoIconOrWouldMakeWindowsReadPastAnImage) {
  const Bytes bitmap = BitmapImage(32, 32, 8, 0x44);
  Bytes cursor = IcoFile({{32, 32, 1, 8, bitmap}});
  cursor[2] = 2;
  Bytes cut_list = IcoFile({{32, 32, 1, 8, bitmap}});
  cut_list[4] = 200;
  Bytes beyond = IcoFile({{32, 32, 1, 8, bitmap}});
  StoreLittleEndian32(&beyond[6 + 12], static_cast<uint32_t>(beyond.size()));
  Bytes compressed = bitmap;
  compressed[16] = 1;
  const Bytes png = PngImage(256, 256);
  Bytes few_colours = bitmap;
  StoreLittleEndian32(&few_colours[32], 257);
  const struct {
    const char* what;
    Bytes file;
    const char* error;
  } cases[] = {
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', '!', '!'}, "not an icon file"},
      {"cursor", cursor, "a cursor file"},
      {"no images", IcoFile({}), "without images"},
      {"list cut short", cut_list, "cut short"},
      {"image beyond the end", beyond, "beyond the end"},
      {"bitmap of another size", IcoFile({{48, 48, 1, 8, bitmap}}), "another size"},
      {"bitmap too short", IcoFile({{32, 32, 1, 8, Bytes(bitmap.begin(), bitmap.end() - 1)}}),
       "too short"},
      {"compressed bitmap", IcoFile({{32, 32, 1, 8, compressed}}), "kind icons do not use"},
      {"palette too large", IcoFile({{32, 32, 1, 8, few_colours}}), "more palette colours"},
      {"neither", IcoFile({{32, 32, 1, 8, Bytes(200, 0)}}), "neither a PNG nor"},
      {"PNG of another size", IcoFile({{0, 0, 1, 32, PngImage(128, 128)}}), "another size"},
      {"PNG cut short", IcoFile({{0, 0, 1, 32, Bytes(png.begin(), png.begin() + 20)}}),
       "without its header"},
  };
  for (const auto& c : cases) {
    std::vector<pe::IconImage> images;
    std::string error;
    EXPECT_FALSE(pe::ReadIconFile(c.file.data(), c.file.size(), &images, &error)) << c.what;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST(IconGroup, ReplacingKeepsNameLanguageAndTheIconsOtherGroupsShare) {
  const Bytes old_icon(50, 0x0F);
  std::vector<pe::Resource> resources = {
      Res(N(pe::kIconGroupResource), S("Install"), 0x407,
          pe::WriteIconGroup({{32, 32, 16, 1, 4, 50, 1}, {16, 16, 16, 1, 4, 50, 2}})),
      Res(N(pe::kIconGroupResource), S("OTHER"), 0x409,
          pe::WriteIconGroup({{16, 16, 16, 1, 4, 50, 2}, {48, 48, 0, 1, 32, 50, 3}})),
      Res(N(pe::kIconResource), N(1), 0x407, old_icon),
      Res(N(pe::kIconResource), N(2), 0x407, old_icon),
      Res(N(pe::kIconResource), N(3), 0x409, old_icon),
      Res(N(pe::kIconResource), N(4), 0x409, old_icon),
      Res(N(pe::kDialogResource), S("PROMPTDLG"), 0x409, Bytes(9, 9)),
  };
  std::vector<pe::IconImage> images(3);
  for (size_t i = 0; i < images.size(); ++i) {
    images[i].width = images[i].height = static_cast<uint8_t>(16 * (i + 1));
    images[i].planes = 1;
    images[i].bit_count = 32;
    images[i].data = Bytes(10 + i, static_cast<uint8_t>(i));
  }
  pe::ReplaceIconGroup(&resources, pe::kLauncherIconGroup, images);

  // Icon 1 was the old group's alone; 2 stays for OTHER; the new images take 1, 5 and 6.
  std::vector<std::string> keys = Keys(resources);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys,
            (std::vector<std::string>{"#14/Install/1031/48", "#14/OTHER/1033/34", "#3/#1/1031/10",
                                      "#3/#2/1031/50", "#3/#3/1033/50", "#3/#4/1033/50",
                                      "#3/#5/1031/11", "#3/#6/1031/12", "#5/PROMPTDLG/1033/9"}));
  const pe::Resource& group = resources.back();
  std::vector<pe::IconGroupEntry> entries;
  std::string error;
  ASSERT_TRUE(pe::ReadIconGroup(group.data.data(), group.data.size(), &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  const uint16_t ids[] = {1, 5, 6};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[i].id, ids[i]);
    EXPECT_EQ(entries[i].width, 16 * (i + 1));
    EXPECT_EQ(entries[i].size, 10 + i);
  }
}

// ---- Version information and manifest --------------------------------------------------------

TEST(VersionInfo, NumbersAreTheOnesAVersionTextStartsWith) {
  const struct {
    const char* text;
    const char* number;  // nullptr: refused
  } cases[] = {
      {"1", "1.0.0.0"},           {"2.1", "2.1.0.0"},
      {"2.1.0.7", "2.1.0.7"},     {"3.4 beta", "3.4.0.0"},
      {"5.6.7.8.9", "5.6.7.8"},   {"1.2.", "1.2.0.0"},
      {"65535.0", "65535.0.0.0"}, {"65536", nullptr},
      {"v1.2", nullptr},          {"", nullptr},
      {"1.70000", nullptr},
  };
  for (const auto& c : cases) {
    pe::VersionNumber number;
    std::string error;
    const int parsed = pe::ParseVersionNumber(c.text, &number, &error);
    EXPECT_EQ(parsed != 0, c.number != nullptr) << c.text << ": " << error;
    if (c.number != nullptr) {
      EXPECT_EQ(number.Text(), c.number) << c.text;
    }
  }
}

TEST(VersionInfo, ReadsBackWhatItWritesAndNestsBlocksOnFourBytes) {
  pe::VersionInfo info;
  std::string error;
  ASSERT_TRUE(pe::ParseVersionNumber("2.1.0.7", &info.file_version, &error));
  ASSERT_TRUE(pe::ParseVersionNumber("2.1", &info.product_version, &error));
  info.strings = {{u"ProductName", u"Example"},
                  {u"CompanyName", u"\u00a9 Ex"},
                  {u"Comments", u""},
                  {u"FileVersion", u"2.1.0.7"}};
  const Bytes bytes = pe::WriteVersionInfo(info);
  EXPECT_EQ(LoadLittleEndian16(&bytes[0]), bytes.size());
  EXPECT_EQ(LoadLittleEndian16(&bytes[2]), 52);                // the fixed part's size
  EXPECT_EQ(LoadLittleEndian32(&bytes[40]), 0xFEEF04BDu);      // after key and padding
  EXPECT_EQ(LoadLittleEndian32(&bytes[48]), (2u << 16) | 1u);  // file version, high
  EXPECT_EQ(LoadLittleEndian32(&bytes[52]), 7u);               // file version, low
  pe::VersionInfo read;
  ASSERT_TRUE(pe::ReadVersionInfo(bytes.data(), bytes.size(), &read, &error)) << error;
  EXPECT_EQ(read.file_version, info.file_version);
  EXPECT_EQ(read.product_version, info.product_version);
  EXPECT_EQ(read.strings, info.strings);
  for (size_t cut : {size_t{5}, size_t{60}, bytes.size() - 3}) {
    Bytes short_bytes(bytes.begin(), bytes.begin() + cut);
    EXPECT_FALSE(pe::ReadVersionInfo(short_bytes.data(), short_bytes.size(), &read, &error)) << cut;
  }
}

TEST(Manifest, TheRequestedLevelReadsBack) {
  for (pe::ExecutionLevel level :
       {pe::ExecutionLevel::kAsInvoker, pe::ExecutionLevel::kHighestAvailable,
        pe::ExecutionLevel::kRequireAdministrator}) {
    pe::ExecutionLevel parsed = pe::ExecutionLevel::kAsInvoker;
    EXPECT_TRUE(pe::ParseExecutionLevel(pe::ExecutionLevelName(level), &parsed));
    EXPECT_EQ(parsed, level);
    EXPECT_EQ(pe::ReadRequestedExecutionLevel(pe::WriteManifest(level)),
              pe::ExecutionLevelName(level));
  }
  pe::ExecutionLevel parsed;
  EXPECT_FALSE(pe::ParseExecutionLevel("requireadministrator", &parsed));
  const struct {
    const char* manifest;
    const char* level;
  } others[] = {
      {"<asmv3:requestedExecutionLevel uiAccess='false' level = 'highestAvailable'/>",
       "highestAvailable"},
      {"<requestedExecutionLevels level=\"x\"/><requestedExecutionLevel\nlevel=\"asInvoker\">",
       "asInvoker"},
      {"<assembly><dpiAware>true</dpiAware></assembly>", ""},
      {"<requestedExecutionLevel uiAccess=\"false\"/> level=\"late\"", ""},
      {"<requestedExecutionLevel level=\"open", ""},
  };
  for (const auto& other : others)
    EXPECT_EQ(pe::ReadRequestedExecutionLevel(other.manifest), other.level) << other.manifest;
}

// ---- The image -------------------------------------------------------------------------------

struct LauncherLikeImage {
  testing_support::TestImage image;
  Bytes relocations = testing_support::LauncherLikeRelocations();
};

LauncherLikeImage MakeImage(const std::vector<pe::Resource>& resources) {
  LauncherLikeImage made;
  made.image = testing_support::LauncherLikeImage(
      pe::WriteResourceTree(resources, testing_support::kLauncherLikeResourcesAt));
  return made;
}

TEST(ImageLayout, ResourcesGrowAndShrinkWhileTheRelocationsMoveBehindThem) {
  const LauncherLikeImage made = MakeImage(LauncherLikeResources());
  ASSERT_EQ(made.image.addresses[3], 0x4000u);
  for (size_t icon_size : {size_t{9000}, size_t{0x2345}, size_t{12}}) {
    SCOPED_TRACE(icon_size);
    std::vector<pe::Resource> resources = LauncherLikeResources();
    resources[0].data = Bytes(icon_size, 0x77);
    const Bytes tree = pe::WriteResourceTree(resources, 0x4000);
    pe::ImageLayout layout;
    std::string error;
    ASSERT_TRUE(pe::ReadImageLayout(made.image.bytes.data(), made.image.bytes.size(),
                                    made.image.bytes.size(), &layout, &error))
        << error;
    Bytes out;
    ASSERT_TRUE(pe::ReplaceResourceSection(made.image.bytes, layout, tree, &out, &error)) << error;

    pe::ImageLayout after;
    ASSERT_TRUE(pe::ReadImageLayout(out.data(), out.size(), out.size(), &after, &error)) << error;
    const pe::Section& rsrc = after.sections[3];
    const pe::Section& reloc = after.sections[4];
    const uint32_t raw = (static_cast<uint32_t>(tree.size()) + 0x1FF) & ~0x1FFu;
    EXPECT_EQ(rsrc.virtual_address, 0x4000u);
    EXPECT_EQ(rsrc.raw_offset, made.image.offsets[3]);
    EXPECT_EQ(rsrc.virtual_size, tree.size());
    EXPECT_EQ(rsrc.raw_size, raw);
    EXPECT_EQ(reloc.virtual_address, 0x4000u + ((tree.size() + 0xFFF) & ~size_t{0xFFF}));
    EXPECT_EQ(reloc.raw_offset, rsrc.raw_offset + raw);
    EXPECT_EQ(Bytes(out.begin() + reloc.raw_offset, out.begin() + reloc.raw_offset + 12),
              made.relocations);
    EXPECT_EQ(out.size(), reloc.raw_offset + 0x200u);
    EXPECT_EQ(after.Directory(pe::kBaseRelocationDirectory).address, reloc.virtual_address);
    EXPECT_EQ(after.Directory(pe::kBaseRelocationDirectory).size, 12u);
    EXPECT_EQ(after.Directory(pe::kResourceDirectory).size, tree.size());
    const uint8_t* optional = out.data() + testing_support::kPeImageOptionalAt;
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kSizeOfImageAt), reloc.virtual_address + 0x1000);
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kSizeOfInitializedDataAt),
              0x200 + raw + 0x200);  // .data, .rsrc, .reloc
    EXPECT_EQ(LoadLittleEndian32(optional + pe::kCheckSumAt), 0u);
    // The headers of the sections before the resources and their data stay as they were.
    const auto table = out.begin() + layout.section_table_at;
    const auto old_table = made.image.bytes.begin() + layout.section_table_at;
    EXPECT_TRUE(std::equal(table, table + 3 * pe::kSectionHeaderSize, old_table));
    EXPECT_TRUE(std::equal(table + 5 * pe::kSectionHeaderSize, out.begin() + rsrc.raw_offset,
                           old_table + 5 * pe::kSectionHeaderSize));
    std::vector<pe::Resource> read;
    std::vector<pe::Resource> written;
    ASSERT_TRUE(pe::ReadImageResources(out, after, &read, &error)) << error;
    ASSERT_TRUE(pe::ReadResourceTree(tree.data(), tree.size(), 0x4000, &written, &error));
    EXPECT_EQ(Keys(read), Keys(written));
    EXPECT_EQ(read.front().data, resources[0].data);
  }
}

TEST(ImageLayout, RefusesImagesWhoseResourcesCannotBeRewritten) {
  const LauncherLikeImage made = MakeImage(LauncherLikeResources());
  using testing_support::SetPeDirectory;
  const auto at = [](Bytes* image, size_t offset, uint32_t value) {
    StoreLittleEndian32(&(*image)[offset], value);
  };
  constexpr size_t kOptional = testing_support::kPeImageOptionalAt;
  constexpr size_t kRelocHeader = kOptional + 224 + 4 * pe::kSectionHeaderSize;
  const uint32_t reloc_data = made.image.offsets[4];
  const struct Damage {
    const char* what;
    std::function<void(Bytes*)> damage;
    const char* error;
  } damages[] = {
      {"no resources", [](Bytes* i) { SetPeDirectory(i, pe::kResourceDirectory, 0, 0); },
       "no resources"},
      {"resources inside a section",
       [](Bytes* i) { SetPeDirectory(i, pe::kResourceDirectory, 0x4010, 40); },
       "do not start a section"},
      {"signed", [](Bytes* i) { SetPeDirectory(i, pe::kCertificateDirectory, 0x600, 8); },
       "signed"},
      {"symbol table",
       [&](Bytes* i) { at(i, testing_support::kPeImageHeaderAt + pe::kPointerToSymbolTableAt, 9); },
       "symbol table"},
      {"imports in the resources", [](Bytes* i) { SetPeDirectory(i, 1, 0x4008, 40); },
       "directory 1"},
      {"a relocation into the resources", [&](Bytes* i) { at(i, reloc_data, 0x4000); },
       "patches the resources"},
      {"data behind the resources",
       [](Bytes* i) { SetPeDirectory(i, pe::kBaseRelocationDirectory, 0, 0); }, "cannot move"},
      {"not a PE", [](Bytes* i) { (*i)[0] = 'Z'; }, "no MZ header"},
      {"file alignment not a power of two",
       [&](Bytes* i) { at(i, kOptional + pe::kFileAlignmentAt, 0x300); }, "powers of two"},
      {"a section past the file",
       [&](Bytes* i) { at(i, kRelocHeader + pe::kSectionRawSizeAt, 0x10000); },
       "past the end of the file"},
      {"sections out of order",
       [&](Bytes* i) { at(i, kRelocHeader + pe::kSectionVirtualAddressAt, 0x3000); }, "overlaps"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    Bytes image = made.image.bytes;
    damage.damage(&image);
    pe::ResourceEdits edits;
    edits.set_execution_level = true;
    Bytes out;
    std::string error;
    EXPECT_FALSE(pe::EditImageResources(image, edits, &out, &error));
    EXPECT_NE(error.find(damage.error), std::string::npos) << error;
  }
}

TEST(ImageLayout, EditsKeepEverythingElseAndGiveTheSameBytesEachTime) {
  const LauncherLikeImage made = MakeImage(LauncherLikeResources());
  pe::ResourceEdits edits;
  const Bytes ico = IcoFile({{16, 16, 1, 32, BitmapImage(16, 16, 32, 0x66)},
                             {32, 32, 1, 32, BitmapImage(32, 32, 32, 0x67)}});
  std::string error;
  ASSERT_TRUE(pe::ReadIconFile(ico.data(), ico.size(), &edits.icon, &error)) << error;
  edits.set_version = true;
  edits.version.strings = {{u"ProductName", u"Example"}};
  edits.set_execution_level = true;
  edits.execution_level = pe::ExecutionLevel::kHighestAvailable;
  Bytes first;
  Bytes second;
  ASSERT_TRUE(pe::EditImageResources(made.image.bytes, edits, &first, &error)) << error;
  ASSERT_TRUE(pe::EditImageResources(made.image.bytes, edits, &second, &error)) << error;
  EXPECT_EQ(first, second);
  pe::ImageLayout layout;
  std::vector<pe::Resource> read;
  ASSERT_TRUE(pe::ReadImageLayout(first.data(), first.size(), first.size(), &layout, &error));
  ASSERT_TRUE(pe::ReadImageResources(first, layout, &read, &error)) << error;
  EXPECT_EQ(
      Keys(read),
      (std::vector<std::string>{
          "#3/#1/1033/1128", "#3/#2/1033/4264", "#5/PROMPTDLG/1033/90", "#6/#13/1031/71",
          "#6/#13/1033/70", "#14/INSTALL/1033/34",
          "#16/#1/1033/" + std::to_string(pe::WriteVersionInfo(edits.version).size()),
          "#24/#1/1033/" +
              std::to_string(pe::WriteManifest(pe::ExecutionLevel::kHighestAvailable).size())}));
  EXPECT_EQ(read[2].data, Bytes(90, 0xD1));  // the dialog, untouched
}

}  // namespace
