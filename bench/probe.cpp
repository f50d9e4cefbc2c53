// vantrel_bench.exe: measures vantrel.exe from outside, in the same Wine
// prefix (or on Windows), against simcad. Prints one line per figure; it
// never fails on a timing, only when a measurement cannot be taken.
//
//   vantrel_bench.exe --vantrel EXE --simcad EXE --floor EXE --baseline EXE --sheet FILE
//                     --work DIR [--runs N] [--ticks-seconds S] [--idle-seconds S] [--sizes 10,100,...]
//                     [--soak-seconds S] startup | footprint | growth | soak | hang | two ...
//
// Paths may be Windows paths or Unix paths of the build (under Wine).
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/ScaleCatalog.h"
#include "driver/Driver.h"
#include "win/Utf16.h"

namespace {

constexpr wchar_t kVantrelTitle[] = L"Standard Scales";
constexpr wchar_t kBaselineTitle[] = L"Vantrel baseline";
constexpr std::size_t kArchitecturalRows = 12;
constexpr DWORD kStartDeadlineMs = 60000;
constexpr DWORD kPassDeadlineMs = 900000;
// Journal polls during a pass: often enough for the time's resolution, rarely
// enough not to slow the Wine server that every process of the prefix shares.
constexpr DWORD kPassPollMs = 20;

using namespace vantrel::driver;
using vantrel::win::Utf8FromUtf16;

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The Vantrel window once it is visible with the Architectural rows in its list.
HWND VantrelReady(DWORD processId) {
    const HWND window = TopLevel(processId, kVantrelTitle);
    if (window == nullptr) return nullptr;
    const HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    return list != nullptr && static_cast<std::size_t>(ListRowCount(list)) == kArchitecturalRows ? window : nullptr;
}

HWND WaitForVantrel(const Process& vantrel, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitFor([&] { return !vantrel.Running() || (window = VantrelReady(vantrel.Id())) != nullptr; },
            Milliseconds(timeoutMs), 1ms);
    return window;
}

// A message box of the process, if one shows.
std::optional<std::string> MessageBoxText(DWORD processId) {
    const HWND box = MessageBoxOf(processId);
    if (box == nullptr) return std::nullopt;
    return BoxText(box);
}

std::optional<SIZE_T> PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
        return std::nullopt;
    }
    // Wine fills only the basic counters; PagefileUsage is the same commit charge.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// User plus kernel time, in ms.
