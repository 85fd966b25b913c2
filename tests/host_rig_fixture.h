// A HostRig as a GoogleTest fixture: opened from PluginFolder() before each
// test, closed after it. Tests reach the rig's members directly.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "tests/host_rig.h"

namespace rig {

// As a fixture: the rig opened from PluginFolder() before each test and
// closed after it.
class HostRigTest : public ::testing::Test, public HostRig {
 protected:
  // Where Vantoro.fmx and its engine are; the test program's own folder.
  virtual std::string PluginFolder() const { return Folder(); }

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(Open(PluginFolder(), &error)) << error;
  }
  void TearDown() override { Close(); }
};

}  // namespace rig
