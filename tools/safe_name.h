// Which names from an installer may become file names under the extraction folder: the same rule
// the launcher's unpacker follows (base/file_name.h), with the reason told in words. A name is
// refused rather than cleaned up.
#pragma once

#include <string>

namespace tool {

// Why name must not be written as a file, or an empty text when it may. terminated tells whether
// the stored field held the NUL that ends a name.
std::string WhyNameIsUnsafe(const std::string& name, bool terminated);

}  // namespace tool
