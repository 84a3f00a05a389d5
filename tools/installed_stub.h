// The launcher stub that an installed tovalin builds with, so that "tovalin build" needs no
// --stub.
//
// An install keeps the stub at one place relative to the tool's own folder
// (../share/tovalin/launcher.exe beside bin/ in the usual layout), and the tool looks there from
// the path of the running program. Nothing is compiled in as an absolute path, so an install
// that was moved, or unpacked somewhere else from a package, still finds its stub. On Windows
// a folder into which tovalin.exe and launcher.exe were unpacked side by side works too: the
// second place is the program's own folder.
#pragma once

#include <string>
#include <vector>

namespace tool {

// The installed stub's file name: the launcher under the name it is built with.
extern const char kInstalledStubName[];

// The places to look for the stub, in order, for a tool whose program file is program_path (an
// absolute path, as the system reports it): from_program_folder (a relative path with "/"
// between its parts) taken from the program's folder, each ".." taking one folder off, then
// kInstalledStubName in the program's folder. None when program_path names no folder.
std::vector<std::string> InstalledStubPlaces(const std::string& program_path,
                                             const std::string& from_program_folder);

// The stub of the running tool's install: the first of its places where something exists.
// Throws Failure, naming every place looked at and --stub, when there is none.
std::string FindInstalledStub();

}  // namespace tool
