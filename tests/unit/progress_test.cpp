// The percent operations: the bar only moves forward, quiet mode changes nothing, and every
// accepted value is painted at once.
#include <gtest/gtest.h>

#include <cstring>

#include "launcher/run_state.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"
#include "ui/progress_host.h"

namespace {

class ProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetRunState();
    ResetProgress();
    std::memset(&g_host_dialog, 0, sizeof g_host_dialog);
  }
  void TearDown() override {
    DestroyProgressDialog();
    ResetRunState();
    ResetProgress();
  }
  static void Show() {
    ASSERT_NE(CreateProgressDialog(nullptr), 0);
    g_progress.bar_w = 255;
    g_progress.bar_h = 18;
  }
};

TEST_F(ProgressTest, OnlyLargerValuesAreTakenAndPainted) {
  Show();
  const struct Step {
    int32_t percent;
    int32_t current;
    int32_t repaints;
  } steps[] = {
      {10, 10, 1}, {10, 10, 1},   {9, 10, 1},   {-5, 10, 1},   {30, 30, 2},
      {29, 30, 2}, {100, 100, 3}, {60, 100, 3}, {100, 100, 3},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.percent);
    SetProgress(s.percent);
    EXPECT_EQ(g_progress.current_percentage, s.current);
    EXPECT_EQ(g_host_dialog.repaints, s.repaints);
  }
}

TEST_F(ProgressTest, StepAddsOneAndMilestonesBehindTheStepsAreIgnored) {
  Show();
  SetProgress(30);
  for (int i = 0; i < 15; ++i)
    StepProgress();
  EXPECT_EQ(g_progress.current_percentage, 45);
  EXPECT_EQ(g_host_dialog.repaints, 16);
  SetProgress(40);  // already passed
  EXPECT_EQ(g_progress.current_percentage, 45);
  EXPECT_EQ(g_host_dialog.repaints, 16);
}

TEST_F(ProgressTest, QuietModeChangesNothing) {
  g_run_state.show_progress = false;
  SetProgress(10);
  StepProgress();
  SetProgress(100);
  EXPECT_EQ(g_progress.current_percentage, 0);
  EXPECT_EQ(g_host_dialog.repaints, 0);
}

TEST_F(ProgressTest, ValuesAboveOneHundredDrawAFullBarAndSettleAtOneHundred) {
  Show();
  SetProgress(150);
  EXPECT_EQ(g_host_dialog.last_fill_width, 255);
  EXPECT_EQ(g_progress.current_percentage, 100);
  // On a full bar each step stores 101, repaints, and is back at 100.
  StepProgress();
  StepProgress();
  EXPECT_EQ(g_progress.current_percentage, 100);
  EXPECT_EQ(g_host_dialog.repaints, 3);
}

TEST_F(ProgressTest, FillWidthRoundsDown) {
  Show();
  const struct Case {
    int32_t percent;
    int32_t width;
    int32_t filled;
  } cases[] = {{0, 255, 0},    {1, 255, 2},     {10, 255, 25}, {50, 255, 127},
               {99, 255, 252}, {100, 255, 255}, {50, 3, 1},    {100, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.percent << "% of " << c.width);
    g_progress.current_percentage = c.percent;
    g_progress.bar_w = c.width;
    EXPECT_EQ(TakeFillWidth(), c.filled);
  }
}

TEST_F(ProgressTest, WithoutADialogNothingIsPainted) {
  SetProgress(10);
  EXPECT_EQ(g_progress.current_percentage, 10);
  EXPECT_EQ(g_host_dialog.repaints, 0);
}

}  // namespace
