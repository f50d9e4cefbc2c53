#include "Control.h"

#include <windows.h>

#include <charconv>
#include <cstdint>
#include <sstream>
#include <utility>

#include "host/Failure.h"

namespace vantrel::simcad {
namespace {

template <class Number>
std::optional<Number> ParseNumber(std::string_view text, int base = 10) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Decimal, or 0x hex read as 32-bit two's complement.
std::optional<std::int32_t> ParseStatus(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        const auto bits = ParseNumber<std::uint32_t>(text.substr(2), 16);
        if (!bits) return std::nullopt;
        return StatusCode(*bits);
    }
    return ParseNumber<std::int32_t>(text);
}

bool ParseMode(std::string_view text, host::simulated::Fault& fault) {
    using host::simulated::FaultMode;
    if (text == "always") {
        fault.mode = FaultMode::Always;
    } else if (text == "once") {
        fault.mode = FaultMode::Once;
    } else if (text.starts_with("after=")) {
        const auto calls = ParseNumber<int>(text.substr(6));
        if (!calls || *calls < 0) return false;
        fault.mode = FaultMode::AfterCalls;
        fault.afterCalls = *calls;
    } else if (text.starts_with("for=")) {
        const auto ms = ParseNumber<int>(text.substr(4));
        if (!ms || *ms < 0) return false;
        fault.mode = FaultMode::ForDuration;
        fault.duration = std::chrono::milliseconds(*ms);
    } else {
        return false;
    }
    return true;
}

// "CALL MS" and nothing after: a call the host answers and a duration.
std::optional<std::pair<std::string, std::chrono::milliseconds>> CallAndDuration(std::istringstream& words) {
    std::string call;
    std::string ms;
    std::string rest;
    words >> call >> ms;
    const auto duration = ParseNumber<int>(ms);
    if (!host::simulated::IsCallName(call) || !duration || *duration < 0 || words >> rest) return std::nullopt;
    return std::pair{call, std::chrono::milliseconds(*duration)};
}

}  // namespace

std::optional<Command> ParseCommand(std::string_view text) {
    std::istringstream words{std::string(text)};
    std::string verb;
    words >> verb;
    Command command;
    if (verb == "exit" || verb == "quit" || verb == "clear-journal") {
        command.kind = verb == "exit"   ? CommandKind::Exit
                       : verb == "quit" ? CommandKind::Quit
                                        : CommandKind::ClearJournal;
        std::string rest;
        return words >> rest ? std::nullopt : std::optional<Command>(command);
    }
    if (verb == "activate") {
        std::string number;
        words >> number;
        const auto document = ParseNumber<std::size_t>(number);
        if (!document || *document == 0) return std::nullopt;
        command.kind = CommandKind::Activate;
        command.document = *document;
        return command;
    }
    if (verb == "fault") {
        std::string number;
        std::string mode;
        words >> command.fault.call >> number >> mode;
        const auto status = ParseStatus(number);
        if (!host::simulated::IsCallName(command.fault.call) || !status || !ParseMode(mode, command.fault)) {
            return std::nullopt;
        }
        command.fault.number = *status;
        std::getline(words >> std::ws, command.fault.description);
        command.kind = CommandKind::Fault;
        return command;
    }
    if (verb == "busy" || verb == "refuse") {
        // The host's message filter at the call level (see SimcadProtocol.h).
        const auto held = CallAndDuration(words);
        if (!held) return std::nullopt;
        command.kind = CommandKind::Fault;
        command.fault.call = held->first;
        if (verb == "busy") {
            command.fault.number = status::kRetryLater;
            command.fault.description = "The message filter indicated that the application is busy.";
        } else {
            command.fault.number = status::kCallRejected;
            command.fault.description = "Call was rejected by callee.";
        }
        command.fault.mode = host::simulated::FaultMode::ForDuration;
        command.fault.duration = held->second;
        return command;
    }
    if (verb == "slow") {
        const auto held = CallAndDuration(words);
        if (!held) return std::nullopt;
        command.kind = CommandKind::Slow;
        command.call = held->first;
        command.delay = held->second;
        return command;
    }
    if (verb == "user") {
        // The move is checked against the drawing when it is applied.
        std::getline(words >> std::ws, command.move);
        if (command.move.empty()) return std::nullopt;
        command.kind = CommandKind::UserMove;
        return command;
    }
    return std::nullopt;
}

bool Apply(const Command& command, host::simulated::SimulatedHost& host, Journal& journal) {
    switch (command.kind) {
        case CommandKind::Exit:
            // Like a crashed host: no revoke, no cleanup.
            ExitProcess(1);
        case CommandKind::Quit:
            PostQuitMessage(0);
            return true;
        case CommandKind::Activate:
            if (command.document > host.documents.size()) return false;
            host.activeDocument = command.document - 1;
            return true;
        case CommandKind::Fault:
            host.InjectFault(command.fault);
            return true;
        case CommandKind::Slow:
            host.SetSlowCall(command.call, command.delay);
            return true;
        case CommandKind::UserMove:
            return host.ApplyUserMove(command.move);
        case CommandKind::ClearJournal:
            host.ClearJournal();
            journal.Clear();
            return true;
    }
    return false;
}

}  // namespace vantrel::simcad