std::optional<double> RawCpuMs(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
    const auto hundredNs = [](const FILETIME& time) {
        return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (hundredNs(kernel) + hundredNs(user)) / 10000.0;
}

// The CPU time of another process, or nothing where it cannot be read: Wine
// 8 answers GetProcessTimes with the calling process's own times.
std::optional<double> CpuMs(HANDLE process) {
    const std::optional<double> before = RawCpuMs(GetCurrentProcess());
    const std::optional<double> theirs = RawCpuMs(process);
    const std::optional<double> after = RawCpuMs(GetCurrentProcess());
    if (!theirs || (before && after && *before <= *theirs && *theirs <= *after)) return std::nullopt;
    return theirs;
}

std::string KiB(SIZE_T bytes) { return std::to_string(bytes / 1024) + " KiB"; }

struct Options {
    std::wstring vantrel;
    std::wstring simcad;
    std::wstring floor;
    std::wstring baseline;
    std::wstring sheet;
    std::wstring work;
    int runs = 7;
    int ticksSeconds = 600;
    int idleSeconds = 60;
    std::vector<int> sizes{10, 100, 1000, 10000};
    int soakSeconds = 600;
    std::vector<std::string> phases;
};

std::wstring WorkFile(const Options& options, const std::wstring& name) { return options.work + L"\\" + name; }

// ---- start-up ----------------------------------------------------------------

// Starts of each program in one start-up figure, at least: single starts
// under Wine spread over 100 ms and more, and the goal is a ratio of medians
// within 10 %.
constexpr int kStartupRuns = 11;

// Host operations the load makes on the sample sheet: attach (ActiveDocument),
// then ActiveSpace, ActiveSpace=, MSpace=False, Application, ZoomExtents and
// MSpace=True.
constexpr std::size_t kLoadCalls = 7;

// One start of a program that shows the scale list: launch to its window
// visible with its 12 rows, and the host calls it made until then.
struct Launch {
    double ms = 0.0;
    std::vector<std::string> calls;
};

std::string ExitText(const Process& program) {
    DWORD code = 0;
    if (program.Running() || !GetExitCodeProcess(program.Handle(), &code)) return "did not show its window";
    return "ended with exit code " + std::to_string(code) + " before its window showed";
}

std::optional<Launch> LaunchToRows(const std::wstring& exe, Simcad& simcad) {
    const double start = NowMs();
    Process program(exe, L"");
    if (WaitForVantrel(program, kStartDeadlineMs) == nullptr) {
        Say("start-up: " + Utf8FromUtf16(std::filesystem::path(exe).filename().wstring()) + " " + ExitText(program));
        return std::nullopt;
    }
    Launch launch;
    launch.ms = NowMs() - start;
    // The load is over before the window shows: every call of it is in the journal now.
    for (const auto& call : simcad.Calls()) launch.calls.push_back(call.text);
    return launch;
}

struct StartupRun {
    Launch vantrel;
    Launch floor;
    double emptyMs = 0.0;
};

// Vantrel, the floor and the empty window, one after the other. Vantrel and
// the floor each meet a simcad of their own, just started with the sample
// sheet, so that each finds the drawing in model space as the sheet has it,
// not as the other's load left it. The empty window starts while the floor's
// simcad still runs, so that all three start beside a running host.
std::optional<StartupRun> StartupOnce(const Options& options, int run) {
    const std::wstring name = L"startup-" + std::to_wstring(run);
    StartupRun result;
    {
        Simcad simcad(options.simcad, options.sheet, WorkFile(options, name + L"-vantrel.journal"));
        if (!simcad.Ready()) return std::nullopt;
        std::optional<Launch> vantrel = LaunchToRows(options.vantrel, simcad);
        if (!vantrel) return std::nullopt;
        result.vantrel = std::move(*vantrel);
    }
    Simcad simcad(options.simcad, options.sheet, WorkFile(options, name + L"-floor.journal"));
    if (!simcad.Ready()) return std::nullopt;
    std::optional<Launch> floor = LaunchToRows(options.floor, simcad);
    if (!floor) return std::nullopt;
    result.floor = std::move(*floor);

    const double start = NowMs();
    Process empty(options.baseline, L"");
    HWND window = nullptr;
    while (empty.Running() && NowMs() < start + kStartDeadlineMs &&
           (window = TopLevel(empty.Id(), kBaselineTitle)) == nullptr) {
        Sleep(1);
    }
    if (window == nullptr) return std::nullopt;
    result.emptyMs = NowMs() - start;
    return result;
}

// Where the start-up time goes, seen from outside: the hidden window with its
// controls made, the load's first host call answered (for Vantrel: the
// attach), its last one answered (the drawing prepared), the window visible
// with its rows. Separate runs, since watching the journal every millisecond
// loads the Wine server the measured runs share.
struct StartupPhases {
    double controlsMs = -1.0;
    double firstCallMs = -1.0;
    double loadCallsMs = -1.0;
    double visibleMs = -1.0;
    std::size_t loadCalls = 0;
};

// `lastClass` and `lastCaption` name the control the program makes last.
std::optional<StartupPhases> StartupPhasesOnce(const Options& options, const std::wstring& exe,
                                               const wchar_t* lastClass, const wchar_t* lastCaption,
                                               const std::wstring& journal) {
    Simcad simcad(options.simcad, options.sheet, WorkFile(options, journal));
    if (!simcad.Ready()) return std::nullopt;
    StartupPhases phases;
    const double start = NowMs();
    Process program(exe, L"");
    while (program.Running() && NowMs() < start + kStartDeadlineMs) {
        const double now = NowMs() - start;
        if (phases.controlsMs < 0) {
            const HWND window = TopLevel(program.Id(), kVantrelTitle, nullptr, false);
            if (window != nullptr && FindWindowExW(window, nullptr, lastClass, lastCaption) != nullptr) {
                phases.controlsMs = now;
            }
        }
        const auto& calls = simcad.Calls();
        if (phases.firstCallMs < 0 && !calls.empty()) phases.firstCallMs = calls.front().seenMs - start;
        if (VantrelReady(program.Id()) != nullptr) {
            // Taken after the check: the list answers its row count only once
            // the showing and the first painting are over, as in LaunchToRows.
            phases.visibleMs = NowMs() - start;
            // The load's calls are all answered before the window shows, and
            // the first tick comes a second later.
            simcad.Calls();
            if (phases.controlsMs < 0 || calls.empty()) return std::nullopt;
            phases.loadCallsMs = calls.back().seenMs - start;
            phases.loadCalls = calls.size();
            return phases;
        }
        Sleep(1);
    }
    return std::nullopt;
}

struct PhaseMedians {
    std::vector<double> controls;
    std::vector<double> firstCall;
    std::vector<double> loadCalls;
    std::vector<double> visible;
    std::size_t calls = 0;

    void Add(const StartupPhases& phases) {
        controls.push_back(phases.controlsMs);
        firstCall.push_back(phases.firstCallMs);
        loadCalls.push_back(phases.loadCallsMs);
        visible.push_back(phases.visibleMs);
        calls = phases.loadCalls;
    }
};

void SayStartupPhases(const Options& options) {
    PhaseMedians vantrel;
    PhaseMedians floor;
    for (int run = 1; run <= options.runs; ++run) {
        const std::wstring name = L"phases-" + std::to_wstring(run);
        if (const auto phases =
                StartupPhasesOnce(options, options.vantrel, L"Button", L"Transparent", name + L"-vantrel.journal")) {
            vantrel.Add(*phases);
        }
        if (const auto phases =
                StartupPhasesOnce(options, options.floor, WC_LISTVIEWW, nullptr, name + L"-floor.journal")) {
            floor.Add(*phases);
        }
    }
    if (vantrel.visible.empty() || floor.visible.empty()) {
        Say("start-up phases: could not be measured");
        return;
    }
    double c = Median(vantrel.controls);
    double f = Median(vantrel.firstCall);
    double l = Median(vantrel.loadCalls);
    double v = Median(vantrel.visible);
    Say("start-up phases, medians of " + std::to_string(vantrel.visible.size()) +
        " separate runs watching the journal every ms: vantrel.exe: controls made (hidden) at " + Fixed(c, 0) +
        " ms; first host call answered at " + Fixed(f, 0) + " ms (attach " + Fixed(f - c, 0) + " ms); the load's " +
        std::to_string(vantrel.calls) + " calls answered at " + Fixed(l, 0) + " ms (preparation " + Fixed(l - f, 0) +
        " ms); visible with 12 rows at " + Fixed(v, 0) + " ms (fills and showing " + Fixed(v - l, 0) + " ms)");
    c = Median(floor.controls);
    f = Median(floor.firstCall);
    l = Median(floor.loadCalls);
    v = Median(floor.visible);
    Say("start-up phases, medians of " + std::to_string(floor.visible.size()) +
        " runs the same way: floor: first host call answered at " + Fixed(f, 0) + " ms; its " +
        std::to_string(floor.calls) + " calls answered at " + Fixed(l, 0) + " ms (" + Fixed(l - f, 0) +
        " ms); window and list made (hidden) at " + Fixed(c, 0) + " ms (" + Fixed(c - l, 0) +
        " ms); visible with 12 rows at " + Fixed(v, 0) + " ms (fill and showing " + Fixed(v - c, 0) + " ms)");
}

std::string CallName(const std::string& call) { return call.substr(0, call.find('(')); }

std::string CallNames(const std::vector<std::string>& calls) {
    std::string names;
    for (const std::string& call : calls) {
        if (!names.empty()) names += ", ";
        names += CallName(call);
    }
    return names;
}

// "median 190 ms, 160 to 260 (run by run: ...)"
std::string Spread(const std::vector<double>& values) {
    std::string text;
    for (const double value : values) {
        if (!text.empty()) text += ' ';
        text += Fixed(value, 0);
    }
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    return "median " + Fixed(Median(values), 0) + " ms, " + Fixed(*least, 0) + " to " + Fixed(*most, 0) +
           " (run by run: " + text + ")";
}

bool Startup(const Options& options) {
    // One round first, not counted: the first start in a prefix pays for
    // loading Wine's DLLs from disk.
    if (!StartupOnce(options, 0)) {
        Say("start-up: could not be measured (simcad or a program did not come up)");
        return false;
    }
    const int runs = std::max(options.runs, kStartupRuns);
    std::vector<double> vantrelMs;
    std::vector<double> floorMs;
    std::vector<double> emptyMs;
    StartupRun first;
    for (int run = 1; run <= runs; ++run) {
        std::optional<StartupRun> measured = StartupOnce(options, run);
        if (!measured) {
            Say("start-up: run " + std::to_string(run) + " could not be measured");
            return false;
        }
        vantrelMs.push_back(measured->vantrel.ms);
        floorMs.push_back(measured->floor.ms);
        emptyMs.push_back(measured->emptyMs);
        if (run == 1) first = std::move(*measured);
    }
    const double vantrel = Median(vantrelMs);
    Say("start-up: launch to visible, " + std::to_string(runs) +
        " runs of each, interleaved (vantrel, floor, empty window, ...); vantrel and the floor: the window "
        "visible with its 12 rows");
    Say("start-up: vantrel.exe: " + Spread(vantrelMs));
    Say("start-up: floor, the load's host calls and the filled list the least way: " + Spread(floorMs));
    Say("start-up: empty window: " + Spread(emptyMs));
    // Each round's own ratio too: the two starts of a round are a second
    // apart, so a load that other work puts on the machine for a while
    // weighs on both alike.
    std::vector<double> roundRatios;
    for (std::size_t i = 0; i < vantrelMs.size(); ++i) roundRatios.push_back(vantrelMs[i] / floorMs[i]);
    const auto [lowest, highest] = std::minmax_element(roundRatios.begin(), roundRatios.end());
    Say("start-up: ratio vantrel / floor " + Fixed(vantrel / Median(floorMs), 2) +
        " x (goal <= 1.10 x); round by round: median " + Fixed(Median(roundRatios), 2) + " x, " + Fixed(*lowest, 2) +
        " to " + Fixed(*highest, 2) + "; vantrel / empty window " + Fixed(vantrel / Median(emptyMs), 2) + " x");
    Say("start-up: load round trips in simcad's journal: " + std::to_string(first.vantrel.calls.size()) + " (" +
        CallNames(first.vantrel.calls) +
        "); host operations the load makes on this sheet: " + std::to_string(kLoadCalls) +
        " (goal: one round trip each); the floor's: " + std::to_string(first.floor.calls.size()) + " (" +
        CallNames(first.floor.calls) + ")");
    SayStartupPhases(options);
    return true;
}

// ---- footprint and idle cost ----------------------------------------------------

bool Footprint(const Options& options) {
    Simcad simcad(options.simcad, options.sheet, WorkFile(options, L"footprint.journal"));
    if (!simcad.Ready()) {
        Say("footprint: simcad did not come up");
        return false;
    }
    Process vantrel(options.vantrel, L"");
    if (WaitForVantrel(vantrel, kStartDeadlineMs) == nullptr) {
        Say("footprint: vantrel did not show its window");
        return false;
    }
    const std::optional<SIZE_T> first = PrivateBytes(vantrel.Handle());
    const std::optional<double> cpuFirst = CpuMs(vantrel.Handle());
    if (!first) {
        Say("footprint: GetProcessMemoryInfo failed (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    const std::size_t callsBefore = simcad.Calls().size();
    const double start = NowMs();
    Say("footprint: private memory after start-up " + KiB(*first));

    SIZE_T lowest = *first;
    SIZE_T highest = *first;
    SIZE_T last = *first;
    std::vector<std::string> samples;
    bool idleDone = false;
    double nextSample = start + 60000.0;
    const double end = start + options.ticksSeconds * 1000.0;
    while (NowMs() < end) {
        if (!vantrel.Running()) {
            Say("footprint: vantrel.exe ended during the ticks");
            return false;
        }
        if (const std::optional<std::string> box = MessageBoxText(vantrel.Id())) {
            Say("footprint: a message box appeared during the ticks: " + *box);
            return false;
        }
        if (!idleDone && NowMs() >= start + options.idleSeconds * 1000.0) {
            idleDone = true;
            const double seconds = (NowMs() - start) / 1000.0;
            const auto& calls = simcad.Calls();
            std::size_t ticks = 0;
            for (std::size_t i = callsBefore; i < calls.size(); ++i) {
                if (Contains(calls[i].text, "Application.ActiveDocument(")) ++ticks;
            }
            const std::size_t trips = calls.size() - callsBefore;
            Say("idle: " + std::to_string(trips) + " journaled round trips in " + Fixed(seconds, 1) + " s for " +
                std::to_string(ticks) +
                " ticks = " + Fixed(ticks > 0 ? static_cast<double>(trips) / static_cast<double>(ticks) : 0.0, 2) +
                " per tick (goal <= 3)");
            const std::optional<double> cpuNow = CpuMs(vantrel.Handle());
            if (cpuFirst && cpuNow) {
                Say("idle: CPU time of vantrel.exe over " + Fixed(seconds, 1) +
                    " s of ticks: " + Fixed(*cpuNow - *cpuFirst, 0) + " ms (" +
                    Fixed((*cpuNow - *cpuFirst) / (seconds * 10.0), 3) + " % of one core)");
            } else {
                Say("idle: CPU time of vantrel.exe cannot be read with GetProcessTimes here (bench/run reads it "
                    "from /proc)");
            }
        }
        if (NowMs() >= nextSample) {
            nextSample += 60000.0;
            if (const std::optional<SIZE_T> now = PrivateBytes(vantrel.Handle())) {
                last = *now;
                lowest = std::min(lowest, last);
                highest = std::max(highest, last);
                samples.push_back(std::to_string(last / 1024));
            }
        }
        Sleep(200);
    }
    if (const std::optional<SIZE_T> now = PrivateBytes(vantrel.Handle())) last = *now;
    std::string sampleText;
    for (const std::string& sample : samples) {
        if (!sampleText.empty()) sampleText += ' ';
        sampleText += sample;
    }
    const double minutes = (NowMs() - start) / 60000.0;
    Say("footprint: private memory after " + Fixed(minutes, 1) + " min of ticks " + KiB(last) + " (change " +
        std::to_string((static_cast<long long>(last) - static_cast<long long>(*first)) / 1024) +
        " KiB; per-minute samples KiB: " + sampleText + "; goal: flat)");
    return true;
}

// ---- idle with two releases of the host side by side ------------------------------

// The release that runs beside the current one (simcad --release).
constexpr unsigned kOtherRelease = 25;
// Vantrel's load is over well before this, also on a loaded machine.
constexpr DWORD kPastTheLoadMs = 5000;
// Long enough for bench/run to read the CPU time once the minute is over.
constexpr DWORD kMarkReadMs = 1500;

// A line that bench/run waits for in the work folder's "two.marks": "<run> start" and "<run> end" around each quiet
// minute, so that it reads vantrel.exe's CPU time from /proc at both ends (Wine's GetProcessTimes cannot).
void Mark(const Options& options, const std::string& line) {
    std::ofstream marks(std::filesystem::path(WorkFile(options, L"two.marks")), std::ios::app | std::ios::binary);
    marks << line << "\n";
}

// One quiet minute of Vantrel's ticks with the current release running alone, or with another release beside it:
// the round trips per tick over every journal, and how often each instance was asked its main window.
bool IdleWithInstances(const Options& options, bool beside) {
    const std::string run = beside ? "two" : "one";
    Simcad current(options.simcad, options.sheet,
                   WorkFile(options, L"two-current-" + vantrel::win::Utf16FromUtf8(run) + L".journal"));
    std::optional<Simcad> other;
    if (beside) other.emplace(options.simcad, options.sheet, WorkFile(options, L"two-release.journal"), kOtherRelease);
    if (!current.Ready() || (other && !other->Ready())) {
        Say("two: simcad did not come up");
        return false;
    }
    // The current release in front, so that the load prepares its drawing.
    if (other) BringToFront(current.Window());
    Process vantrel(options.vantrel, L"");
    if (WaitForVantrel(vantrel, kStartDeadlineMs) == nullptr) {
        Say("two: vantrel did not show its window");
        return false;
    }
    Sleep(kPastTheLoadMs);
    std::vector<Simcad*> hosts{&current};
    if (other) hosts.push_back(&*other);
    std::vector<std::size_t> from;
    for (Simcad* host : hosts) from.push_back(host->Calls().size());
    const double start = NowMs();
    Mark(options, run + " start");
    Sleep(static_cast<DWORD>(options.idleSeconds) * 1000);
    std::size_t trips = 0;
    std::size_t ticks = 0;
    std::string perHost;
    std::string windowAsks;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        const std::size_t hostTrips = hosts[i]->Calls().size() - from[i];
        trips += hostTrips;
        ticks += hosts[i]->Count("Application.ActiveDocument(", from[i]);
        const std::string name = i == 0 ? "current release" : "release " + std::to_string(kOtherRelease);
        perHost += (i == 0 ? "" : ", ") + name + " " + std::to_string(hostTrips);
        windowAsks += (i == 0 ? "" : ", ") + name + " " + std::to_string(hosts[i]->Count("Application.HWND("));
    }
    const double seconds = (NowMs() - start) / 1000.0;
    Mark(options, run + " end");
    Sleep(kMarkReadMs);
    if (!vantrel.Running() || MessageBoxText(vantrel.Id())) {
        Say("two: vantrel.exe ended or showed a box during the ticks");
        return false;
    }
    const double perTick = ticks > 0 ? static_cast<double>(trips) / static_cast<double>(ticks) : 0.0;
    Say("two: " + std::string(beside ? "two instances" : "one instance") + ": " + std::to_string(trips) +
        " journaled round trips in " + Fixed(seconds, 1) + " s for " + std::to_string(ticks) +
        " ticks = " + Fixed(perTick, 2) + " per tick (" + perHost + "; goal at most 1 per tick after the first)");
    if (beside) {
        Say("two: Application.HWND asked since the start: " + windowAsks + " (goal: once per instance, at the start)");
    }
    return true;
}

bool TwoInstances(const Options& options) {
    DeleteFileW(WorkFile(options, L"two.marks").c_str());
    const bool alone = IdleWithInstances(options, false);
    const bool beside = IdleWithInstances(options, true);
    return alone && beside;
}

// ---- growth -------------------------------------------------------------------

// A sheet of `items` paper-space items: the sheet's own viewport first, then
// mostly lines with a floating viewport every 20th item (at least two).
std::string GrowthSheet(int items, int& viewports) {
    std::string text = "document Growth" + std::to_string(items) + "\nspace paper\nmspace on\nviewport 1 on\n";
    viewports = 1;
    const int floating = std::max(2, items / 20);
    const int every = std::max(1, (items - 1) / floating);
    for (int position = 1; position < items; ++position) {
        if ((position - 1) % every == 0 && viewports <= floating) {
            const char* scales[] = {"1/48", "1/96", "1/50", "1/100"};
            text += std::string("viewport ") + scales[viewports % 4] + " on" + (viewports == 1 ? " active" : "") + "\n";
            ++viewports;
        } else {
            text += "entity AcDbLine\n";
        }
    }
    return text;
}

// Whether a journal line is an enumeration round trip that ended a pass: it
// handed out fewer items than asked for ("PaperSpace.Next(celt=64) -> 37 items").
bool EndsAPass(const std::string& call) {
    unsigned long asked = 0;
    unsigned long handed = 0;
    return std::sscanf(call.c_str(), "PaperSpace.Next(celt=%lu) -> %lu items", &asked, &handed) == 2 && handed < asked;
}

struct GrowthFigure {
    int items = 0;
    std::size_t trips = 0;
    double ms = 0.0;
    std::optional<double> vantrelCpuMs;  // CPU time of each side during the pass, where it can be read
    std::optional<double> simcadCpuMs;
};

std::optional<GrowthFigure> GrowthOnce(const Options& options, int items) {
    int viewports = 0;
    const std::wstring scenario = WorkFile(options, L"growth-" + std::to_wstring(items) + L".scenario.txt");
    {
        std::ofstream file(std::filesystem::path(scenario), std::ios::binary | std::ios::trunc);
        file << GrowthSheet(items, viewports);
    }
    Simcad simcad(options.simcad, scenario, WorkFile(options, L"growth-" + std::to_wstring(items) + L".journal"));
    if (!simcad.Ready()) {
        Say("growth: simcad did not come up with " + std::to_string(items) + " items");
        return std::nullopt;
    }
    Process vantrel(options.vantrel, L"");
    const HWND window = WaitForVantrel(vantrel, kStartDeadlineMs);
    const HWND next = window != nullptr ? FindWindowExW(window, nullptr, WC_BUTTONW, L"Next VPort") : nullptr;
    if (next == nullptr) {
        Say("growth: vantrel did not show its window");
        return std::nullopt;
    }
    const std::size_t from = simcad.Calls().size();
    const std::optional<double> vantrelCpu = CpuMs(vantrel.Handle());
    const std::optional<double> simcadCpu = CpuMs(simcad.Program().Handle());
    const double clicked = NowMs();
    PostMessageW(next, BM_CLICK, 0, 0);

    // The handler makes one pass over paper space; its last host call is the
    // Regen after the viewport it activated, or the pass's end when there is none.
    const double deadline = clicked + kPassDeadlineMs;
    std::optional<std::size_t> passEnd;
    std::optional<std::size_t> regen;
    double quietSince = NowMs();
    std::size_t seen = from;
    while (NowMs() < deadline && vantrel.Running()) {
        Sleep(kPassPollMs);
        const auto& calls = simcad.Calls();
        if (calls.size() != seen) quietSince = NowMs();
        seen = calls.size();
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (!passEnd && EndsAPass(calls[i].text)) passEnd = i;
            if (!regen && calls[i].text.starts_with("Document.Regen(")) regen = i;
        }
        // Without a Regen (no viewport to activate) the pass is over once the journal is quiet.
        if (passEnd && (regen || NowMs() - quietSince > 3000.0)) break;
        if (const std::optional<std::string> box = MessageBoxText(vantrel.Id())) {
            Say("growth: " + std::to_string(items) + " items: a message box instead of a pass: " + *box);
            return std::nullopt;
        }
    }
    if (!passEnd) {
        Say("growth: " + std::to_string(items) + " items: the pass did not end within the deadline");
        return std::nullopt;
    }
    const std::size_t last = regen ? std::max(*passEnd, *regen) : *passEnd;
    const auto& calls = simcad.Calls();
    GrowthFigure figure;
    figure.items = items;
    figure.ms = calls[last].seenMs - clicked;
    if (const std::optional<double> now = CpuMs(vantrel.Handle()); now && vantrelCpu) {
        figure.vantrelCpuMs = *now - *vantrelCpu;
    }
    if (const std::optional<double> now = CpuMs(simcad.Program().Handle()); now && simcadCpu) {
        figure.simcadCpuMs = *now - *simcadCpu;
    }
    for (std::size_t i = from; i <= last; ++i) {
        // Ticks are the timer's, not the pass's.
        if (!Contains(calls[i].text, "Application.ActiveDocument(")) ++figure.trips;
    }
    if (!regen) Say("growth: " + std::to_string(items) + " items: no Regen in the pass (no viewport activated)");
    return figure;
}

bool Growth(const Options& options) {
    std::vector<GrowthFigure> figures;
    for (const int items : options.sizes) {
        const std::optional<GrowthFigure> figure = GrowthOnce(options, items);
        if (!figure) return false;
        Say("growth: Next VPort over " + std::to_string(items) +
            " paper-space items: " + std::to_string(figure->trips) + " round trips (" +
            Fixed(static_cast<double>(figure->trips) / items, 2) + " per item), " + Fixed(figure->ms, 0) + " ms" +
            (figure->vantrelCpuMs && figure->simcadCpuMs
                 ? "; CPU time in that time: vantrel.exe " + Fixed(*figure->vantrelCpuMs, 0) + " ms, simcad.exe " +
                       Fixed(*figure->simcadCpuMs, 0) + " ms"
                 : std::string()));
        figures.push_back(*figure);
    }
    if (figures.size() >= 2) {
        const GrowthFigure& small = figures.front();
        const GrowthFigure& large = figures.back();
        const double perItem =
            static_cast<double>(large.trips - small.trips) / static_cast<double>(large.items - small.items);
        const double constant = static_cast<double>(small.trips) - perItem * small.items;
        const double msPerItem = (large.ms - small.ms) / static_cast<double>(large.items - small.items);
        const std::string cpuPerItem = large.vantrelCpuMs && small.vantrelCpuMs
                                           ? ", of which " +
                                                 Fixed((*large.vantrelCpuMs - *small.vantrelCpuMs) /
                                                           static_cast<double>(large.items - small.items),
                                                       3) +
                                                 " ms CPU in vantrel.exe"
                                           : std::string();
        Say("growth: fit: " + Fixed(perItem, 3) + " round trips per item + " + Fixed(constant, 1) +
            " (goal: <= 1.05 per item + a constant; before: 1.70 per item + 9); " + Fixed(msPerItem, 3) +
            " ms per item" + cpuPerItem);
    }
    return true;
}

// ---- a hung host ------------------------------------------------------------------

// Long enough that a window stuck behind the host shows it plainly.
constexpr int kHangMs = 10000;
// How far into the hang a figure is taken: ticks come every second, so by
// then one tick's attach waits on the host.
constexpr DWORD kIntoTheHangMs = 1500;
// Every wait of the phase ends: past the hang by this much, a figure is "no answer".
constexpr DWORD kHangBoundMs = kHangMs + 5000;
constexpr double kHangGoalMs = 100.0;
// The same figures of the vantrel.exe whose ticks called the host on the
// window's thread (commit a917f77), measured by this phase on 2026-12-06: the
// COM wait of a call on the window's thread answers sent messages but
// dispatches no input, so a click waits for the rest of the hang.
constexpr char kHangBaselineAnswer[] = "median 0 ms, 0 to 1 (commit a917f77, 2026-12-06)";
constexpr char kHangBaselineExit[] = "median 8508 ms, 8506 to 8515, the rest of the hang (commit a917f77, 2026-12-06)";

struct HangFigures {
    std::vector<double> answerMs;  // WM_NULL sent to its answer
    std::vector<double> exitMs;    // Exit clicked to the end of the process
    int unanswered = 0;            // no answer within kHangBoundMs
    int notEnded = 0;              // not ended within kHangBoundMs
};

// simcad hangs for kHangMs; true once the hang is over again.
bool HangAndWait(Simcad& simcad, const std::function<void()>& measure) {
    if (!simcad.Send("hang " + std::to_string(kHangMs))) return false;
    Sleep(kIntoTheHangMs);
    measure();
    return WaitFor([&] { return !simcad.Hanging(); }, Milliseconds(kHangBoundMs), 50ms);
}

// One vantrel.exe through two hangs: WM_NULL sent in the first, Exit clicked in the second.
std::optional<std::string> HangOnce(const Options& options, Simcad& simcad, HangFigures& figures) {
    Process vantrel(options.vantrel, L"");
    const HWND window = WaitForVantrel(vantrel, kStartDeadlineMs);
    if (window == nullptr) return "vantrel did not show its window";
    const bool answerTaken = HangAndWait(simcad, [&] {
        const double sent = NowMs();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kHangBoundMs, &result) == 0) {
            ++figures.unanswered;
        }
        figures.answerMs.push_back(NowMs() - sent);
    });
    if (!answerTaken) return "simcad's hang did not end";
    if (!vantrel.Running() || MessageBoxOf(vantrel.Id()) != nullptr) return "vantrel ended or showed a box";
    const HWND exit = FindWindowExW(window, nullptr, WC_BUTTONW, L"Exit");
    const bool exitTaken = HangAndWait(simcad, [&] {
        const double clicked = NowMs();
        PostMessageW(exit, BM_CLICK, 0, 0);
        if (!vantrel.WaitForExit(Milliseconds(kHangBoundMs))) ++figures.notEnded;
        figures.exitMs.push_back(NowMs() - clicked);
    });
    if (!exitTaken) return "simcad's hang did not end";
    return std::nullopt;
}

