// simcad's control commands, sent by tests and the demo to its window.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "BusyHost.h"
#include "Journal.h"
#include "sim/SimulatedHost.h"

namespace vantrel::simcad {

enum class CommandKind { Exit, Quit, Activate, Fault, Slow, Hang, Reject, UserMove, ClearJournal };

struct Command {
    CommandKind kind = CommandKind::Quit;
    std::size_t document = 0;            // Activate: 1-based
    sim::Fault fault;                    // Fault (busy and refuse are faults too)
    std::string call;                    // Slow
    std::chrono::milliseconds delay{0};  // Slow; Hang and Reject: how long
    std::string move;                    // UserMove: as SimulatedHost::ApplyUserMove takes it
};

// Nothing when the text is not a command.
std::optional<Command> ParseCommand(std::string_view text);

// Returns false when the command cannot apply (no such document, a move the
// drawing does not allow). Exit does not return.
bool Apply(const Command& command, sim::SimulatedHost& host, Journal& journal, BusyHost& busy);

}  // namespace vantrel::simcad
