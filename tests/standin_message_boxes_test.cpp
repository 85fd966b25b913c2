#include <gtest/gtest.h>

#include "test_paths.h"
#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"

using namespace standin;

namespace {

TEST(MessageBoxes, AnsweredAtOnceAndRecorded) {
  MessageBoxDismisser boxes;
  ASSERT_TRUE(boxes.Active());
  // Unanswered, the box would wait for a click that never comes.
  int answer = MessageBoxA(nullptr, "Unable to find main window!!!", "", MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.LastText(), "Unable to find main window!!!");
  EXPECT_EQ(boxes.LastCaption(), "");
  EXPECT_EQ(boxes.LastStyle(), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(boxes.LastOwner(), nullptr);
}

TEST(MessageBoxes, OtherButtonsAndOwners) {
  HostWindows host;
  ASSERT_TRUE(host.Create());
  MessageBoxDismisser boxes;
  EXPECT_EQ(MessageBoxA(host.Frame(), "Sure?", "Ask", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
  EXPECT_EQ(boxes.LastStyle(), static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(boxes.LastOwner(), host.Frame());
  EXPECT_EQ(boxes.LastCaption(), "Ask");
  EXPECT_EQ(MessageBoxA(nullptr, "Yes or no", "", MB_YESNO), IDYES);
  EXPECT_EQ(boxes.LastStyle(), static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(boxes.Count(), 2);
}

TEST(MessageBoxes, InnerDismisserTakesOverAndGivesBack) {
  MessageBoxDismisser outer;
  {
    MessageBoxDismisser inner;
    MessageBoxA(nullptr, "inner", "", MB_OK);
    EXPECT_EQ(inner.Count(), 1);
  }
  MessageBoxA(nullptr, "outer", "", MB_OK);
  EXPECT_EQ(outer.Count(), 1);
  EXPECT_EQ(outer.LastText(), "outer");
}

TEST(MessageBoxes, PluginsBoxIsAnsweredDuringTheCall) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Load(Folder() + "standin_fake_plugin.fmx"));
  plugin.Initialise();
  MessageBoxDismisser boxes;
  EXPECT_EQ(plugin.CallByName("Fake-MessageBox", ""), "1");
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.LastText(), "Unable to find main window!!!");
}

}  // namespace
