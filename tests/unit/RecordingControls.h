// A Controls double for the window's behaviour: records what the window shows
// (list rows, option, opacity, message boxes) and can fail any of its calls.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace vantrel::testing {

struct ShownBox {
    std::string text;
    std::string title;
    ui::MessageStyle style;
};

class RecordingControls : public ui::Controls {
public:
    // The list as the user sees it: each row's label then its sub-items.
    std::vector<std::vector<std::string>> rows;
    std::optional<std::int32_t> selectedRow;
    std::optional<int> checkedOption;
    int transparentState = ui::kCheckClear;
    std::string decimalSeparator = ".";
    std::vector<std::pair<ui::NativeWindow, std::uint8_t>> opacity;
    std::vector<ShownBox> boxes;
    int selectedRowReads = 0;
    // Fills bracket their row changes; a row change or a box outside or
    // inside such a bracket is counted where it should not be.
    bool rowChangesOpen = false;
    int rowChangeBrackets = 0;
    int rowChangesOutsideBrackets = 0;
    int boxesWhileRowChangesOpen = 0;
    // Boxes open right now, and the most ever open at once (one box over
    // another would be a second modal box the user has to dismiss).
    int openBoxes = 0;
    int mostOpenBoxes = 0;
    // Runs while a box is "open", e.g. to deliver a timer tick meanwhile.
    std::function<void(const ShownBox&)> whileBoxOpen;
    // The user's answers to Retry/Cancel boxes, in turn; Cancel once they run out.
    std::vector<ui::MessageAnswer> answers;

    // The `occurrence`-th call (1-based) of `call` from now on, and every later
    // one, runs `thrower`.
    void FailFrom(const std::string& call, int occurrence, std::function<void()> thrower) {
        faults_[call] = {calls_[call] + occurrence, std::move(thrower)};
    }

    [[nodiscard]] int CallCount(const std::string& call) const {
        const auto found = calls_.find(call);
        return found == calls_.end() ? 0 : found->second;
    }

    void ClearRows() override {
        Enter("ClearRows");
        CountRowChange();
        rows.clear();
    }
    void AddRow(std::int32_t position, std::string_view label) override {
        Enter("AddRow");
        CountRowChange();
        if (static_cast<std::size_t>(position) != rows.size() + 1) {
            throw std::logic_error("row added out of order");
        }
        rows.push_back({std::string(label)});
    }
    void AddSubItem(std::int32_t position, std::string_view text) override {
        Enter("AddSubItem");
        CountRowChange();
        rows.at(static_cast<std::size_t>(position) - 1).emplace_back(text);
    }
    void BeginRowChanges() noexcept override {
        ++rowChangeBrackets;
        rowChangesOpen = true;
    }
    void EndRowChanges() noexcept override { rowChangesOpen = false; }
    std::optional<std::int32_t> SelectedRow() override {
        Enter("SelectedRow");
        ++selectedRowReads;
        return selectedRow;
    }
    bool IsOptionChecked(int index) override {
        Enter("IsOptionChecked");
        if (index < 0 || index > 3) throw std::out_of_range("Option1 has four buttons");  // as the native window
        return checkedOption == index;
    }
    void CheckOption(int index) override {
        Enter("CheckOption");
        checkedOption = index;
    }
    int TransparentState() override {
        Enter("TransparentState");
        return transparentState;
    }
    void MakeTransparent(ui::NativeWindow window, std::uint8_t alpha) override {
        Enter("MakeTransparent");
        opacity.emplace_back(window, alpha);
    }
    ui::MessageAnswer ShowMessage(std::string_view text, std::string_view title, ui::MessageStyle style) override {
        Enter("ShowMessage");
        if (rowChangesOpen) ++boxesWhileRowChangesOpen;
        boxes.push_back({std::string(text), std::string(title), style});
        const OpenBox open(*this);
        if (whileBoxOpen) {
            const ShownBox box = boxes.back();
            whileBoxOpen(box);
        }
        if (style != ui::MessageStyle::RetryCancel) return ui::MessageAnswer::Ok;
        if (answers.empty()) return ui::MessageAnswer::Cancel;
        const ui::MessageAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::string DecimalSeparator() override {
        Enter("DecimalSeparator");
        return decimalSeparator;
    }

private:
    // Counts a box as open until ShowMessage returns, also by an exception.
    class OpenBox {
    public:
        explicit OpenBox(RecordingControls& controls) : controls_(controls) {
            controls_.mostOpenBoxes = std::max(controls_.mostOpenBoxes, ++controls_.openBoxes);
        }
        ~OpenBox() { --controls_.openBoxes; }
        OpenBox(const OpenBox&) = delete;
        OpenBox& operator=(const OpenBox&) = delete;

    private:
        RecordingControls& controls_;
    };

    struct ControlFault {
        int occurrence = 0;
        std::function<void()> thrower;
    };

    void CountRowChange() {
        if (!rowChangesOpen) ++rowChangesOutsideBrackets;
    }

    void Enter(const std::string& call) {
        const int seen = ++calls_[call];
        if (const auto fault = faults_.find(call); fault != faults_.end() && seen >= fault->second.occurrence) {
            fault->second.thrower();
        }
    }

    std::map<std::string, int> calls_;
    std::map<std::string, ControlFault> faults_;
};

}  // namespace vantrel::testing
