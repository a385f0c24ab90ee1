// Error codes of the serial library, their texts and the exception classes they become.
// Every operation of the library answers 0 (or a positive status) for success and a negative
// code for failure; CheckException turns a negative code into an exception.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/sysutils.h"

namespace dashtune {

class TComponent;

// Root of the serial library's exceptions. ErrorCode is the library code that caused it, or 0
// for exceptions made from a plain message.
class ESerialException : public Exception {
 public:
  explicit ESerialException(int code);
  explicit ESerialException(const std::string& message);

  std::int32_t ErrorCode = 0;
};

#define DASHTUNE_SERIAL_EXCEPTION(name, base)   \
  class name : public base {                     \
   public:                                       \
    using base::base;                            \
  };
DASHTUNE_SERIAL_EXCEPTION(EGeneral, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EOpenComm, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(ESerialIO, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EModem, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(ETrigger, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EProtocol, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EINI, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EFax, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(ETapi, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(ERas, ESerialException)
DASHTUNE_SERIAL_EXCEPTION(EBadArgument, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EGotQuitMsg, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EBufferTooBig, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EPortNotAssigned, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EInternal, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EModemNotAssigned, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EPhonebookNotAssigned, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(ECannotUseWithWinSock, EGeneral)
DASHTUNE_SERIAL_EXCEPTION(EBadId, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EBaudRate, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EByteSize, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EDefault, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EHardware, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EMemory, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ECommNotOpen, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(EAlreadyOpen, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ENoHandles, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ENoTimers, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ENoPortSelected, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ENotOpenedByTapi, EOpenComm)
DASHTUNE_SERIAL_EXCEPTION(ENullApi, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(ERegisterHandlerFailed, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EPutBlockFail, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EGetBlockFail, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EOutputBufferTooSmall, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EBufferIsEmpty, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(ETracingNotEnabled, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(ELoggingNotEnabled, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EBaseAddressNotSet, ESerialIO)
DASHTUNE_SERIAL_EXCEPTION(EModemNotStarted, EModem)
DASHTUNE_SERIAL_EXCEPTION(EModemBusy, EModem)
DASHTUNE_SERIAL_EXCEPTION(EModemNotDialing, EModem)
DASHTUNE_SERIAL_EXCEPTION(EModemNotResponding, EModem)
DASHTUNE_SERIAL_EXCEPTION(EModemRejectedCommand, EModem)
DASHTUNE_SERIAL_EXCEPTION(EModemStatusMismatch, EModem)
DASHTUNE_SERIAL_EXCEPTION(EAlreadyDialing, EModem)
DASHTUNE_SERIAL_EXCEPTION(ENotDialing, EModem)
DASHTUNE_SERIAL_EXCEPTION(ENoMoreTriggers, ETrigger)
DASHTUNE_SERIAL_EXCEPTION(ETriggerTooLong, ETrigger)
DASHTUNE_SERIAL_EXCEPTION(EBadTriggerHandle, ETrigger)
DASHTUNE_SERIAL_EXCEPTION(EKeyTooLong, EINI)
DASHTUNE_SERIAL_EXCEPTION(EDataTooLarge, EINI)
DASHTUNE_SERIAL_EXCEPTION(EIniWrite, EINI)
DASHTUNE_SERIAL_EXCEPTION(EIniRead, EINI)
DASHTUNE_SERIAL_EXCEPTION(ERecordExists, EINI)
DASHTUNE_SERIAL_EXCEPTION(ERecordNotFound, EINI)
DASHTUNE_SERIAL_EXCEPTION(EDatabaseFull, EINI)
DASHTUNE_SERIAL_EXCEPTION(EDatabaseEmpty, EINI)
DASHTUNE_SERIAL_EXCEPTION(EBadFieldList, EINI)
DASHTUNE_SERIAL_EXCEPTION(EBadFieldForIndex, EINI)
DASHTUNE_SERIAL_EXCEPTION(EFaxBadFormat, EFax)
DASHTUNE_SERIAL_EXCEPTION(EBadGraphicsFormat, EFax)
DASHTUNE_SERIAL_EXCEPTION(EConvertAbort, EFax)
DASHTUNE_SERIAL_EXCEPTION(EUnpackAbort, EFax)
DASHTUNE_SERIAL_EXCEPTION(ECantMakeBitmap, EFax)
DASHTUNE_SERIAL_EXCEPTION(EInvalidPageNumber, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxBadMachine, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxBadModemResult, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxTrainError, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxInitError, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxBusy, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxVoiceCall, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxDataCall, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxNoDialTone, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxNoCarrier, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxSessionError, EFax)
DASHTUNE_SERIAL_EXCEPTION(EFaxPageError, EFax)
DASHTUNE_SERIAL_EXCEPTION(ETapiAllocated, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiBadDeviceID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiBearerModeUnavail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiCallUnavail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiCompletionOverrun, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiConferenceFull, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiDialBilling, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiDialDialtone, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiDialPrompt, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiDialQuiet, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiIncompatibleApiVersion, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiIncompatibleExtVersion, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiIniFileCorrupt, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInUse, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAddress, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAddressID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAddressMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAddressState, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAppHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalAppName, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalBearerMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallComplMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallParams, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallPrivilege, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallSelect, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallState, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCallStatelist, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCard, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCompletionID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalConfCallHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalConsultCallHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalCountryCode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDeviceClass, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDeviceHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDialParams, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDigitList, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDigitMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalDigits, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalExtVersion, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalGroupID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalLineHandle, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalLineState, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalLocation, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalMediaList, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalMediaMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalMessageID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalParam, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalParkID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalParkMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalPointer, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalPrivSelect, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalRate, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalRequestMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalTerminalID, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalTerminalMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalTimeout, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalTone, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalToneList, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalToneMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalTransferMode, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiLineMapperFailed, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoConference, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoDevice, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoDriver, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoMem, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoRequest, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNotOwner, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNotRegistered, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiOperationFailed, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiOperationUnavail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiRateUnavail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiResourceUnavail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiRequestOverrun, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiStructureTooSmall, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiTargetNotFound, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiTargetSelf, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiUninitialized, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiUserUserInfoTooBig, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiReinit, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiAddressBlocked, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiBillingRejected, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiInvalFeature, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoMultipleInstance, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiBusy, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNotSet, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiNoSelect, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiLoadFail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiGetAddrFail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiVoiceNotSupported, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiWaveFail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ETapiTranslateFail, ETapi)
DASHTUNE_SERIAL_EXCEPTION(ERasLoadFail, ERas)
#undef DASHTUNE_SERIAL_EXCEPTION

namespace serial {

// Codes the library itself produces.
inline constexpr int kOK = 0;
inline constexpr int kErrFileNotFound = -2;
inline constexpr int kErrPathNotFound = -3;
inline constexpr int kErrAccessDenied = -5;
inline constexpr int kErrOutOfMemory = -8;
inline constexpr int kErrDeviceWrite = -160;
inline constexpr int kErrDeviceRead = -161;
inline constexpr int kErrBadHandle = -1001;
inline constexpr int kErrBadArgument = -1002;
inline constexpr int kErrBadId = -2001;
inline constexpr int kErrBaudRate = -2002;
inline constexpr int kErrCommNotOpen = -2007;
inline constexpr int kErrAlreadyOpen = -2008;
inline constexpr int kErrNoPortSelected = -2011;
inline constexpr int kErrNotOpenedByTapi = -2012;
inline constexpr int kErrNullApi = -3001;
inline constexpr int kErrPutBlockFail = -3004;
inline constexpr int kErrOutputBufferTooSmall = -3006;
inline constexpr int kErrBufferIsEmpty = -3007;
inline constexpr int kErrBaseAddressNotSet = -3010;
inline constexpr int kErrTapiNoMem = -13868;

// The generic exception's message, used for negative codes that have no class of their own.
inline constexpr const char* kGenericErrorMessage = "Unexpected error in the serial port library";

// The text of a code: the message table's, else the system's message for that number cleaned
// of control characters and double blanks, else empty. At most 255 characters.
std::string ErrorMsg(int code);

// Answers code when it is not negative or when component is being loaded; otherwise raises the
// exception the code stands for. component may be null.
int CheckException(const TComponent* component, int code);

}  // namespace serial
}  // namespace dashtune
