#pragma once

// Form1's controls as the window was drawn: names, kinds, captions and places in twips,
// in tab order, which is the focus chain. Each view builds its window from this table.

#include <array>
#include <optional>
#include <string_view>

#include "app/form/form1_view.h"

namespace vlt {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidthTwips = 10875;
inline constexpr int kClientHeightTwips = 5790;

enum class ControlKind { Button, Label, TextBox, ProgressBar };

struct ControlPlace {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    int left;
    int top;
    int width;
    int height;
    // A label's box, which the label names for screen readers.
    std::string_view names = {};
    // The side that a file dropped onto the control fills.
    std::optional<Operation> dropSide = std::nullopt;
    // The "..." buttons' bold font (kBrowseFont).
    bool browseFont = false;
};

struct FontDescription {
    std::string_view family;
    double points;
    bool bold;
};
inline constexpr FontDescription kBrowseFont{"MS Sans Serif", 9.75, true};

// The build names the system (VLT_SYSTEM_NAME, "Linux" or "Windows").
inline constexpr std::string_view kContactLine =
    "Veltrimax for " VLT_SYSTEM_NAME " - https://veltrimax.invalid - support@veltrimax.invalid";
// What a screen reader calls the progress bar, which has no caption.
inline constexpr std::string_view kProgressName = "Progress";

inline constexpr auto kEncrypt = Operation::Encrypt;
inline constexpr auto kDecrypt = Operation::Decrypt;
inline constexpr std::array<ControlPlace, 16> kForm1Controls{{
    {"Command1", ControlKind::Button, "Encrypt file", 7680, 1680, 3030, 375},
    {"Label1", ControlKind::Label, "File for encrypt", 240, 795, 1980, 315, "Text1"},
    {"Text1", ControlKind::TextBox, "", 2040, 720, 7785, 285, {}, kEncrypt},
    {"Command3", ControlKind::Button, "...", 10080, 720, 615, 375, {}, kEncrypt, true},
    {"Label2", ControlKind::Label, "Output file name", 240, 1200, 1980, 315, "Text2"},
    {"Text2", ControlKind::TextBox, "", 2070, 1200, 7800, 285, {}, kEncrypt},
    {"ProgressBar1", ControlKind::ProgressBar, "", 240, 2160, 10455, 495},
    {"Text3", ControlKind::TextBox, "", 2070, 240, 7800, 285},
    {"Label3", ControlKind::Label, "Primary key", 240, 315, 1980, 315, "Text3"},
    {"Text5", ControlKind::TextBox, "", 2070, 3720, 7800, 285, {}, kDecrypt},
    {"Command4", ControlKind::Button, "...", 10080, 3240, 615, 375, {}, kDecrypt, true},
    {"Text6", ControlKind::TextBox, "", 2040, 3240, 7785, 285, {}, kDecrypt},
    {"Label5", ControlKind::Label, "Output file name", 240, 3795, 1980, 315, "Text5"},
    {"Label6", ControlKind::Label, "File for decrypt", 240, 3315, 1980, 315, "Text6"},
    {"Command2", ControlKind::Button, "Decrypt file", 7680, 4200, 3030, 375},
    {"Label4", ControlKind::Label, kContactLine, 3240, 5040, 6855, 375},
}};

// The control of that name in kForm1Controls; null for any other name.
const ControlPlace* FindControl(std::string_view name);

// The control name of each box ("Text3" for the key).
std::string_view ControlName(Box box);
// The box of a text box's control name; nothing for any other name.
std::optional<Box> BoxNamed(std::string_view name);

}  // namespace vlt
