// Serial error texts and codes: the message table and the exceptions that carry them.
#include "components/serial/serial_errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <typeinfo>

#include "classlib/classes.h"
#include "components/serial/serial_messages.h"

namespace dashtune::serial {
namespace {

// The keys of the message table as runs of numbers, in table order.
struct KeyRun {
  int first;
  int last;
};
constexpr KeyRun kKeyRuns[] = {
    {0, 0},           {-2, -6},         {-8, -8},         {-15, -15},       {-18, -18},       {-100, -105},
    {-150, -162},     {-1001, -1009},   {-2001, -2012},   {-3001, -3010},   {-4001, -4017},   {-4020, -4021},
    {4101, 4101},     {4200, 4213},     {4301, 4312},     {4401, 4403},     {4500, 4523},     {4550, 4553},
    {4599, 4611},     {4630, 4633},     {4660, 4671},     {4700, 4728},     {4730, 4730},     {4801, 4808},
    {4820, 4828},     {4830, 4832},     {4840, 4843},     {-5001, -5003},   {-5501, -5506},   {-6001, -6016},
    {-7001, -7014},   {-7500, -7502},   {-8001, -8005},   {-8050, -8055},   {-8060, -8075},   {-8080, -8083},
    {-8085, -8085},   {-8087, -8092},   {-8100, -8103},   {-8300, -8305},   {-8310, -8318},   {-8320, -8322},
    {-8330, -8332},   {-8340, -8340},   {-8500, -8500},   {9001, 9007},     {10000, 10000},   {10004, 10004},
    {10009, 10009},   {10013, 10014},   {10022, 10022},   {10024, 10024},   {10035, 10071},   {10091, 10093},
    {10101, 10101},   {11001, 11004},   {13501, 13516},   {13533, 13557},   {13565, 13565},   {13597, 13601},
    {13650, 13670},   {-13801, -13803}, {-13805, -13848}, {-13850, -13886}, {-13928, -13932}, {13933, 13933},
    {-13934, -13945}, {-13950, -13959}, {-13980, -13980}, {15001, 15021},   {15100, 15356},   {15501, 15502},
    {15601, 15608},   {15700, 15742}};

std::vector<int> ExpectedKeys() {
  std::vector<int> keys;
  for (const KeyRun& run : kKeyRuns) {
    int step = run.last >= run.first ? 1 : -1;
    for (int key = run.first;; key += step) {
      keys.push_back(key);
      if (key == run.last) break;
    }
  }
  return keys;
}

TEST(SerialMessageTable, HoldsEveryKeyInOrder) {
  std::vector<int> keys = ExpectedKeys();
  ASSERT_EQ(keys.size(), kMessageCount);
  for (std::size_t i = 0; i < kMessageCount; ++i) {
    EXPECT_EQ(kMessageTable[i].MessageNumber, keys[i]) << "record " << i;
    EXPECT_NE(std::string(kMessageTable[i].MessageString), "") << keys[i];
  }
}

TEST(SerialMessageTable, ErrorMsgFindsEveryKeyBySignedOrAbsoluteCode) {
  for (const auto& record : kMessageTable) {
    EXPECT_EQ(ErrorMsg(record.MessageNumber), record.MessageString) << record.MessageNumber;
    EXPECT_EQ(ErrorMsg(std::abs(record.MessageNumber)), record.MessageString) << record.MessageNumber;
  }
}

constexpr std::uint32_t kFrozenHash = 3727700032u;

// The texts that are not quoted by the library's users were chosen once; this hash keeps them.
TEST(SerialMessageTable, TextsAreFrozen) {
  std::uint32_t hash = 2166136261u;
  for (const auto& record : kMessageTable) {
    std::string line = std::to_string(record.MessageNumber) + "=" + record.MessageString + "\n";
    for (unsigned char c : line) hash = (hash ^ c) * 16777619u;
  }
  EXPECT_EQ(hash, kFrozenHash);
}

struct QuotedText {
  int code;
  const char* text;
};
constexpr QuotedText kQuotedTexts[] = {
    {0, "OK"},
    {-2, "File not found"},
    {-3, "Path not found"},
    {-4, "Too many open files"},
    {-5, "File access denied"},
    {-6, "Invalid file handle"},
    {-8, "Insufficient memory"},
    {-15, "Invalid drive"},
    {-18, "No more files"},
    {-100, "Attempt to read beyond end of file"},
    {-101, "Disk is full"},
    {-102, "File/device not assigned"},
    {-103, "File/device not open"},
    {-104, "File/device not open for input"},
    {-105, "File/device not open for output"},
    {-150, "Disk is write-protected"},
    {-151, "Unknown disk unit"},
    {-152, "Drive is not ready"},
    {-153, "Unknown command"},
    {-154, "Data error"},
    {-155, "Bad request structure length"},
    {-156, "Seek error"},
    {-157, "Unknown media type"},
    {-158, "Disk sector not found"},
    {-159, "Printer is out of paper"},
    {-160, "Device write error"},
    {-161, "Device read error"},
    {-162, "General failure"},
    {-1001, "Bad handle passed to com function"},
    {-1002, "Bad argument passed to function"},
    {-1003, "Got quit message"},
    {-1004, "Terminal buffer greater than 65521"},
    {-1005, "ComPort component not assigned"},
    {-1006, "Internal error creating window class"},
    {-1007, "Modem component not assigned"},
    {-1008, "Phonebook component not assigned"},
    {-1009, "Component not compatible with WinSock"},
    {-2001, "ie_BadId - Specified comport doesn't exist"},
    {-2002, "ie_Baudrate - unsupported baud rate"},
    {-2003, "ie_Bytesize - invalid byte size"},
    {-2004, "ie_Default - error in default parameters"},
    {-2005, "ie_Hardware - Specified comport in use"},
    {-2006, "ie_Memory - unable to allocate queues"},
    {-2007, "ie_NOpen - device not open"},
    {-2008, "ie_Open - device already open"},
    {-2009, "No more handles, can't open port"},
    {-2010, "No timers available"},
    {-2011, "The ComNumber property of the TSerComPort has not been set"},
    {-2012, "Comport was not opened by Tapi"},
    {-3001, "No device layer specified"},
    {-3002, "Function not supported by driver"},
    {-3003, "EnableCommNotification failed"},
    {-3004, "Failed to put entire block"},
    {-3005, "Failed to get entire block"},
    {-3006, "Output buffer too small for block"},
    {-3007, "Buffer is empty"},
    {-3008, "Tracing not enabled"},
    {-3009, "Logging not enabled"},
    {-3010, "Base address not set"},
};

TEST(SerialMessageTable, QuotedTextsAreExact) {
  for (const QuotedText& quoted : kQuotedTexts) EXPECT_EQ(ErrorMsg(quoted.code), quoted.text) << quoted.code;
}

TEST(SerialMessageTable, CodeIsTakenAsSixteenBits) {
  EXPECT_EQ(ErrorMsg(-2001 + 65536), ErrorMsg(-2001));
  EXPECT_EQ(ErrorMsg(65536 + 3007), "Buffer is empty");
}

template <class E>
bool IsA(const ESerialException& e) {
  return typeid(e) == typeid(E);
}

struct CodeClassCase {
  int code;
  bool (*is)(const ESerialException&);
  const char* name;
};
constexpr CodeClassCase kCodeClasses[] = {
    {-1002, &IsA<EBadArgument>, "EBadArgument"},
    {-1003, &IsA<EGotQuitMsg>, "EGotQuitMsg"},
    {-1004, &IsA<EBufferTooBig>, "EBufferTooBig"},
    {-1005, &IsA<EPortNotAssigned>, "EPortNotAssigned"},
    {-1006, &IsA<EInternal>, "EInternal"},
    {-1007, &IsA<EModemNotAssigned>, "EModemNotAssigned"},
    {-1008, &IsA<EPhonebookNotAssigned>, "EPhonebookNotAssigned"},
    {-1009, &IsA<ECannotUseWithWinSock>, "ECannotUseWithWinSock"},
    {-2001, &IsA<EBadId>, "EBadId"},
    {-2002, &IsA<EBaudRate>, "EBaudRate"},
    {-2003, &IsA<EByteSize>, "EByteSize"},
    {-2004, &IsA<EDefault>, "EDefault"},
    {-2005, &IsA<EHardware>, "EHardware"},
    {-2006, &IsA<EMemory>, "EMemory"},
    {-2007, &IsA<ECommNotOpen>, "ECommNotOpen"},
    {-2008, &IsA<EAlreadyOpen>, "EAlreadyOpen"},
    {-2009, &IsA<ENoHandles>, "ENoHandles"},
    {-2010, &IsA<ENoTimers>, "ENoTimers"},
    {-2011, &IsA<ENoPortSelected>, "ENoPortSelected"},
    {-2012, &IsA<ENotOpenedByTapi>, "ENotOpenedByTapi"},
    {-3001, &IsA<ENullApi>, "ENullApi"},
    {-3003, &IsA<ERegisterHandlerFailed>, "ERegisterHandlerFailed"},
    {-3004, &IsA<EPutBlockFail>, "EPutBlockFail"},
    {-3005, &IsA<EGetBlockFail>, "EGetBlockFail"},
    {-3006, &IsA<EOutputBufferTooSmall>, "EOutputBufferTooSmall"},
    {-3007, &IsA<EBufferIsEmpty>, "EBufferIsEmpty"},
    {-3008, &IsA<ETracingNotEnabled>, "ETracingNotEnabled"},
    {-3009, &IsA<ELoggingNotEnabled>, "ELoggingNotEnabled"},
    {-3010, &IsA<EBaseAddressNotSet>, "EBaseAddressNotSet"},
    {-4001, &IsA<EModemNotStarted>, "EModemNotStarted"},
    {-4002, &IsA<EModemBusy>, "EModemBusy"},
    {-4003, &IsA<EModemNotDialing>, "EModemNotDialing"},
    {-4004, &IsA<ENotDialing>, "ENotDialing"},
    {-4005, &IsA<EAlreadyDialing>, "EAlreadyDialing"},
    {-4006, &IsA<EModemNotResponding>, "EModemNotResponding"},
    {-4007, &IsA<EModemRejectedCommand>, "EModemRejectedCommand"},
    {-4008, &IsA<EModemStatusMismatch>, "EModemStatusMismatch"},
    {-5001, &IsA<ENoMoreTriggers>, "ENoMoreTriggers"},
    {-5002, &IsA<ETriggerTooLong>, "ETriggerTooLong"},
    {-5003, &IsA<EBadTriggerHandle>, "EBadTriggerHandle"},
    {-6006, &IsA<EProtocol>, "EProtocol"},
    {-6008, &IsA<EProtocol>, "EProtocol"},
    {-6009, &IsA<EProtocol>, "EProtocol"},
    {-7001, &IsA<EKeyTooLong>, "EKeyTooLong"},
    {-7002, &IsA<EDataTooLarge>, "EDataTooLarge"},
    {-7003, &IsA<EInternal>, "EInternal"},
    {-7004, &IsA<EIniWrite>, "EIniWrite"},
    {-7005, &IsA<EIniRead>, "EIniRead"},
    {-7006, &IsA<EInternal>, "EInternal"},
    {-7007, &IsA<ERecordExists>, "ERecordExists"},
    {-7008, &IsA<ERecordNotFound>, "ERecordNotFound"},
    {-7010, &IsA<EDatabaseFull>, "EDatabaseFull"},
    {-7011, &IsA<EDatabaseEmpty>, "EDatabaseEmpty"},
    {-7012, &IsA<EInternal>, "EInternal"},
    {-7013, &IsA<EBadFieldList>, "EBadFieldList"},
    {-7014, &IsA<EBadFieldForIndex>, "EBadFieldForIndex"},
    {-8001, &IsA<EFaxBadFormat>, "EFaxBadFormat"},
    {-8002, &IsA<EBadGraphicsFormat>, "EBadGraphicsFormat"},
    {-8003, &IsA<EConvertAbort>, "EConvertAbort"},
    {-8004, &IsA<EUnpackAbort>, "EUnpackAbort"},
    {-8005, &IsA<ECantMakeBitmap>, "ECantMakeBitmap"},
    {-8053, &IsA<EInvalidPageNumber>, "EInvalidPageNumber"},
    {-8060, &IsA<EFaxBadMachine>, "EFaxBadMachine"},
    {-8061, &IsA<EFaxBadModemResult>, "EFaxBadModemResult"},
    {-8062, &IsA<EFaxTrainError>, "EFaxTrainError"},
    {-8063, &IsA<EFaxInitError>, "EFaxInitError"},
    {-8064, &IsA<EFaxBusy>, "EFaxBusy"},
    {-8065, &IsA<EFaxVoiceCall>, "EFaxVoiceCall"},
    {-8066, &IsA<EFaxDataCall>, "EFaxDataCall"},
    {-8067, &IsA<EFaxNoDialTone>, "EFaxNoDialTone"},
    {-8068, &IsA<EFaxNoCarrier>, "EFaxNoCarrier"},
    {-8069, &IsA<EFaxSessionError>, "EFaxSessionError"},
    {-8070, &IsA<EFaxPageError>, "EFaxPageError"},
    {-13801, &IsA<ETapiAllocated>, "ETapiAllocated"},
    {-13802, &IsA<ETapiBadDeviceID>, "ETapiBadDeviceID"},
    {-13803, &IsA<ETapiBearerModeUnavail>, "ETapiBearerModeUnavail"},
    {-13805, &IsA<ETapiCallUnavail>, "ETapiCallUnavail"},
    {-13806, &IsA<ETapiCompletionOverrun>, "ETapiCompletionOverrun"},
    {-13807, &IsA<ETapiConferenceFull>, "ETapiConferenceFull"},
    {-13808, &IsA<ETapiDialBilling>, "ETapiDialBilling"},
    {-13809, &IsA<ETapiDialDialtone>, "ETapiDialDialtone"},
    {-13810, &IsA<ETapiDialPrompt>, "ETapiDialPrompt"},
    {-13811, &IsA<ETapiDialQuiet>, "ETapiDialQuiet"},
    {-13812, &IsA<ETapiIncompatibleApiVersion>, "ETapiIncompatibleApiVersion"},
    {-13813, &IsA<ETapiIncompatibleExtVersion>, "ETapiIncompatibleExtVersion"},
    {-13814, &IsA<ETapiIniFileCorrupt>, "ETapiIniFileCorrupt"},
    {-13815, &IsA<ETapiInUse>, "ETapiInUse"},
    {-13816, &IsA<ETapiInvalAddress>, "ETapiInvalAddress"},
    {-13817, &IsA<ETapiInvalAddressID>, "ETapiInvalAddressID"},
    {-13818, &IsA<ETapiInvalAddressMode>, "ETapiInvalAddressMode"},
    {-13819, &IsA<ETapiInvalAddressState>, "ETapiInvalAddressState"},
    {-13820, &IsA<ETapiInvalAppHandle>, "ETapiInvalAppHandle"},
    {-13821, &IsA<ETapiInvalAppName>, "ETapiInvalAppName"},
    {-13822, &IsA<ETapiInvalBearerMode>, "ETapiInvalBearerMode"},
    {-13823, &IsA<ETapiInvalCallComplMode>, "ETapiInvalCallComplMode"},
    {-13824, &IsA<ETapiInvalCallHandle>, "ETapiInvalCallHandle"},
    {-13825, &IsA<ETapiInvalCallParams>, "ETapiInvalCallParams"},
    {-13826, &IsA<ETapiInvalCallPrivilege>, "ETapiInvalCallPrivilege"},
    {-13827, &IsA<ETapiInvalCallSelect>, "ETapiInvalCallSelect"},
    {-13828, &IsA<ETapiInvalCallState>, "ETapiInvalCallState"},
    {-13829, &IsA<ETapiInvalCallStatelist>, "ETapiInvalCallStatelist"},
    {-13830, &IsA<ETapiInvalCard>, "ETapiInvalCard"},
    {-13831, &IsA<ETapiInvalCompletionID>, "ETapiInvalCompletionID"},
    {-13832, &IsA<ETapiInvalConfCallHandle>, "ETapiInvalConfCallHandle"},
    {-13833, &IsA<ETapiInvalConsultCallHandle>, "ETapiInvalConsultCallHandle"},
    {-13834, &IsA<ETapiInvalCountryCode>, "ETapiInvalCountryCode"},
    {-13835, &IsA<ETapiInvalDeviceClass>, "ETapiInvalDeviceClass"},
    {-13836, &IsA<ETapiInvalDeviceHandle>, "ETapiInvalDeviceHandle"},
    {-13837, &IsA<ETapiInvalDialParams>, "ETapiInvalDialParams"},
    {-13838, &IsA<ETapiInvalDigitList>, "ETapiInvalDigitList"},
    {-13839, &IsA<ETapiInvalDigitMode>, "ETapiInvalDigitMode"},
    {-13840, &IsA<ETapiInvalDigits>, "ETapiInvalDigits"},
    {-13841, &IsA<ETapiInvalExtVersion>, "ETapiInvalExtVersion"},
    {-13842, &IsA<ETapiInvalGroupID>, "ETapiInvalGroupID"},
    {-13843, &IsA<ETapiInvalLineHandle>, "ETapiInvalLineHandle"},
    {-13844, &IsA<ETapiInvalLineState>, "ETapiInvalLineState"},
    {-13845, &IsA<ETapiInvalLocation>, "ETapiInvalLocation"},
    {-13846, &IsA<ETapiInvalMediaList>, "ETapiInvalMediaList"},
    {-13847, &IsA<ETapiInvalMediaMode>, "ETapiInvalMediaMode"},
    {-13848, &IsA<ETapiInvalMessageID>, "ETapiInvalMessageID"},
    {-13850, &IsA<ETapiInvalParam>, "ETapiInvalParam"},
    {-13851, &IsA<ETapiInvalParkID>, "ETapiInvalParkID"},
    {-13852, &IsA<ETapiInvalParkMode>, "ETapiInvalParkMode"},
    {-13853, &IsA<ETapiInvalPointer>, "ETapiInvalPointer"},
    {-13854, &IsA<ETapiInvalPrivSelect>, "ETapiInvalPrivSelect"},
    {-13855, &IsA<ETapiInvalRate>, "ETapiInvalRate"},
    {-13856, &IsA<ETapiInvalRequestMode>, "ETapiInvalRequestMode"},
    {-13857, &IsA<ETapiInvalTerminalID>, "ETapiInvalTerminalID"},
    {-13858, &IsA<ETapiInvalTerminalMode>, "ETapiInvalTerminalMode"},
    {-13859, &IsA<ETapiInvalTimeout>, "ETapiInvalTimeout"},
    {-13860, &IsA<ETapiInvalTone>, "ETapiInvalTone"},
    {-13861, &IsA<ETapiInvalToneList>, "ETapiInvalToneList"},
    {-13862, &IsA<ETapiInvalToneMode>, "ETapiInvalToneMode"},
    {-13863, &IsA<ETapiInvalTransferMode>, "ETapiInvalTransferMode"},
    {-13864, &IsA<ETapiLineMapperFailed>, "ETapiLineMapperFailed"},
    {-13865, &IsA<ETapiNoConference>, "ETapiNoConference"},
    {-13866, &IsA<ETapiNoDevice>, "ETapiNoDevice"},
    {-13867, &IsA<ETapiNoDriver>, "ETapiNoDriver"},
    {-13868, &IsA<ETapiNoMem>, "ETapiNoMem"},
    {-13869, &IsA<ETapiNoRequest>, "ETapiNoRequest"},
    {-13870, &IsA<ETapiNotOwner>, "ETapiNotOwner"},
    {-13871, &IsA<ETapiNotRegistered>, "ETapiNotRegistered"},
    {-13872, &IsA<ETapiOperationFailed>, "ETapiOperationFailed"},
    {-13873, &IsA<ETapiOperationUnavail>, "ETapiOperationUnavail"},
    {-13874, &IsA<ETapiRateUnavail>, "ETapiRateUnavail"},
    {-13875, &IsA<ETapiResourceUnavail>, "ETapiResourceUnavail"},
    {-13876, &IsA<ETapiRequestOverrun>, "ETapiRequestOverrun"},
    {-13877, &IsA<ETapiStructureTooSmall>, "ETapiStructureTooSmall"},
    {-13878, &IsA<ETapiTargetNotFound>, "ETapiTargetNotFound"},
    {-13879, &IsA<ETapiTargetSelf>, "ETapiTargetSelf"},
    {-13880, &IsA<ETapiUninitialized>, "ETapiUninitialized"},
    {-13881, &IsA<ETapiUserUserInfoTooBig>, "ETapiUserUserInfoTooBig"},
    {-13882, &IsA<ETapiReinit>, "ETapiReinit"},
    {-13883, &IsA<ETapiAddressBlocked>, "ETapiAddressBlocked"},
    {-13884, &IsA<ETapiBillingRejected>, "ETapiBillingRejected"},
    {-13885, &IsA<ETapiInvalFeature>, "ETapiInvalFeature"},
    {-13886, &IsA<ETapiNoMultipleInstance>, "ETapiNoMultipleInstance"},
    {-13928, &IsA<ETapiBusy>, "ETapiBusy"},
    {-13929, &IsA<ETapiNotSet>, "ETapiNotSet"},
    {-13930, &IsA<ETapiNoSelect>, "ETapiNoSelect"},
    {-13931, &IsA<ETapiLoadFail>, "ETapiLoadFail"},
    {-13932, &IsA<ETapiGetAddrFail>, "ETapiGetAddrFail"},
    {-13935, &IsA<ETapiVoiceNotSupported>, "ETapiVoiceNotSupported"},
    {-13936, &IsA<ETapiWaveFail>, "ETapiWaveFail"},
    {-13942, &IsA<ETapiTranslateFail>, "ETapiTranslateFail"},
    {-13980, &IsA<ERasLoadFail>, "ERasLoadFail"},
};

TEST(SerialCheckException, EveryListedCodeRaisesItsClassWithCodeAndText) {
  for (const CodeClassCase& entry : kCodeClasses) {
    try {
      CheckException(nullptr, entry.code);
      ADD_FAILURE() << entry.code << " raised nothing";
    } catch (const ESerialException& e) {
      EXPECT_TRUE(entry.is(e)) << entry.code << " should raise " << entry.name;
      EXPECT_EQ(e.ErrorCode, entry.code);
      EXPECT_EQ(e.GetMessage(), ErrorMsg(entry.code));
    }
  }
}

TEST(SerialCheckException, FamiliesRootTheLeaves) {
  EXPECT_THROW(CheckException(nullptr, -2001), EOpenComm);
  EXPECT_THROW(CheckException(nullptr, -3007), ESerialIO);
  EXPECT_THROW(CheckException(nullptr, -1002), EGeneral);
  EXPECT_THROW(CheckException(nullptr, -13868), ETapi);
  EXPECT_THROW(CheckException(nullptr, -8065), EFax);
  EXPECT_THROW(CheckException(nullptr, -7003), EGeneral);
}

TEST(SerialCheckException, NonNegativeCodesPassThrough) {
  EXPECT_EQ(CheckException(nullptr, 0), 0);
  EXPECT_EQ(CheckException(nullptr, 1), 1);
}

TEST(SerialCheckException, BadIdMessage) {
  try {
    CheckException(nullptr, -2001);
    FAIL();
  } catch (const EBadId& e) {
    EXPECT_EQ(e.ErrorCode, -2001);
    EXPECT_EQ(e.GetMessage(), "ie_BadId - Specified comport doesn't exist");
  }
}

TEST(SerialCheckException, UnlistedCodesRaiseTheGenericException) {
  for (int code : {-1001, -3002, -4009, -6001, -7009, -8050, -13804, -13933, -20000}) {
    try {
      CheckException(nullptr, code);
      FAIL() << code;
    } catch (const ESerialException& e) {
      EXPECT_TRUE(typeid(e) == typeid(ESerialException)) << code;
      EXPECT_EQ(e.ErrorCode, 0);
      EXPECT_EQ(e.GetMessage(), kGenericErrorMessage);
    }
  }
}

TEST(SerialCheckException, SystemErrorNumbersRaiseInOutErrors) {
  for (int code : {-2, -5, -100, -160, -161, -162}) {
    try {
      CheckException(nullptr, code);
      FAIL() << code;
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, -code);
      EXPECT_EQ(e.GetMessage(), ErrorMsg(code));
    }
  }
  EXPECT_THROW(CheckException(nullptr, -8), EOutOfMemory);
}

TEST(SerialMessageTable, OtherCodesTakeTheSystemsTextCleaned) {
  EXPECT_EQ(ErrorMsg(121), "The semaphore timeout period has expired. ");
  EXPECT_EQ(ErrorMsg(-121), "The semaphore timeout period has expired. ");
  EXPECT_EQ(ErrorMsg(31999), "");
}

TEST(SerialCheckException, NegatedSystemErrorsCarryTheSystemsText) {
  try {
    CheckException(nullptr, -121);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 121);
    EXPECT_EQ(e.GetMessage(), "The semaphore timeout period has expired. ");
  }
}

TEST(SerialCheckException, NothingIsRaisedWhileLoading) {
  TComponent component(nullptr);
  component.BeginLoading();
  EXPECT_EQ(CheckException(&component, -2001), -2001);
  component.Loaded();
  EXPECT_THROW(CheckException(&component, -2001), EBadId);
}

}  // namespace
}  // namespace dashtune::serial
