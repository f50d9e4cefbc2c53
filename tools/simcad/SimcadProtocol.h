// What the end-to-end tests and the demo need to know of simcad: how to find
// its window, how to send it a command, what its journal looks like.
#pragma once

#include <cstdio>
#include <string>

namespace vantrel::simcad {

// simcad's own window, found by class name.
inline constexpr wchar_t kWindowClass[] = L"VantrelSimcadWindow";
inline constexpr wchar_t kWindowTitle[] = L"simcad \u2014 simulated CAD host";

// WM_COPYDATA tag of a control command; the data is the command as UTF-8
// text without a terminator. The message returns TRUE when the command was
// understood. Commands:
//   exit                       vanish at once, like a crashed host (no cleanup)
//   quit                       clean exit: revoke, remove the registration
//   activate N                 bring document N (1-based) to the front
//   fault CALL NUMBER MODE [DESCRIPTION...]
//                              CALL fails; MODE always | once | after=N | for=MS
//   busy CALL MS               CALL is rejected for MS ms from the first call it
//                              matches, as a host with a command or a dialog open
//                              does: RPC_E_SERVERCALL_RETRYLATER (0x8001010A) from
//                              Invoke, which the client retries
//   refuse CALL MS             the same with RPC_E_CALL_REJECTED (0x80010001), the
//                              code a caller gets when the host's message filter
//                              rejects its call: a busy host too, retried by the
//                              client within its time like the other (a
//                              scenario's "fail CALL 0x80010001 for=MS" does the same)
//   reject MS                  for MS ms from now, simcad's own OLE message filter
//                              (HandleInComingCall) answers SERVERCALL_REJECTED to
//                              every incoming call, whatever its object or member
//                              (COM's remote IUnknown too); the caller gets
//                              RPC_E_CALL_REJECTED. Each is journaled (see below).
//                              0: the filter takes every call again from now
//   hang MS                    simcad's main thread stops answering for MS ms from
//                              now, as a host that runs a long command, loads a
//                              big drawing, plots or runs a script: it does not
//                              pump messages, so calls into it neither answer nor
//                              get rejected until it is done, and its window and
//                              these commands wait too. This command itself is
//                              answered first. The end is journaled as kHangOverLine
//   slow CALL MS               CALL takes MS ms to answer from now on (0: at once);
//                              simcad answers nothing else meanwhile
//   user MOVE                  the user's own move in the host, on the active
//                              document: leave-viewport | enter-viewport |
//                              model-tab | layout | lock N | unlock N (item N,
//                              1-based); false when the drawing does not allow it
//   clear-journal              empty the journal file
inline constexpr unsigned long kCopyDataCommand = 0x56534D43;  // 'VSMC'

// The CLSID that the ProgID "AutoCAD.Application" maps to while simcad runs.
inline constexpr wchar_t kClsidText[] = L"{C2E5334D-54D1-4D01-BF50-C44608DA5AF1}";
inline constexpr wchar_t kProgId[] = L"AutoCAD.Application";

// simcad.exe SCENARIO_FILE [--journal FILE] [--release N]
// Without --release simcad is the host's current release: "AutoCAD.Application"
// maps to kClsidText. With --release N (1 to 9999) it is another release of the
// host running beside it, as AutoCAD 2024 beside 2025: the ProgID
// "AutoCAD.Application.N" maps to a CLSID of its own, kClsidText with its last
// four hex digits the release's number in decimal digits (release 25:
// {C2E5334D-54D1-4D01-BF50-C44608DA0025}), and the application object is in the
// running-object table under that CLSID. Each one, plain or release, also
// names its ProgID under its CLSID (Software\Classes\CLSID\{...}\ProgID), as
// an installed host does, so ProgIDFromCLSID answers it. The keys are written
// for the current user, and for the machine where the classes root does not
// merge the user's (Wine); a simcad removes only its own ProgID and CLSID keys
// when it quits, and none while another simcad of the same release still runs.
inline constexpr unsigned kLastRelease = 9999;

inline std::wstring ReleaseProgId(unsigned release) { return std::wstring(kProgId) + L"." + std::to_wstring(release); }

inline std::wstring ReleaseClsidText(unsigned release) {
    wchar_t digits[8] = {};
    std::swprintf(digits, 8, L"%04u", release % (kLastRelease + 1));
    return std::wstring(kClsidText).substr(0, 33) + digits + L"}";
}

// Journal file: one line per round trip,
//   "<sequence> <Object.Member>(<arguments>) -> <result>[ [<view>]]"
// where a property write ends the member with '=', the result is the value
// returned, "ok" for none, "error 0x8021xxxx <description>" for a failure and
// "rejected 0x8001010A" (busy) or "rejected 0x80010001" (refused) for a call the
// host would not take. A zoom names the view it changed: "[viewport N]" (paper
// space item N, 1-based), "[sheet]" or "[model]". A call that the message filter
// rejected ("reject MS") is journaled as
//   "<sequence> <Interface>.<Method>() -> rejected by the message filter"
// ("IDispatch.Invoke", "IEnumVARIANT.Next", "IRemUnknown.RemRelease", ...): the
// filter sees the interface and the method, not the member or the arguments.
// Application.HWND reads the handle of simcad's own window, as the host's
// main window, journaled as a number: "Application.HWND() -> 262242".
// Lines without a sequence: the first line is kReadyLine, written once the
// application object is in the running-object table; control commands are
// journaled as "-- <command>"; the end of a hang as kHangOverLine.
inline constexpr char kReadyLine[] = "ready";
inline constexpr char kHangOverLine[] = "hang over";
inline constexpr char kRejectedByFilterResult[] = "rejected by the message filter";

}  // namespace vantrel::simcad
