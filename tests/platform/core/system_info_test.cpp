// System information: FormatMessage, locale names, the version, process and thread ids, the message box sink.
#include "platform/core/errors.h"
#include "platform/core/format_message.h"
#include "platform/core/locale.h"
#include "platform/core/message_box.h"
#include "platform/core/process.h"
#include "platform/core/version.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <thread>

namespace {

struct TextCase {
  win::DWORD error;
  const char* text;
};

class FormatMessageTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FormatMessageTest, GivesTheSystemTextWithItsLineEnd) {
  char buffer[256];
  const std::string expected = std::string(GetParam().text) + "\r\n";
  const win::DWORD length = win::FormatMessageA(win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS,
                                                nullptr, GetParam().error, 0, buffer, 255, nullptr);
  EXPECT_EQ(length, expected.size());
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_EQ(win::SystemErrorText(GetParam().error), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatMessageTest,
    ::testing::Values(TextCase{121, "The semaphore timeout period has expired."},
                      TextCase{2, "The system cannot find the file specified."},
                      TextCase{5, "Access is denied."}, TextCase{6, "The handle is invalid."},
                      TextCase{87, "The parameter is incorrect."},
                      TextCase{995, "The I/O operation has been aborted because of either a thread exit or an application request."},
                      TextCase{997, "Overlapped I/O operation is in progress."},
                      TextCase{1400, "Invalid window handle."},
                      TextCase{1460, "This operation returned because the timeout period expired."}));

TEST(FormatMessage, RefusesUnknownNumbersSmallBuffersAndOtherSources) {
  char buffer[16] = "untouched";
  struct Case {
    win::DWORD flags, id, size, error;
  };
  for (const Case& c : {Case{win::FORMAT_MESSAGE_FROM_SYSTEM, 4242, 16, win::ERROR_MR_MID_NOT_FOUND},
                        Case{win::FORMAT_MESSAGE_FROM_SYSTEM, 121, 16, win::ERROR_INSUFFICIENT_BUFFER},
                        Case{win::FORMAT_MESSAGE_FROM_STRING, 121, 16, win::ERROR_INVALID_PARAMETER}}) {
    win::SetLastError(0);
    EXPECT_EQ(win::FormatMessageA(c.flags, nullptr, c.id, 0, buffer, c.size, nullptr), 0u);
    EXPECT_EQ(win::GetLastError(), c.error);
    EXPECT_STREQ(buffer, "untouched") << "nothing written past a refusal";
  }
  // Exactly fits: 41 characters, CR, LF and the terminator.
  char exact[44];
  EXPECT_EQ(win::FormatMessageA(win::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 121, 0, exact, 44, nullptr), 43u);
  EXPECT_EQ(win::FormatMessageA(win::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 121, 0, exact, 43, nullptr), 0u);
}

struct LocaleCase {
  win::LCID lcid;
  const char* name;
};

class LocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleTest, NamesTheLanguageInEnglish) {
  char buffer[260];
  const int length = win::GetLocaleInfoA(GetParam().lcid, win::LOCALE_SENGLANGUAGE, buffer, sizeof buffer);
  EXPECT_EQ(length, static_cast<int>(std::strlen(GetParam().name)) + 1);
  EXPECT_STREQ(buffer, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Table, LocaleTest,
                         ::testing::Values(LocaleCase{0x0409, "English"}, LocaleCase{0x0809, "English"},
                                           LocaleCase{0x0407, "German"}, LocaleCase{0x0807, "German"},
                                           LocaleCase{0x040C, "French"}, LocaleCase{0x0C0A, "Spanish"},
                                           LocaleCase{0x0410, "Italian"}, LocaleCase{0x0413, "Dutch"},
                                           LocaleCase{0x0816, "Portuguese"}, LocaleCase{0x0419, "Russian"},
                                           LocaleCase{0x0411, "Japanese"}, LocaleCase{0x0804, "Chinese"},
                                           LocaleCase{0x041D, "Swedish"}, LocaleCase{0x0415, "Polish"},
                                           LocaleCase{win::LOCALE_USER_DEFAULT, "English"}));

TEST(Locale, RefusesUnknownLanguagesTypesAndShortBuffers) {
  char buffer[8] = "keep";
  EXPECT_EQ(win::GetLocaleInfoA(0x0407, win::LOCALE_SENGLANGUAGE, nullptr, 0), 7) << "size needed";
  struct Case {
    win::LCID lcid;
    win::LCTYPE type;
    int size;
    win::DWORD error;
  };
  for (const Case& c : {Case{0x0000, win::LOCALE_SENGLANGUAGE, 8, win::ERROR_INVALID_PARAMETER},
                        Case{0x03FF, win::LOCALE_SENGLANGUAGE, 8, win::ERROR_INVALID_PARAMETER},
                        Case{0x0407, 0x0002, 8, win::ERROR_INVALID_PARAMETER},
                        Case{0x0409, win::LOCALE_SENGLANGUAGE, 7, win::ERROR_INSUFFICIENT_BUFFER}}) {
    win::SetLastError(0);
    EXPECT_EQ(win::GetLocaleInfoA(c.lcid, c.type, buffer, c.size), 0);
    EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_STREQ(buffer, "keep");
}

TEST(Version, ReportsTheNtFamilyFivePointOne) {
  win::OSVERSIONINFOA info;
  ASSERT_EQ(win::GetVersionExA(&info), win::TRUE);
  EXPECT_EQ(info.dwPlatformId, win::VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_GE(info.dwBuildNumber, 1081u);
  win::OSVERSIONINFOW wide;
  ASSERT_EQ(win::GetVersionExW(&wide), win::TRUE);
  EXPECT_EQ(wide.dwMajorVersion, 5u);
  info.dwOSVersionInfoSize = 12;
  EXPECT_EQ(win::GetVersionExA(&info), win::FALSE);
  EXPECT_EQ(win::GetVersion() & 0xFFFF, 0x0105u);
  EXPECT_EQ(win::GetVersion() & 0x80000000u, 0u);
}

TEST(Process, IdentifiesProcessAndThreads) {
  EXPECT_EQ(win::GetCurrentProcessId(), static_cast<win::DWORD>(getpid()));
  const win::DWORD mine = win::GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(win::GetCurrentThreadId(), mine);
  win::DWORD other = mine;
  std::thread([&] { other = win::GetCurrentThreadId(); }).join();
  EXPECT_NE(other, mine);
}

TEST(MessageBox, GoesToTheInstalledSinkAndAnswersTheDefaultButton) {
  {
    dashtune::testing::MessageBoxCapture capture;
    EXPECT_EQ(win::MessageBoxA(nullptr, "Port busy", "Error", win::MB_OK | win::MB_ICONEXCLAMATION), win::IDOK);
    EXPECT_EQ(win::MessageBoxW(nullptr, u"PIDLs \u00FC", u"Fehler", win::MB_YESNO | win::MB_DEFBUTTON2), win::IDNO);
    const auto boxes = capture.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Port busy");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[1].text, "PIDLs \xC3\xBC");
    {
      dashtune::testing::MessageBoxCapture inner(win::IDCANCEL);
      EXPECT_EQ(win::MessageBoxA(nullptr, "inner", "", win::MB_OKCANCEL), win::IDCANCEL);
    }
    win::MessageBoxA(nullptr, "outer again", "", win::MB_OK);
    EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"Port busy", "PIDLs \xC3\xBC", "outer again"}));
  }
  struct Case {
    win::UINT type;
    win::INT answer;
  };
  for (const Case& c : {Case{win::MB_OK, win::IDOK}, Case{win::MB_OKCANCEL | win::MB_DEFBUTTON2, win::IDCANCEL},
                        Case{win::MB_YESNOCANCEL | win::MB_DEFBUTTON3, win::IDCANCEL},
                        Case{win::MB_ABORTRETRYIGNORE, win::IDABORT}, Case{win::MB_RETRYCANCEL, win::IDRETRY}})
    EXPECT_EQ(win::DefaultMessageBoxAnswer(c.type), c.answer);
}

}  // namespace
