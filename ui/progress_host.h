// Host build only: what the stand-in progress dialog has been asked to do.
#pragma once

#include <cstdint>

struct HostDialog {
  int32_t created;
  int32_t destroyed;
  int32_t repaints;
  // The done columns of the last repaint.
  int32_t last_fill_width;
};

extern HostDialog g_host_dialog;
