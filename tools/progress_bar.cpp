#include "tools/progress_bar.h"

#include "tools/host.h"

namespace tool {
namespace {

constexpr int kBarWidth = 30;
constexpr int kLabelWidth = 36;
constexpr uint64_t kPermille = 1000;

uint64_t Permille(uint64_t done, uint64_t total) {
  if (total == 0 || done >= total) return kPermille;
  // done < total here, so the quotient stays below 1000 and nothing overflows for sizes that
  // fit 54 bits; larger totals are scaled down first.
  while (total > (UINT64_MAX / kPermille)) {
    total >>= 1;
    done >>= 1;
  }
  return done * kPermille / total;
}

}  // namespace

std::string RenderProgressLine(uint64_t done, uint64_t total, const std::string& label,
                               int bar_width, int label_width) {
  uint64_t permille = Permille(done, total);
  int filled = static_cast<int>(permille * static_cast<uint64_t>(bar_width) / kPermille);
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(bar_width - filled), '.');
  line += "] ";
  std::string percent = std::to_string(permille / 10);
  line.append(3 - percent.size(), ' ');
  line += percent + "%";
  if (!label.empty() && label_width > 0) {
    line += "  ";
    if (label.size() <= static_cast<size_t>(label_width)) {
      line += label;
    } else {
      // Keep the end of a long name: that is where names differ.
      line += "..." + label.substr(label.size() - static_cast<size_t>(label_width) + 3);
    }
  }
  return line;
}

ProgressBar::ProgressBar(bool enabled, uint64_t total, std::FILE* out,
                         std::chrono::milliseconds delay)
    : enabled_(enabled),
      total_(total),
      out_(out),
      show_from_(std::chrono::steady_clock::now() + delay) {}

ProgressBar::~ProgressBar() {
  Finish();
}

bool ProgressBar::Wanted(bool quiet) {
  return !quiet && StderrIsTerminal();
}

void ProgressBar::SetLabel(const std::string& label) {
  if (label == label_) return;
  label_ = label;
  drawn_permille_ = -1;
  Draw();
}

void ProgressBar::Advance(uint64_t amount) {
  done_ += amount;
  Draw();
}

void ProgressBar::Draw() {
  if (!enabled_) return;
  int permille = static_cast<int>(Permille(done_, total_));
  // Redraw only when the picture changes: a terminal write per block would cost more than the
  // work it reports.
  if (permille == drawn_permille_) return;
  if (drawn_length_ == 0 && std::chrono::steady_clock::now() < show_from_) return;
  drawn_permille_ = permille;
  std::string line = RenderProgressLine(done_, total_, label_, kBarWidth, kLabelWidth);
  size_t length = line.size();
  if (length < drawn_length_) line.append(drawn_length_ - length, ' ');
  std::fprintf(out_, "\r%s", line.c_str());
  std::fflush(out_);
  drawn_length_ = length;
}

void ProgressBar::Clear() {
  if (!enabled_ || drawn_length_ == 0) return;
  std::fprintf(out_, "\r%s\r", std::string(drawn_length_, ' ').c_str());
  std::fflush(out_);
  drawn_length_ = 0;
  drawn_permille_ = -1;
}

void ProgressBar::Finish() {
  Clear();
  enabled_ = false;
}

}  // namespace tool