bool Hang(const Options& options) {
    Simcad simcad(options.simcad, options.sheet, WorkFile(options, L"hang.journal"));
    if (!simcad.Ready()) {
        Say("hang: simcad did not come up");
        return false;
    }
    HangFigures figures;
    for (int run = 1; run <= options.runs; ++run) {
        if (const std::optional<std::string> failed = HangOnce(options, simcad, figures)) {
            Say("hang: run " + std::to_string(run) + " could not be measured: " + *failed);
            return false;
        }
    }
    const auto verdict = [](const std::vector<double>& values) {
        return Median(values) <= kHangGoalMs ? std::string("met") : std::string("NOT met");
    };
    Say("hang: simcad hangs " + std::to_string(kHangMs / 1000) + " s (not answering, not pumping); each figure " +
        std::to_string(kIntoTheHangMs) + " ms into a hang, a tick's attach waiting on the host; " +
        std::to_string(options.runs) + " runs");
    Say("hang: WM_NULL sent to the window (SendMessageTimeout) to its answer: " + Spread(figures.answerMs) + "; " +
        std::to_string(figures.unanswered) + " not answered within " + std::to_string(kHangBoundMs) +
        " ms; goal at most " + Fixed(kHangGoalMs, 0) + " ms median: " + verdict(figures.answerMs) +
        "; baseline: " + kHangBaselineAnswer);
    Say("hang: Exit clicked (posted) to the end of vantrel.exe's process: " + Spread(figures.exitMs) + "; " +
        std::to_string(figures.notEnded) + " not ended within " + std::to_string(kHangBoundMs) + " ms; goal at most " +
        Fixed(kHangGoalMs, 0) + " ms median: " + verdict(figures.exitMs) + "; baseline: " + kHangBaselineExit);
    return true;
}

