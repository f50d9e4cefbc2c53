// What the window's behaviour needs of its native controls. The Win32 window
// implements it over real controls; unit tests implement it with a recorder.
// Any call may throw vantrel::Failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "catalog/ScaleCatalog.h"

namespace vantrel::ui {

// Message box styles: buttons plus icon, as the platform numbers them.
enum class MessageStyle : int {
    Plain = 0,         // OK, no icon
    Critical = 16,     // OK, stop icon
    RetryCancel = 53,  // Retry and Cancel, warning icon
};

// The button that closed a message box.
enum class MessageAnswer { Ok, Retry, Cancel };

enum class NativeWindow { Main, List };

// The check box's state value; anything but kChecked counts as clear.
inline constexpr int kCheckClear = 0;
inline constexpr int kChecked = 1;

// A row of the scale list: its label, then the text of each further column.
using catalog::RowTexts;

class Controls {
public:
    virtual ~Controls() = default;

    // The scale list. Positions are 1-based: the position at which the row was added.
    virtual void ClearRows() = 0;
    virtual void AddRow(std::int32_t position, const RowTexts& texts) = 0;
    virtual std::optional<std::int32_t> SelectedRow() = 0;
    // A fill's row changes come between these two, so that a native list
    // draws once at the end instead of at every change.
    virtual void BeginRowChanges() noexcept = 0;
    virtual void EndRowChanges() noexcept = 0;

    // The scale system option buttons: checks one (and clears the others)
    // without raising its event; FrmMain shows the system itself.
    virtual void CheckOption(int index) = 0;

    // The "Transparent" check box and the opacity of the window and of its list.
    virtual int TransparentState() = 0;
    virtual void MakeTransparent(NativeWindow window, std::uint8_t alpha) = 0;

    // A modal message box owned by the window. Returns when the user closed it,
    // with the button that closed it.
    virtual MessageAnswer ShowMessage(std::string_view text, std::string_view title, MessageStyle style) = 0;

    // The user's decimal separator for numbers shown to the user.
    virtual std::string DecimalSeparator() = 0;

    // Ends the program at once: the timer stops and the process exits, so
    // nothing of the program runs after it. Only a recorder returns.
    virtual void EndProgram() noexcept = 0;
};

}  // namespace vantrel::ui
