# Project-wide build rules and the helpers every folder uses.

if(WIN32)
  set(TOVALIN_PLATFORM_SIDE win32)
else()
  set(TOVALIN_PLATFORM_SIDE posix)
endif()

# Warnings are errors everywhere.
add_compile_options(-Wall -Wextra -Werror)

if(TOVALIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TOVALIN_FUZZ)
  # Libraries get coverage instrumentation; only fuzz targets link the fuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Every Windows binary carries its runtime: no MinGW DLL travels with it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Code that ends up in the launcher stub: small, no exceptions, no RTTI, no iostreams.
add_library(tovalin_stub_flags INTERFACE)
target_compile_options(tovalin_stub_flags INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>
  -ffunction-sections -fno-asynchronous-unwind-tables)
if(WIN32)
  # MinGW's -Os keeps a frame pointer in every function; without it each one is a few bytes
  # shorter and has one more register.
  target_compile_options(tovalin_stub_flags INTERFACE -fomit-frame-pointer)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows promises a stack aligned to 4 bytes, and the stub keeps nothing on it that
    # wants more: no function need round its frame to 16. (The 64-bit calling convention fixes 16.)
    target_compile_options(tovalin_stub_flags INTERFACE -mpreferred-stack-boundary=2)
  endif()
  # Smaller than -Os where speed does not matter; the two loops that carry the launcher's work,
  # the decoder's and the checksum's, keep -Os (set on their sources).
  target_compile_options(tovalin_stub_flags INTERFACE -Oz)
  # Tables and texts at the alignment their type asks, not rounded up to 32 bytes for vector
  # loads the stub never makes.
  target_compile_options(tovalin_stub_flags INTERFACE -malign-data=abi)
endif()
if(NOT WIN32)
  # MinGW puts zero-filled variables into initialised data under -fdata-sections, which would
  # store the launcher's large work buffers in the file.
  target_compile_options(tovalin_stub_flags INTERFACE -fdata-sections)
endif()

# tovalin_library(NAME SOURCES ... [LIBS ...] [STUB])
# A subsystem library. STUB marks code that the launcher links.
function(tovalin_library name)
  cmake_parse_arguments(ARG "STUB" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  if(ARG_STUB)
    target_link_libraries(${name} PRIVATE tovalin_stub_flags)
  endif()
endfunction()

# Tests -----------------------------------------------------------------------------------------

if(TOVALIN_TESTS AND NOT TOVALIN_FUZZ AND NOT TOVALIN_BENCH)
  if(CMAKE_CROSSCOMPILING)
    # Debian ships GoogleTest as source: build it with the cross compiler.
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(TOVALIN_GTEST_LIBS gtest gmock)
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gmock PRIVATE -w)
  else()
    find_package(GTest REQUIRED)
    set(TOVALIN_GTEST_LIBS GTest::gtest GTest::gmock)
  endif()
  set(TOVALIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    # The 64-bit build runs under Wine's 64-bit side: a 64-bit prefix, and `wine` on the tests'
    # PATH that is the 64-bit loader.
    set(TOVALIN_WINEARCH win64)
    set(TOVALIN_WINE_PATH ${CMAKE_SOURCE_DIR}/tests/win32/wine64)
  endif()
endif()

# tovalin_add_test(NAME SOURCES ... LIBS ... [HOST_ONLY] [WIN32_ONLY] [LABELS ...])
# One GoogleTest binary, registered as one ctest test. On the win32 build it runs under
# Wine in the build tree's own prefix, which the wine_prefix fixture creates once.
function(tovalin_add_test name)
  cmake_parse_arguments(ARG "HOST_ONLY;WIN32_ONLY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_HOST_ONLY AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  if(ARG_WIN32_ONLY AND NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovalin_test_main ${TOVALIN_GTEST_LIBS})
  if(CMAKE_CROSSCOMPILING)
    # Under Wine the tests name files in the ANSI code page, as the launcher does.
    target_link_libraries(${name} PRIVATE platform_ansi_names)
  else()
    # Host tests run on the pretend Windows machine, with the stand-in progress dialog.
    target_link_libraries(${name} PRIVATE pretend_machine stand_in_dialog)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  # A time zone away from UTC, so that a local-time slip in file times shows.
  set(env "TZ=EST5EDT")
  if(CMAKE_CROSSCOMPILING)
    list(APPEND env "WINEPREFIX=${TOVALIN_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600 ENVIRONMENT "${env}")
endfunction()

# tovalin_label_wine_tests(): gives every test of the current folder that runs under Wine (it needs
# or makes the Wine prefix) the label "wine", so that a machine that cannot run Wine's 32-bit side
# can leave exactly those out (ctest -LE wine) and still check what the cross build alone shows;
# in the 64-bit build they also get Wine's 64-bit side. Called last in each folder that registers such tests.
function(tovalin_label_wine_tests)
  get_property(names DIRECTORY PROPERTY TESTS)
  foreach(name ${names})
    get_test_property(${name} FIXTURES_REQUIRED required)
    get_test_property(${name} FIXTURES_SETUP provided)
    if("${required};${provided}" MATCHES "wine_prefix")
      set_property(TEST ${name} APPEND PROPERTY LABELS wine)
      if(TOVALIN_WINE_PATH)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION
          "PATH=path_list_prepend:${TOVALIN_WINE_PATH}" "WINEARCH=set:${TOVALIN_WINEARCH}")
      endif()
    endif()
  endforeach()
endfunction()

# tovalin_add_fuzzer(NAME SOURCES ... LIBS ... [SECONDS n])
# A libFuzzer target; the test command runs it briefly on its kept corpus.
function(tovalin_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} pretend_machine stand_in_dialog)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  set(work ${CMAKE_BINARY_DIR}/corpus/${name})
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      ${CMAKE_SOURCE_DIR}/tests/fuzz/run_smoke ${CMAKE_CURRENT_BINARY_DIR}/${name} ${corpus} ${work} ${ARG_SECONDS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