// ---- soak -----------------------------------------------------------------------

// The process's windows, top-level and child: Wine's GetGuiResources reads 0
// for another process, so windows are counted instead of USER objects.
DWORD WindowCount(DWORD processId) {
    struct Count {
        DWORD processId;
        DWORD windows;
    } count{processId, 0};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* c = reinterpret_cast<Count*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == c->processId) {
                ++c->windows;
                EnumChildWindows(
                    window,
                    [](HWND, LPARAM windows) {
                        ++*reinterpret_cast<DWORD*>(windows);
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&c->windows));
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// One round of every control, each effect waited for: empty when all took
// effect, else what did not.
std::string SoakRound(Simcad& simcad, const Process& vantrel, HWND window, HWND list, int round, int& lostClicks) {
    using vantrel::catalog::kScaleSystems;
    const auto button = [&](const std::wstring& caption) {
        return FindWindowExW(window, nullptr, WC_BUTTONW, caption.c_str());
    };
    // The scale types, ending on Architectural, where the round started.
    for (const std::size_t system : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{0}}) {
        const std::wstring name = vantrel::win::Utf16FromUtf8(kScaleSystems[system].name);
        const auto rows = static_cast<int>(kScaleSystems[system].rows.size());
        const auto chosen = [&] { return IsChecked(button(name)) && ListRowCount(list) == rows; };
        Click(button(name));
        if (!WaitFor(chosen, 3s)) {
            // Under Wine a posted click on an option button is now and then
            // lost (the button loses its capture between the button-down and
            // -up it sends itself); it is counted, and tried once more.
            ++lostClicks;
            Click(button(name));
            if (!WaitFor(chosen, 10s)) return Utf8FromUtf16(name) + " was not chosen";
        }
    }
    Click(button(L"Current Scale"));
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = MessageBoxOf(vantrel.Id())) != nullptr; }, 10s)) return "Current Scale: no box";
    // Earlier rounds' zooms and viewport changes change the scale it reads.
    const std::string readout = Text(GetDlgItem(box, 0xFFFF));
    Click(GetDlgItem(box, IDOK));
    if (!readout.ends_with(" = 1'-0")) return "Current Scale said " + readout;
    if (!WaitFor([&] { return !IsWindow(box); }, 10s)) return "the Current Scale box stayed";
    const auto callAfter = [&](std::string_view call, const std::function<void()>& act) {
        const std::size_t before = simcad.Count(call);
        act();
        return WaitFor([&] { return simcad.Count(call) > before || MessageBoxOf(vantrel.Id()); }, 10s) &&
               !MessageBoxOf(vantrel.Id());
    };
    if (!callAfter("Document.Regen(", [&] { Click(button(L"Next VPort")); })) return "Next VPort: no Regen, or a box";
    for (const auto& [main, ofList] : {std::pair{186, 100}, std::pair{255, 255}}) {
        Click(button(L"Transparent"));
        if (!WaitFor([&] { return Alpha(window) == main && Alpha(list) == ofList; }, 10s)) {
            return "Transparent: not " + std::to_string(main) + " and " + std::to_string(ofList);
        }
    }
    if (!callAfter("Application.ZoomScaled(", [&] { DoubleClickRow(list, round % 12); })) {
        return "a double-clicked row: no zoom, or a box";
    }
    return {};
}

