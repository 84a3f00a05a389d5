// The percent operations: the bar only moves forward, quiet mode changes nothing, every value
// that changes the bar is painted at once and nothing else is, and every step takes the waiting
// messages.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/stand_in_dialog.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

class ProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProgress(&progress, true);
    std::memset(&g_host_dialog, 0, sizeof g_host_dialog);
  }
  void TearDown() override { DestroyProgressDialog(&progress); }
  void Show() {
    ASSERT_NE(CreateProgressDialog(&progress, nullptr, ""), 0);
    progress.bar_w = 255;
    progress.bar_h = 18;
  }
  Progress progress;
};

TEST_F(ProgressTest, OnlyLargerValuesAreTakenAndPainted) {
  Show();
  // A larger value takes the waiting messages even when it changes nothing on screen.
  const struct Step {
    int32_t percent;
    int32_t current;
    int32_t repaints;
    int32_t message_checks;
  } steps[] = {
      {10, 10, 1, 1},   {10, 10, 1, 1},   {9, 10, 1, 1},     {-5, 10, 1, 1},
      {30, 30, 2, 2},   {29, 30, 2, 2},   {100, 100, 3, 3},  {60, 100, 3, 3},
      {100, 100, 3, 3}, {101, 100, 3, 4}, {5000, 100, 3, 5},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.percent);
    SetProgress(&progress, s.percent);
    EXPECT_EQ(progress.current_percentage, s.current);
    EXPECT_EQ(g_host_dialog.repaints, s.repaints);
    EXPECT_EQ(g_host_dialog.message_checks, s.message_checks);
  }
}

TEST_F(ProgressTest, StepAddsOneAndMilestonesBehindTheStepsAreIgnored) {
  Show();
  SetProgress(&progress, 30);
  for (int i = 0; i < 15; ++i)
    StepProgress(&progress);
  EXPECT_EQ(progress.current_percentage, 45);
  EXPECT_EQ(g_host_dialog.repaints, 16);
  SetProgress(&progress, 40);  // already passed
  EXPECT_EQ(progress.current_percentage, 45);
  EXPECT_EQ(g_host_dialog.repaints, 16);
}

TEST_F(ProgressTest, QuietModeChangesNothing) {
  ResetProgress(&progress, false);
  SetProgress(&progress, 10);
  StepProgress(&progress);
  SetProgress(&progress, 100);
  EXPECT_EQ(progress.current_percentage, 0);
  EXPECT_EQ(g_host_dialog.repaints, 0);
  EXPECT_EQ(g_host_dialog.message_checks, 0);
}

TEST_F(ProgressTest, ValuesAboveOneHundredDrawAFullBarAndSettleAtOneHundred) {
  Show();
  SetProgress(&progress, 150);
  EXPECT_EQ(g_host_dialog.last_fill_width, 255);
  EXPECT_EQ(progress.current_percentage, 100);
  // A full bar stays as it is: its steps paint nothing.
  StepProgress(&progress);
  StepProgress(&progress);
  EXPECT_EQ(progress.current_percentage, 100);
  EXPECT_EQ(g_host_dialog.repaints, 1);
  EXPECT_EQ(g_host_dialog.message_checks, 3);
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
    progress.current_percentage = c.percent;
    progress.bar_w = c.width;
    EXPECT_EQ(TakeFillWidth(&progress), c.filled);
  }
}

TEST_F(ProgressTest, WithoutADialogNothingIsPainted) {
  SetProgress(&progress, 10);
  EXPECT_EQ(progress.current_percentage, 10);
  EXPECT_EQ(g_host_dialog.repaints, 0);
}

}  // namespace
