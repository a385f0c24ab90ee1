// Entry point of the shell library's tests: a temporary home with the stub applications first,
// then the application, whose start runs the shell unit; the thread that runs main is the main
// thread.
#include <gtest/gtest.h>

#include "classlib/forms.h"
#include "stub_programs.h"
#include "temporary_home.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
  dashtune::testing::InstallStubApplications();
  dashtune::TApplication application;
  application.Initialize();
  return RUN_ALL_TESTS();
}