// Every control in turn, over and over: the process's private memory and
// windows must not grow past the plateau of the first part of the run (its
// first third, at most a minute).
bool Soak(const Options& options) {
    Simcad simcad(options.simcad, options.sheet, WorkFile(options, L"soak.journal"));
    Process vantrel(options.vantrel, L"");
    const HWND window = simcad.Ready() ? WaitForVantrel(vantrel, kStartDeadlineMs) : nullptr;
    if (window == nullptr) {
        Say("soak: vantrel did not come up against simcad");
        return false;
    }
    const HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    const auto measure = [&] {
        return std::pair{PrivateBytes(vantrel.Handle()).value_or(0), WindowCount(vantrel.Id())};
    };
    const auto atStart = measure();
    auto plateau = atStart;
    auto last = atStart;
    const double start = NowMs();
    const double plateauEnd = start + std::min(options.soakSeconds * 1000.0 / 3, 60000.0);
    int rounds = 0;
    int lostClicks = 0;
    int minutes = 0;
    std::string perMinute;  // private KiB at the first round past each minute
    std::string failed;
    while (NowMs() - start < options.soakSeconds * 1000.0 &&
           (failed = SoakRound(simcad, vantrel, window, list, rounds, lostClicks)).empty()) {
        ++rounds;
        last = measure();
        if (NowMs() < plateauEnd)
            plateau = {std::max(plateau.first, last.first), std::max(plateau.second, last.second)};
        if (NowMs() - start >= (minutes + 1) * 60000.0) {
            ++minutes;
            perMinute += " " + std::to_string(last.first / 1024);
        }
    }
    const SIZE_T tolerance = std::max<SIZE_T>(1024 * 1024, plateau.first / 10);
    const bool flat = last.first <= plateau.first + tolerance && last.second <= plateau.second;
    Say("soak: " + std::to_string(rounds) + " rounds of every control in " + Fixed((NowMs() - start) / 1000.0, 0) +
        " s (" + std::to_string(lostClicks) + " option clicks lost and repeated)");
    Say("soak: private memory after start-up " + KiB(atStart.first) + ", plateau of the first part " +
        KiB(plateau.first) + ", at the end " + KiB(last.first) + "; windows " + std::to_string(atStart.second) + ", " +
        std::to_string(plateau.second) + ", " + std::to_string(last.second) +
        " (goal: no growth past the plateau, memory within " + KiB(tolerance) + "): " + (flat ? "met" : "NOT met"));
    if (!perMinute.empty()) Say("soak: private KiB after each minute:" + perMinute);
    if (!failed.empty()) Say("soak: stopped: " + failed);
    return failed.empty() && vantrel.Running() && flat;
}

