// What a COM call's failure becomes: a vantrel::Failure with the host's own
// number and text where it gave them, else the system's text for the status.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

#include "base/Failure.h"

namespace vantrel::host::com {

// The text for a status code: the system's message, trimmed, or a short
// fixed text when the system has none.
std::string StatusText(HRESULT hr);

// A failure for a status code with the system's text for it.
Failure FailureFromStatus(HRESULT hr);

// The conventional HRESULT for an EXCEPINFO that carries only a wCode.
HRESULT HresultFromWCode(WORD code) noexcept;

// A failure from what a call returned: the EXCEPINFO's scode or wCode and its
// description when the call raised an exception, else the HRESULT.
Failure FailureFromException(HRESULT hr, const EXCEPINFO& info);

}  // namespace vantrel::host::com
