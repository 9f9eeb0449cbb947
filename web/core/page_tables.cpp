// Prints, as JSON, what the page takes from the window's own tables: its controls in tab
// order with their captions, places and the boxes their labels name, and every text the
// page shows. The site's build turns it into the page, so that the window and the page
// keep one home for both.

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "app/form/form1_layout.h"
#include "app/form/messages.h"

namespace {

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

const char* KindName(vlt::ControlKind kind) {
    switch (kind) {
        case vlt::ControlKind::Button:
            return "button";
        case vlt::ControlKind::Label:
            return "label";
        case vlt::ControlKind::TextBox:
            return "textbox";
        case vlt::ControlKind::ProgressBar:
            return "progressbar";
    }
    return "";
}

}  // namespace

int main() {
    std::printf("{\n  \"clientWidth\": %d,\n  \"clientHeight\": %d,\n  \"twipsPerPixel\": %d,\n",
                vlt::kClientWidthTwips, vlt::kClientHeightTwips, vlt::kTwipsPerPixel);
    std::printf("  \"browseFont\": {\"family\": %s, \"points\": %g, \"bold\": %s},\n",
                Quoted(vlt::kBrowseFont.family).c_str(), vlt::kBrowseFont.points,
                vlt::kBrowseFont.bold ? "true" : "false");
    std::printf("  \"controls\": [\n");
    for (std::size_t i = 0; i < vlt::kForm1Controls.size(); ++i) {
        const vlt::ControlPlace& place = vlt::kForm1Controls[i];
        std::string side = "null";
        if (place.dropSide) {
            side = *place.dropSide == vlt::Operation::Encrypt ? "\"encrypt\"" : "\"decrypt\"";
        }
        std::printf(
            "    {\"name\": %s, \"kind\": \"%s\", \"caption\": %s, \"left\": %d, \"top\": %d, "
            "\"width\": %d, \"height\": %d, \"names\": %s, \"dropSide\": %s, "
            "\"browseFont\": %s}%s\n",
            Quoted(place.name).c_str(), KindName(place.kind), Quoted(place.caption).c_str(),
            place.left, place.top, place.width, place.height, Quoted(place.names).c_str(),
            side.c_str(), place.browseFont ? "true" : "false",
            i + 1 == vlt::kForm1Controls.size() ? "" : ",");
    }
    const std::pair<const char*, std::string> texts[] = {
        {"windowTitle", std::string(vlt::kWindowTitle)},
        {"messageTitle", std::string(vlt::kMessageTitle)},
        {"progressName", std::string(vlt::kProgressName)},
        {"enterFileName", std::string(vlt::kEnterFileName)},
        {"enterKey", std::string(vlt::kEnterKey)},
        {"enterDecryptName", std::string(vlt::kEnterDecryptName)},
        {"enterOutputName", std::string(vlt::kEnterOutputName)},
        {"enterDecryptOutputName", std::string(vlt::kEnterDecryptOutputName)},
        {"encryptFinished", std::string(vlt::kEncryptFinished)},
        {"decryptFinished", std::string(vlt::kDecryptFinished)},
        {"wrongKeyQuestion", std::string(vlt::kWrongKeyQuestion)},
        {"dropOneFile", std::string(vlt::kDropOneFile)},
        {"encryptFailed", vlt::EncryptFailed("")},
        {"decryptFailed", vlt::DecryptFailed("")},
    };
    std::printf("  ],\n  \"texts\": {\n");
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        std::printf("    %s: %s%s\n", Quoted(texts[i].first).c_str(),
                    Quoted(texts[i].second).c_str(), i + 1 == std::size(texts) ? "" : ",");
    }
    std::printf("  }\n}\n");
    return 0;
}
