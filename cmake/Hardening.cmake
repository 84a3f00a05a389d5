# The installed tool is built the way Debian builds its own packages (dpkg-buildflags with
# hardening=+all): libc calls with known buffer sizes checked at run time, a stack protector,
# format strings checked, a position-independent executable, and full RELRO with immediate
# binding, so that the dynamic linker resolves every symbol at start and the relocated tables are
# read-only before main() runs. tests/install holds the Debian package to it with lintian.
#
# The sanitizer and fuzz builds check more than this at run time and leave it out; the Windows
# builds have their own runtime.
if(WIN32 OR TOVALIN_SANITIZE OR TOVALIN_FUZZ)
  return()
endif()

# Fortified calls need the optimizer to know buffer sizes; an unoptimized build would only warn.
# Some compilers define the macro already, and a second definition would be an error here.
add_compile_options(
  $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE$<SEMICOLON>-D_FORTIFY_SOURCE=2>
  -fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
