// Entry point of the shell library's tests: a temporary home first, then the application, whose
// start runs the shell unit; the thread that runs main is the main thread.
#include <gtest/gtest.h>

#include "classlib/forms.h"
#include "temporary_home.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
  dashtune::TApplication application;
  application.Initialize();
  return RUN_ALL_TESTS();
}
