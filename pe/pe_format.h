// The parts of the Portable Executable format that installers need: where the headers are, the
// data directories (the certificate table that signing appends, the resources), and the section
// table.
//
// A PE file starts with a 64-byte DOS header: "MZ", and at offset 0x3C the file offset of the PE
// header. That is the signature "PE\0\0", then the 20-byte file header (machine, section count,
// the optional header's size ...), then the optional header: a magic of 0x10B for 32-bit images
// or 0x20B for 64-bit ones, fields whose places differ between the two, and last the data
// directories, each an address and a size. Their count is a field of its own, and the optional
// header's size bounds them too. Then follow the section headers, 40 bytes each.
//
// Directory 4, the certificate table, is the one whose address is a file offset rather than an
// address in memory: signing tools append the table at the end of the file, after zero padding to
// a multiple of 8, and record its offset and size there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pe {

// DOS header.
constexpr size_t kDosHeaderSize = 64;
constexpr uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr size_t kPeHeaderOffsetAt = 0x3C;

// PE header: signature and file header.
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr size_t kSignatureSize = 4;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionCountAt = kSignatureSize + 2;
constexpr size_t kOptionalHeaderSizeAt = kSignatureSize + 16;
constexpr size_t kOptionalHeaderAt = kSignatureSize + kFileHeaderSize;

// Optional header, from its start.
constexpr uint16_t kMagic32 = 0x10B;
constexpr uint16_t kMagic64 = 0x20B;
constexpr size_t kDirectoryCountAt32 = 92;
constexpr size_t kDirectoriesAt32 = 96;
constexpr size_t kDirectoryCountAt64 = 108;
constexpr size_t kDirectoriesAt64 = 112;
constexpr size_t kDirectorySize = 8;  // address, size

// Data directories by index.
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kBaseRelocationDirectory = 5;

// Signing pads the file to a multiple of this before it appends the certificate table.
constexpr uint32_t kCertificateAlignment = 8;
// A certificate entry's own header: its length, revision and type.
constexpr uint32_t kCertificateHeaderSize = 8;

// Fields of the file header and the optional header that rewriting an image's resources touches,
// from the start of the optional header; the same places in 32-bit and 64-bit images.
constexpr size_t kPointerToSymbolTableAt = kSignatureSize + 8;
constexpr size_t kSizeOfInitializedDataAt = 8;
constexpr size_t kSectionAlignmentAt = 32;
constexpr size_t kFileAlignmentAt = 36;
constexpr size_t kSizeOfImageAt = 56;
constexpr size_t kSizeOfHeadersAt = 60;
constexpr size_t kCheckSumAt = 64;

// Section headers, 40 bytes each: an 8-byte name, then the fields below.
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSectionVirtualSizeAt = 8;
constexpr size_t kSectionVirtualAddressAt = 12;
constexpr size_t kSectionRawSizeAt = 16;
constexpr size_t kSectionRawOffsetAt = 20;
constexpr size_t kSectionCharacteristicsAt = 36;
constexpr uint32_t kSectionHoldsInitializedData = 0x00000040;

// The most header bytes, from the PE signature on, that reading the certificate directory needs:
// signature, file header, and a 64-bit optional header up to the end of directory 4.
constexpr size_t kHeadersThroughCertificateDirectory =
    kOptionalHeaderAt + kDirectoriesAt64 + (kCertificateDirectory + 1) * kDirectorySize;

}  // namespace pe
