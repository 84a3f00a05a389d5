// A progress bar on standard error for long work: one line, redrawn in place with a carriage
// return, erased when the work is done. It shows only where someone can watch it, on a terminal,
// and never with --quiet, so that redirected output and logs stay clean.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tool {

// The line for done of total units: a bar of width cells, the percentage and the label, cut so
// that the line stays within width + 8 + label_width characters.
std::string RenderProgressLine(uint64_t done, uint64_t total, const std::string& label,
                               int bar_width, int label_width);

class ProgressBar {
 public:
  // Draws on out only when enabled; total is the amount of work in any unit (bytes, say). Work
  // done within the delay shows no bar at all: it would only flicker.
  ProgressBar(bool enabled, uint64_t total, std::FILE* out = stderr,
              std::chrono::milliseconds delay = std::chrono::milliseconds(250));
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void SetLabel(const std::string& label);
  void Advance(uint64_t amount);
  // Erases the line, so that a message can take its place; the next change draws it again.
  void Clear();
  // Erases the line; later calls draw nothing.
  void Finish();

  // Whether a command should draw a bar: a terminal, and no --quiet.
  static bool Wanted(bool quiet);

 private:
  void Draw();

  bool enabled_;
  uint64_t total_;
  uint64_t done_ = 0;
  std::FILE* out_;
  std::chrono::steady_clock::time_point show_from_;
  std::string label_;
  int drawn_permille_ = -1;
  size_t drawn_length_ = 0;
};

}  // namespace tool
