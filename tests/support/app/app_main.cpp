// Entry point of the tests that use the class library: the application object lives for the
// whole run and the thread that runs main, and every test, is its main thread.
#include <gtest/gtest.h>

#include "classlib/forms.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  dashtune::TApplication application;
  application.Initialize();
  return RUN_ALL_TESTS();
}
