// The end-to-end tests' side of the processes they run: simcad with a
// scenario and its journal, and vantrel.exe. Every wait has a deadline and
// polls; nothing is left running when a test ends, pass or fail.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/UiDriver.h"
#include "win/Utf16.h"

namespace vantrel::e2e {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

// Deadlines: generous enough for a loaded two-core CI machine, and only ever
// reached when something is wrong.
inline constexpr Milliseconds kStartDeadline = 30s;   // a process up and ready
inline constexpr Milliseconds kActionDeadline = 10s;  // the effect of one user action
inline constexpr Milliseconds kExitDeadline = 10s;    // a process gone after its last action

// Polls `condition` until it holds (true) or `timeout` passes (false).
inline bool WaitUntil(const std::function<bool()>& condition, Milliseconds timeout) {
    return driver::WaitFor(condition, timeout);
}

// A path of the build (a Unix path under Wine, Z:\...) as Windows sees it.
inline std::wstring WindowsPath(std::string_view path) { return driver::WindowsPathOf(path); }

// Killed on destruction if still running.
using ChildProcess = driver::Process;

// simcad serving a scenario, with its journal.
class Simcad {
public:
    // Writes the scenario next to the journal (both named after the running
    // test), starts simcad and waits for its "ready". Fails the test
    // (ADD_FAILURE) and stays not ready when it does not come up.
    explicit Simcad(std::string_view scenario);
    // A clean exit ("quit"), else killed.
    ~Simcad();
    Simcad(const Simcad&) = delete;
    Simcad& operator=(const Simcad&) = delete;

    [[nodiscard]] bool Ready() const noexcept { return ready_; }
    // A control command; true when simcad understood and applied it.
    bool Send(std::string_view command);
    // Vanish at once, like a crashed host; returns once the process is gone.
    bool Vanish();

    // The calls received so far, "Object.Member(arguments) -> result", in order.
    [[nodiscard]] std::vector<std::string> Calls() const;
    // Waits until a call line contains `fragment`; returns the calls then.
    std::optional<std::vector<std::string>> WaitForCall(std::string_view fragment,
                                                        Milliseconds timeout = kActionDeadline) const;
    // The calls as one text, for failure messages.
    [[nodiscard]] std::string CallsText() const;

private:
    std::wstring journalPath_;
    std::optional<ChildProcess> process_;
    bool ready_ = false;
};

// vantrel.exe as a user starts it.
class Vantrel {
public:
    Vantrel();
    ChildProcess& Process() { return process_; }

private:
    ChildProcess process_;
};

// Lines of `calls` that contain `fragment`.
std::vector<std::string> Matching(const std::vector<std::string>& calls, std::string_view fragment);
// Position of the first line at or after `from` that contains `fragment`.
std::optional<std::size_t> Find(const std::vector<std::string>& calls, std::string_view fragment, std::size_t from = 0);

}  // namespace vantrel::e2e
