#include "e2e_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "SimcadProtocol.h"

namespace vantrel::e2e {
namespace {

// Every child of the test process goes into one job that kills them all when
// the test process ends in any way, a crash included.
void KeepInJob(const ChildProcess& process) {
    static const HANDLE job = [] {
        const HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
        return created;
    }();
    if (job != nullptr && process.Handle() != nullptr) AssignProcessToJobObject(job, process.Handle());
}

std::string FileText(const std::wstring& path) {
    // Shared access: simcad keeps writing while the test reads.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    // A line still being written has no newline yet: left for the next read.
    while (std::getline(stream, line)) {
        if (stream.eof()) break;
        lines.push_back(line);
    }
    return lines;
}

std::wstring TestFileBase() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "e2e";
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':') c = '_';
    }
    return WindowsPath(VANTREL_E2E_WORK_DIR) + L"\\" + win::Utf16FromUtf8(name);
}

}  // namespace

Simcad::Simcad(std::string_view scenario) {
    const std::wstring base = TestFileBase();
    const std::wstring scenarioPath = base + L".scenario.txt";
    journalPath_ = base + L".journal.txt";
    {
        std::ofstream file(std::filesystem::path(scenarioPath), std::ios::binary | std::ios::trunc);
        file << scenario;
    }
    DeleteFileW(journalPath_.c_str());
    process_.emplace(WindowsPath(VANTREL_SIMCAD_EXE), L"\"" + scenarioPath + L"\" --journal \"" + journalPath_ + L"\"");
    KeepInJob(*process_);
    ready_ = WaitUntil(
        [&] {
            const auto lines = Lines(FileText(journalPath_));
            return !lines.empty() && lines.front() == simcad::kReadyLine;
        },
        kStartDeadline);
    if (!ready_) {
        ADD_FAILURE() << "simcad did not get ready; journal:\n" << FileText(journalPath_);
        process_->Kill();
    }
}

Simcad::~Simcad() {
    if (process_ && process_->Running()) {
        Send("quit");
        if (!process_->WaitForExit(kExitDeadline)) ADD_FAILURE() << "simcad did not quit";
    }
    process_.reset();
}

bool Simcad::Send(std::string_view command) {
    HWND window = nullptr;
    // simcad's window is the one in simcad's process (a test runs one simcad).
    WaitUntil(
        [&] {
            window = FindWindowW(simcad::kWindowClass, nullptr);
            return window != nullptr;
        },
        kActionDeadline);
    if (window == nullptr) return false;
    COPYDATASTRUCT data{};
    data.dwData = simcad::kCopyDataCommand;
    data.cbData = static_cast<DWORD>(command.size());
    data.lpData = const_cast<char*>(command.data());
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                             static_cast<UINT>(kActionDeadline.count()), &answer);
    return sent != 0 && answer == TRUE;
}

bool Simcad::Vanish() {
    Send("exit");
    return process_ && process_->WaitForExit(kExitDeadline);
}

std::vector<std::string> Simcad::Calls() const {
    std::vector<std::string> calls;
    for (const std::string& line : Lines(FileText(journalPath_))) {
        // "<sequence> <call>"; readiness and control lines carry no sequence.
        const auto space = line.find(' ');
        if (space == std::string::npos || space == 0 || line.find_first_not_of("0123456789") != space) continue;
        calls.push_back(line.substr(space + 1));
    }
    return calls;
}

std::optional<std::vector<std::string>> Simcad::WaitForCall(std::string_view fragment, Milliseconds timeout) const {
    std::vector<std::string> calls;
    if (!WaitUntil(
            [&] {
                calls = Calls();
                return Find(calls, fragment).has_value();
            },
            timeout)) {
        return std::nullopt;
    }
    return calls;
}

std::string Simcad::CallsText() const {
    std::string text;
    for (const std::string& call : Calls()) text += call + "\n";
    return text;
}

Vantrel::Vantrel() : process_(WindowsPath(VANTREL_EXE), L"") { KeepInJob(process_); }

std::vector<std::string> Matching(const std::vector<std::string>& calls, std::string_view fragment) {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        if (call.find(fragment) != std::string::npos) found.push_back(call);
    }
    return found;
}

std::optional<std::size_t> Find(const std::vector<std::string>& calls, std::string_view fragment, std::size_t from) {
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].find(fragment) != std::string::npos) return i;
    }
    return std::nullopt;
}

}  // namespace vantrel::e2e