std::optional<Options> Parse(int count, wchar_t** arguments) {
    Options options;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view name = arguments[i];
        const auto value = [&]() -> std::optional<std::wstring> {
            if (i + 1 >= count) return std::nullopt;
            // A Unix path of the build is taken as Wine shows it.
            return WindowsPath(Utf8FromUtf16(arguments[++i]));
        };
        std::optional<std::wstring> given;
        if (name.starts_with(L"--") && !(given = value())) return std::nullopt;
        if (name == L"--vantrel") {
            options.vantrel = *given;
        } else if (name == L"--simcad") {
            options.simcad = *given;
        } else if (name == L"--floor") {
            options.floor = *given;
        } else if (name == L"--baseline") {
            options.baseline = *given;
        } else if (name == L"--sheet") {
            options.sheet = *given;
        } else if (name == L"--work") {
            options.work = *given;
        } else if (name == L"--runs") {
            options.runs = std::max(1, _wtoi(given->c_str()));
        } else if (name == L"--ticks-seconds") {
            options.ticksSeconds = std::max(1, _wtoi(given->c_str()));
        } else if (name == L"--idle-seconds") {
            options.idleSeconds = std::max(1, _wtoi(given->c_str()));
        } else if (name == L"--soak-seconds") {
            options.soakSeconds = std::max(1, _wtoi(given->c_str()));
        } else if (name == L"--sizes") {
            options.sizes.clear();
            std::wstring rest = *given + L",";
            for (std::size_t comma = rest.find(L','); comma != std::wstring::npos; comma = rest.find(L',')) {
                if (comma > 0) options.sizes.push_back(_wtoi(rest.substr(0, comma).c_str()));
                rest.erase(0, comma + 1);
            }
        } else if (name.starts_with(L"--")) {
            return std::nullopt;
        } else {
            options.phases.push_back(Utf8FromUtf16(name));
        }
    }
    if (options.vantrel.empty() || options.simcad.empty() || options.work.empty() || options.phases.empty()) {
        return std::nullopt;
    }
    // The idle figures are taken inside the ticks, not at their very end.
    options.idleSeconds = std::min(options.idleSeconds, std::max(1, options.ticksSeconds - 5));
    return options;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    const std::optional<Options> options = Parse(count, arguments);
    if (!options) {
        std::fputs(
            "usage: vantrel_bench --vantrel EXE --simcad EXE --floor EXE --baseline EXE --sheet FILE --work DIR\n"
            "       [--runs N] [--ticks-seconds S] [--idle-seconds S] [--sizes 10,100,...] [--soak-seconds S]\n"
            "       startup|footprint|growth|soak|hang|two...\n",
            stderr);
        return 2;
    }
    CreateDirectoryW(options->work.c_str(), nullptr);
    bool all = true;
    for (const std::string& phase : options->phases) {
        try {
            if (phase == "startup") {
                all = Startup(*options) && all;
            } else if (phase == "footprint") {
                all = Footprint(*options) && all;
            } else if (phase == "growth") {
                all = Growth(*options) && all;
            } else if (phase == "soak") {
                all = Soak(*options) && all;
            } else if (phase == "hang") {
                all = Hang(*options) && all;
            } else if (phase == "two") {
                all = TwoInstances(*options) && all;
            } else {
                Say("unknown phase " + phase);
                all = false;
            }
        } catch (const std::exception& failure) {
            Say(phase + ": could not be measured: " + failure.what());
            all = false;
        }
    }
    return all ? 0 : 1;
}
