#include "Control.h"

#include <windows.h>

#include <cstdint>
#include <sstream>
#include <utility>

#include "base/Failure.h"

namespace vantrel::simcad {

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
        const auto document = sim::ParseInteger<std::size_t>(number);
        if (!document || *document == 0) return std::nullopt;
        command.kind = CommandKind::Activate;
        command.document = *document;
        return command;
    }
    if (verb == "hang" || verb == "reject") {
        // The whole host, not one call: "hang MS", "reject MS".
        std::string number;
        std::string extra;
        words >> number >> extra;
        const auto length = sim::ParseInteger<std::int64_t>(number);
        if (!length || *length < 0 || !extra.empty()) return std::nullopt;
        command.kind = verb == "hang" ? CommandKind::Hang : CommandKind::Reject;
        command.delay = std::chrono::milliseconds(*length);
        return command;
    }
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (verb == "fault") {
        std::optional<sim::Fault> fault = sim::ParseFault(rest);
        if (!fault) return std::nullopt;
        command.fault = std::move(*fault);
        command.kind = CommandKind::Fault;
        return command;
    }
    if (verb == "busy" || verb == "refuse") {
        // A busy host's answer at the call level (see SimcadProtocol.h): both
        // codes say "busy, try again", which the client does within its time.
        // Invoke returns them itself, so they reach the caller alike under
        // Wine, which never calls a caller's RetryRejectedCall, and Windows.
        const auto held = sim::ParseCallAndDuration(rest);
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
        command.fault.mode = sim::FaultMode::ForDuration;
        command.fault.duration = held->second;
        return command;
    }
    if (verb == "slow") {
        const auto held = sim::ParseCallAndDuration(rest);
        if (!held) return std::nullopt;
        command.kind = CommandKind::Slow;
        command.call = held->first;
        command.delay = held->second;
        return command;
    }
    if (verb == "user") {
        // The move is checked against the drawing when it is applied.
        command.move = rest;
        if (command.move.empty()) return std::nullopt;
        command.kind = CommandKind::UserMove;
        return command;
    }
    return std::nullopt;
}

bool Apply(const Command& command, sim::SimulatedHost& host, Journal& journal, BusyHost& busy) {
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
        case CommandKind::Hang:
            busy.StartHang(command.delay);
            return true;
        case CommandKind::Reject:
            busy.RejectFor(command.delay);
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
