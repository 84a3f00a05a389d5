// Host tests only: the progress dialog's stand-in. It paints nothing but counts what it is asked
// to do, so that tests see when and with what the bar would be drawn.
#pragma once

#include <cstdint>

struct HostDialog {
  int32_t created;
  int32_t destroyed;
  int32_t repaints;
  // The done columns of the last repaint.
  int32_t last_fill_width;
  // How often the waiting messages were asked for.
  int32_t message_checks;
  // The message-line text the last dialog was created with.
  char message_line_text[512];
};

// What the stand-in has been asked to do since the last reset.
extern HostDialog g_host_dialog;
