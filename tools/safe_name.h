// Which names from an installer may become file names under the extraction folder.
//
// A member or package-file name is meant to be a bare file name. Anything that could lead out of
// the folder or somewhere unexpected is refused rather than cleaned up: a name with "..", with a
// drive (":"), with a "\" or "/" anywhere (even as the second byte of a double-byte character:
// the tool cannot know the code page, and a refusal is the safe side), with control characters,
// an empty name, "." and a name whose field holds no NUL at all. A name that ends in a dot or a
// blank is refused too: Windows would drop them and write the file under another name.
#pragma once

#include <string>

namespace tool {

// Why name must not be written as a file, or an empty text when it may. terminated tells whether
// the stored field held the NUL that ends a name.
std::string WhyNameIsUnsafe(const std::string& name, bool terminated);

}  // namespace tool
