#include "Nutanix/NutanixAFSManager/RestCallGuard.h"

#include "host/SendEvent.h"

CRhError ReportRestException(const RestGuardTexts& texts, const FXCodeLocation& location,
                             const char* reason) {
    CRhError event = FXErrorUtil::ErrorEventMessage(location, kRestExceptionEventId);
    event << texts.strOperation << reason;
    ISendEventInterface::GetInstance()->SendEvent(event, 0, 0);
    return FXErrorUtil::ErrorWin32(location, ERROR_INSTALL_FAILURE_CODE, texts.strFailureFormat, reason);
}
