// Entry point of the platform tests: the thread that runs main is the main thread. The tests run
// with a temporary home, made before anything asks GLib for the user's folders.
#include <gtest/gtest.h>

#include "temporary_home.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
  return RUN_ALL_TESTS();
}
