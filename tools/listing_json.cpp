// tovalin list --json: the same facts as the text listing, as one JSON document. Names are written
// byte for byte (json_writer.h); resource texts, which are UTF-16, as their characters.
#include <cstdio>
#include <string>

#include "tools/display.h"
#include "tools/json_writer.h"
#include "tools/listing.h"
#include "tools/utf16_text.h"

namespace tool {
namespace {

void WriteDateTime(JsonWriter& json, uint32_t dos_date, uint32_t dos_time) {
  json.Key("date");
  json.String(FormatDosDate(dos_date));
  json.Key("time");
  json.String(FormatDosTime(dos_time));
}

void WriteResourcesJson(JsonWriter& json, const ResourceView& view) {
  json.Key("resources");
  json.BeginObject();
  json.Key("icon_groups");
  json.BeginArray();
  for (const IconGroupView& group : view.icon_groups) {
    json.BeginObject();
    json.Key("name");
    json.Utf16String(group.name.IsName() ? group.name.name : u"");
    json.Key("images");
    json.BeginArray();
    for (const IconImageView& image : group.images) {
      json.BeginObject();
      json.Key("width");
      json.Number(pe::IconPixels(image.entry.width));
      json.Key("height");
      json.Number(pe::IconPixels(image.entry.height));
      json.Key("bit_count");
      json.Number(image.entry.bit_count);
      json.Key("png");
      json.Bool(image.png);
      json.Key("size");
      json.Number(image.entry.size);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  if (view.has_version) {
    json.Key("version");
    json.BeginObject();
    json.Key("file_version");
    json.String(view.version.file_version.Text());
    json.Key("product_version");
    json.String(view.version.product_version.Text());
    json.Key("strings");
    json.BeginObject();
    for (const auto& string : view.version.strings) {
      json.Key(Utf16ToUtf8(string.first));
      json.Utf16String(string.second);
    }
    json.EndObject();
    json.EndObject();
  }
  json.Key("manifest");
  json.Bool(view.has_manifest);
  if (!view.execution_level.empty()) {
    json.Key("execution_level");
    json.String(view.execution_level);
  }
  json.Key("all");
  json.BeginArray();
  for (const pe::Resource& resource : view.resources) {
    json.BeginObject();
    json.Key("type");
    json.String(ResourceTypeName(resource.type));
    json.Key("name");
    json.String(resource.name.Text());
    json.Key("language");
    json.Number(resource.language);
    json.Key("size");
    json.Number(resource.data.size());
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

}  // namespace

void PrintListingJson(const Listing& listing) {
  const bool with_packages = listing.with_packages;
  const Inventory& inventory = listing.inventory;
  JsonWriter json;
  json.BeginObject();
  json.Key("installer");
  json.String(inventory.path);
  json.Key("checksums");
  json.Bool(inventory.has_checksums);
  json.Key("signed");
  json.Bool(inventory.bounds.certificate_size != 0);
  if (inventory.bounds.certificate_size != 0) {
    json.Key("certificate_table");
    json.BeginObject();
    json.Key("offset");
    json.Number(inventory.bounds.certificate_offset);
    json.Key("size");
    json.Number(inventory.bounds.certificate_size);
    json.EndObject();
  }
  if (listing.with_resources) WriteResourcesJson(json, listing.resources);
  json.Key("members");
  json.BeginArray();
  for (size_t i = 0; i < inventory.members.size(); ++i) {
    const InventoryMember& listed = inventory.members[i];
    const MemberInfo& member = listed.member;
    json.BeginObject();
    json.Key("name");
    json.String(member.name);
    json.Key("offset");
    json.Number(member.data_offset);
    json.Key("size");
    json.Number(member.size);
    WriteDateTime(json, member.dos_date, member.dos_time);
    json.Key("attributes");
    json.Number(member.attributes);
    if (member.checksum_known) {
      json.Key("crc32");
      json.Number(member.checksum);
    }
    if (with_packages) {
      json.Key("package");
      json.Bool(listed.is_package);
    }
    if (with_packages && listed.is_package) {
      json.Key("files");
      json.BeginArray();
      for (size_t j = 0; j < listed.package.files.size(); ++j) {
        const PackageFile& file = listed.package.files[j];
        const ListedSize& decoded = listing.sizes[i][j];
        json.BeginObject();
        json.Key("name");
        json.String(file.name);
        json.Key("compressed_size");
        json.Number(file.compressed_size);
        if (decoded.known) {
          json.Key("size");
          json.Number(decoded.size);
        }
        WriteDateTime(json, file.dos_date, file.dos_time);
        json.Key("attributes");
        json.Number(file.attributes);
        json.EndObject();
      }
      json.EndArray();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("problems");
  json.BeginArray();
  for (const std::string& problem : listing.problems)
    json.String(problem);
  json.EndArray();
  json.EndObject();
  std::fputs(json.text().c_str(), stdout);
}

}  // namespace tool
