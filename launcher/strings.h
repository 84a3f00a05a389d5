// The ids of the launcher's string table, as the code names them; resources/strings.h lists the
// texts.
#pragma once

#include <cstdint>

#include "resources/strings.h"

enum LauncherString : uint32_t {
#define STRING_TABLE_ID(name, id, text) name = id,
  TOVALIN_LAUNCHER_STRINGS(STRING_TABLE_ID)
#undef STRING_TABLE_ID
};
