#include "base/ansi_path.h"

#include <cstring>

#include "base/bounded_text.h"

namespace text {
namespace {

// Where the last component of a wide path starts.
const uint16_t* LastComponent(const uint16_t* wide) {
  const uint16_t* last = wide;
  for (const uint16_t* p = wide; *p != 0; ++p) {
    if (*p == '\\' || *p == '/') last = p + 1;
  }
  return last;
}

}  // namespace

AnsiPathResult ChooseAnsiPath(const uint16_t* wide, const AnsiPathServices& services, char* out,
                              uint32_t capacity) {
  if (services.to_ansi(wide, out, capacity)) return ANSI_PATH_WHOLE;
  // Keep the stand-in form for messages until a better one is found.
  char candidate[kPathCapacity];
  uint16_t short_form[kWidePathCapacity];
  if (!services.short_form(wide, short_form, kWidePathCapacity)) return ANSI_PATH_LOST;
  // The short form's folders, then the path's own last component where the code page holds it.
  const uint16_t* name = LastComponent(short_form);
  char own_name[kPathCapacity];
  if (name != short_form && services.to_ansi(LastComponent(wide), own_name, sizeof own_name)) {
    uint16_t* cut = const_cast<uint16_t*>(name);
    const uint16_t kept = *cut;
    *cut = 0;  // the folders, with their separator
    const bool folders = services.to_ansi(short_form, candidate, sizeof candidate);
    *cut = kept;
    if (folders && Append(candidate, sizeof candidate, own_name)) {
      return Copy(out, capacity, candidate) ? ANSI_PATH_SHORT : ANSI_PATH_FAILED;
    }
  }
  if (!services.to_ansi(short_form, candidate, sizeof candidate)) return ANSI_PATH_LOST;
  return Copy(out, capacity, candidate) ? ANSI_PATH_SHORT : ANSI_PATH_FAILED;
}

uint32_t ChooseAnsiPathLength(const uint16_t* wide, const AnsiPathServices& services, char* out,
                              uint32_t capacity, bool* lost) {
  const AnsiPathResult result = ChooseAnsiPath(wide, services, out, capacity);
  *lost = result == ANSI_PATH_LOST;
  if (result == ANSI_PATH_WHOLE || result == ANSI_PATH_SHORT)
    return static_cast<uint32_t>(std::strlen(out));
  if (result == ANSI_PATH_FAILED && capacity > 0) out[0] = '\0';
  return 0;
}

}  // namespace text
