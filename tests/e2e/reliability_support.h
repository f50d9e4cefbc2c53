// What the reliability tests share: following a run of vantrel.exe to its end
// through every message box it shows, and watching for boxes while waiting
// for something else. Built on the end-to-end harness and UI driver.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_user.h"

namespace vantrel::e2e::reliability {

inline constexpr char kNotRunningText[] = "AutoCad Not Running";
inline constexpr char kAppTitle[] = "Vantrel";
inline constexpr char kErrorTitle[] = "App Error";

// How long a run may take from a vanished host to its end: a retried call
// giving up, a box, the next tick, a second box.
inline constexpr Milliseconds kEndingDeadline = 45s;
// More than the program's retry window for a busy host (5 s), with room.
inline constexpr Milliseconds kBeyondRetryDeadline = 30s;

// The sample sheet's active viewport as "Current Scale" reads it.
inline constexpr char kSampleReadout[] = "0.25 = 1'-0";

struct Ending {
    std::vector<MessageBoxSeen> boxes;  // in the order they showed
    bool ended = false;
    std::optional<DWORD> exitCode;
};

inline std::ostream& operator<<(std::ostream& out, const Ending& ending) {
    out << (ending.ended ? "ended" : "still running");
    if (ending.exitCode) out << " with exit code " << *ending.exitCode;
    for (const MessageBoxSeen& box : ending.boxes) out << "\n  box \"" << box.title << "\": " << box.text;
    return out;
}

// Presses OK on every box the process shows, in turn, until it ends or the
// deadline passes. A box still open at the deadline counts as a hang.
inline Ending FollowToTheEnd(ChildProcess& process, Milliseconds timeout = kEndingDeadline) {
    Ending ending;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto left = [&] {
        return std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    while (left().count() > 0) {
        if (!WaitUntil([&] { return !process.Running() || MessageBoxShown(process.Id()); }, left())) break;
        if (!process.Running()) break;
        const std::optional<MessageBoxSeen> box = WaitForMessageBox(process.Id(), left());
        if (!box) continue;
        ending.boxes.push_back(*box);
        PressOk(*box);
        // The same box until it is gone; the next one, if any, is a new window.
        WaitUntil([&] { return !IsWindow(box->window) || !process.Running(); }, left());
        if (ending.boxes.size() > 8) break;  // a loop of boxes is a hang too
    }
    ending.ended = process.WaitForExit(0ms);
    ending.exitCode = process.ExitCode();
    return ending;
}

// Waits for `condition` like WaitUntil, and remembers the first message box
// of the process seen meanwhile.
inline bool WaitWatchingBoxes(const std::function<bool()>& condition, DWORD processId,
                              std::optional<MessageBoxSeen>& firstBox, Milliseconds timeout = kActionDeadline) {
    return WaitUntil(
        [&] {
            if (!firstBox && MessageBoxShown(processId)) firstBox = WaitForMessageBox(processId, 1s);
            return condition();
        },
        timeout);
}

// The calls at or after `from` whose text contains all the fragments.
inline std::size_t CountCalls(const std::vector<std::string>& calls, std::initializer_list<std::string_view> fragments,
                              std::size_t from = 0) {
    std::size_t count = 0;
    for (std::size_t i = from; i < calls.size(); ++i) {
        bool all = true;
        for (const std::string_view fragment : fragments) all = all && calls[i].find(fragment) != std::string::npos;
        if (all) ++count;
    }
    return count;
}

}  // namespace vantrel::e2e::reliability
