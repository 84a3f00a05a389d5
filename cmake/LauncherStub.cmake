# The launcher stub for an installed host tool, cross-built with MinGW-w64.
#
# One build tree has one toolchain, and the stub needs the i686 MinGW-w64 compiler and windres
# while the tool needs the host's. So this same source tree is configured a second time, as an
# external project with the toolchain file the win32 preset uses, and only its launcher target
# (with the resources it links) is built there. The stub comes out exactly as the win32 build
# makes it, from the one set of rules in launcher/CMakeLists.txt, while the tool stays an
# ordinary target of this tree for install() and CPack.
include(ExternalProject)

find_program(TOVALIN_MINGW_CXX i686-w64-mingw32-g++-posix)
if(NOT TOVALIN_MINGW_CXX)
  message(FATAL_ERROR
    "The launcher stub needs the MinGW-w64 cross compiler i686-w64-mingw32-g++-posix (Debian: "
    "g++-mingw-w64-i686-posix; scripts/setup installs it). Configure with "
    "-DTOVALIN_CROSS_STUB=OFF to build and install the tool without its stub.")
endif()

set(TOVALIN_STUB_BUILD_DIR ${CMAKE_BINARY_DIR}/launcher-stub)
# The stub also lands where an install puts it relative to the tool, here relative to this
# tree's tools/ folder, so that the freshly built tool finds it without --stub too.
cmake_path(ABSOLUTE_PATH TOVALIN_STUB_FROM_PROGRAM_FOLDER BASE_DIRECTORY ${CMAKE_BINARY_DIR}/tools
           NORMALIZE OUTPUT_VARIABLE TOVALIN_BUILT_STUB)

ExternalProject_Add(launcher_stub
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${TOVALIN_STUB_BUILD_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DTOVALIN_TESTS=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target launcher
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/launcher/launcher.exe ${TOVALIN_BUILT_STUB}
  BUILD_BYPRODUCTS ${TOVALIN_BUILT_STUB}
  # The outer build cannot see the launcher's sources change; the inner build can, and has
  # nothing to do when they did not.
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)
