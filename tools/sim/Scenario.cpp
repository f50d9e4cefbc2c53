// The scenario text and the statements that simcad's commands share with it.
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "base/Failure.h"
#include "sim/SimulatedHost.h"

namespace vantrel::sim {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits off the first word of `rest`.
std::string_view NextWord(std::string_view& rest) {
    rest = Trim(rest);
    const auto end = rest.find_first_of(" \t");
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : Trim(rest.substr(end));
    return word;
}

std::optional<double> ParseDecimal(std::string_view text) {
    // Scenario decimals always use '.', whatever the locale.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseScale(std::string_view text) {
    std::optional<double> value;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        const std::optional<double> n = ParseDecimal(text.substr(0, slash));
        const std::optional<double> d = ParseDecimal(text.substr(slash + 1));
        if (n && d && *d != 0.0) {
            value = *n / *d;
        }
    } else {
        value = ParseDecimal(text);
    }
    if (!value || !std::isfinite(*value) || !(*value > 0.0)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseStatus(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (const auto bits = ParseInteger<std::uint32_t>(text.substr(2), 16)) {
            return StatusCode(*bits);
        }
        return std::nullopt;
    }
    return ParseInteger<std::int32_t>(text);
}

[[noreturn]] void Malformed(std::size_t line, std::string_view what) {
    throw std::invalid_argument("scenario line " + std::to_string(line) + ": " + std::string(what));
}

std::optional<FaultMode> ParseFaultMode(std::string_view mode, Fault& fault) {
    if (mode == "always") return FaultMode::Always;
    if (mode == "once") return FaultMode::Once;
    if (mode.starts_with("after=")) {
        const auto n = ParseInteger<int>(mode.substr(6));
        if (!n || *n < 0) return std::nullopt;
        fault.afterCalls = *n;
        return FaultMode::AfterCalls;
    }
    if (mode.starts_with("for=")) {
        const auto ms = ParseInteger<std::int64_t>(mode.substr(4));
        if (!ms || *ms < 0) return std::nullopt;
        fault.duration = std::chrono::milliseconds(*ms);
        return FaultMode::ForDuration;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view words) {
    Fault fault;
    fault.call = std::string(NextWord(words));
    const std::optional<std::int32_t> number = ParseStatus(NextWord(words));
    if (!IsCallName(fault.call) || !number) {
        return std::nullopt;
    }
    fault.number = *number;
    const std::optional<FaultMode> mode = ParseFaultMode(NextWord(words), fault);
    if (!mode) {
        return std::nullopt;
    }
    fault.mode = *mode;
    fault.description = std::string(words);
    return fault;
}

std::optional<std::pair<std::string, std::chrono::milliseconds>> ParseCallAndDuration(std::string_view words) {
    const std::string_view call = NextWord(words);
    const auto ms = ParseInteger<std::int64_t>(NextWord(words));
    if (!IsCallName(call) || !ms || *ms < 0 || !words.empty()) {
        return std::nullopt;
    }
    return std::make_pair(std::string(call), std::chrono::milliseconds(*ms));
}

std::shared_ptr<SimulatedHost> SimulatedHost::FromScenario(std::string_view text) {
    std::shared_ptr<SimulatedHost> host = Create();
    bool noDocument = false;
    std::size_t lineNumber = 0;
    const auto current = [&]() -> SimDocument& {
        if (host->documents.empty()) {
            SimDocument document;
            document.name = "Drawing1";
            host->documents.push_back(std::move(document));
        }
        return host->documents.back();
    };
    while (!text.empty()) {
        ++lineNumber;
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        std::string_view rest = Trim(line);
        if (rest.empty()) {
            continue;
        }
        const std::string_view keyword = NextWord(rest);
        if (keyword == "document") {
            const std::string_view name = NextWord(rest);
            if (name.empty() || !rest.empty()) {
                Malformed(lineNumber, "document takes one name");
            }
            SimDocument document;
            document.name = std::string(name);
            host->documents.push_back(std::move(document));
        } else if (keyword == "space") {
            const std::string_view space = NextWord(rest);
            if (!rest.empty() || (space != "paper" && space != "model")) {
                Malformed(lineNumber, "space takes paper or model");
            }
            current().activeSpace = space == "paper" ? kPaperSpace : kModelSpace;
        } else if (keyword == "mspace") {
            const std::string_view state = NextWord(rest);
            if (!rest.empty() || (state != "on" && state != "off")) {
                Malformed(lineNumber, "mspace takes on or off");
            }
            current().mspace = state == "on";
        } else if (keyword == "extents") {
            const std::optional<double> scale = ParseScale(NextWord(rest));
            if (!scale || !rest.empty()) {
                Malformed(lineNumber, "extents needs a positive scale (decimal or N/D)");
            }
            current().extentsScale = *scale;
        } else if (keyword == "viewport") {
            const std::optional<double> scale = ParseScale(NextWord(rest));
            if (!scale) {
                Malformed(lineNumber, "viewport needs a positive scale (decimal or N/D)");
            }
            SimEntity viewport;
            viewport.customScale = *scale;
            bool active = false;
            bool stateGiven = false;
            while (!rest.empty()) {
                const std::string_view flag = NextWord(rest);
                if ((flag == "on" || flag == "off") && !stateGiven) {
                    viewport.display = flag == "on";
                    stateGiven = true;
                } else if (flag == "active" && !active) {
                    active = true;
                } else if (flag == "locked" && !viewport.displayLocked) {
                    viewport.displayLocked = true;
                } else {
                    Malformed(lineNumber, "viewport takes SCALE [on|off] [active] [locked]");
                }
            }
            SimDocument& document = current();
            document.paperSpace.push_back(viewport);
            if (active) {
                document.activeViewport = document.paperSpace.size() - 1;
            }
        } else if (keyword == "entity") {
            const std::string_view name = NextWord(rest);
            if (name.empty() || !rest.empty()) {
                Malformed(lineNumber, "entity takes one object name");
            }
            current().paperSpace.push_back(
                SimEntity{.objectName = std::string(name), .customScale = 1.0, .display = true});
        } else if (keyword == "fail") {
            std::optional<Fault> fault = ParseFault(rest);
            if (!fault) {
                Malformed(lineNumber,
                          "fail takes a call the host answers, a number (decimal or 0x hex), always | once | "
                          "after=N | for=MS, and a description");
            }
            host->InjectFault(std::move(*fault));
        } else if (keyword == "slow") {
            const auto slow = ParseCallAndDuration(rest);
            if (!slow) {
                Malformed(lineNumber, "slow takes a call the host answers and milliseconds");
            }
            host->SetSlowCall(slow->first, slow->second);
        } else if (keyword == "notrunning" && rest.empty()) {
            host->running = false;
        } else if (keyword == "nodocument" && rest.empty()) {
            noDocument = true;
        } else {
            Malformed(lineNumber, "unknown statement '" + std::string(keyword) + "'");
        }
    }
    if (!noDocument && !host->documents.empty()) {
        host->activeDocument = 0;
    }
    return host;
}

bool SimulatedHost::ApplyUserMove(std::string_view move) {
    if (!activeDocument || *activeDocument >= documents.size()) {
        return false;
    }
    SimDocument& document = documents[*activeDocument];
    std::string_view rest = move;
    const std::string_view verb = NextWord(rest);
    if ((verb == "lock" || verb == "unlock")) {
        const auto item = ParseInteger<std::size_t>(NextWord(rest));
        if (!item || *item == 0 || *item > document.paperSpace.size() || !rest.empty() ||
            !IsViewport(document.paperSpace[*item - 1])) {
            return false;
        }
        document.paperSpace[*item - 1].displayLocked = verb == "lock";
        return true;
    }
    if (!rest.empty()) {
        return false;
    }
    if (verb == "leave-viewport") {
        document.mspace = false;
    } else if (verb == "enter-viewport") {
        if (document.activeSpace != kPaperSpace || !document.activeViewport ||
            !IsFloatingViewport(document, *document.activeViewport)) {
            return false;
        }
        document.mspace = true;
    } else if (verb == "model-tab" || verb == "layout") {
        document.activeSpace = verb == "layout" ? kPaperSpace : kModelSpace;
    } else {
        return false;
    }
    return true;
}

}  // namespace vantrel::sim
