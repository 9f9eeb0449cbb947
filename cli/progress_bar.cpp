#include "cli/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/terminal.h"
#include "platform/utf8.h"

namespace vlt::cli {
namespace {

constexpr std::size_t kMinBarCells = 10;
constexpr std::size_t kMaxBarCells = 40;
constexpr std::size_t kMinLabelWidth = 8;
constexpr double kMinSecondsForSpeed = 1.0;

std::size_t TerminalWidth() {
    return static_cast<std::size_t>(TerminalColumns().value_or(80));
}

void WriteToStderr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// Columns are taken as code points: wide and combining characters are rare in names.
std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char byte) { return !IsContinuationByte(byte); }));
}

// What follows the first `column` code points of `text`, which is valid UTF-8.
std::string_view FromColumn(std::string_view text, std::size_t column) {
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i]) && column-- == 0) {
            break;
        }
    }
    return text.substr(i);
}

// Keeps the end of a long name, which tells files apart best.
std::string Shortened(const std::string& label, std::size_t width) {
    const std::size_t columns = Columns(label);
    if (columns <= width) {
        return label;
    }
    if (width <= 3) {
        return std::string(width, '.');
    }
    return "..." + std::string(FromColumn(label, columns - (width - 3)));
}

}  // namespace

std::string EscapedName(std::string_view name) {
    static constexpr std::string_view kNamedEscapes = "abtnvfr";  // \a (7) to \r (13)
    std::string shown;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const std::optional<char32_t> c = DecodeUtf8(name, i);
        if (c == U'\\') {
            shown += "\\\\";
        } else if (c && *c >= 0x20 && *c != 0x7F && (*c < 0x80 || *c >= 0xA0)) {
            shown += name.substr(start, i - start);
        } else if (c && *c >= 7 && *c <= 13) {
            shown += {'\\', kNamedEscapes[*c - 7]};
        } else {
            for (std::size_t byte = start; byte < i; ++byte) {
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o",
                              static_cast<unsigned char>(name[byte]));
                shown += octal;
            }
        }
    }
    return shown;
}

std::string FormatBytes(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string FormatDuration(double seconds) {
    const auto total = static_cast<std::uint64_t>(std::llround(std::max(seconds, 0.0)));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(total / 3600),
                      static_cast<unsigned long long>(total / 60 % 60),
                      static_cast<unsigned long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(total / 60),
                      static_cast<unsigned long long>(total % 60));
    }
    return text;
}

std::string ProgressText(std::string_view label, const Progress& progress, double elapsedSeconds,
                         std::size_t width) {
    const bool totalKnown = progress.total > 0;
    const bool speedKnown = elapsedSeconds >= kMinSecondsForSpeed;
    const double speed = speedKnown ? static_cast<double>(progress.done) / elapsedSeconds : 0;

    std::string figures = "  " + FormatBytes(progress.done);
    if (totalKnown) {
        figures += " of " + FormatBytes(progress.total);
    }
    if (speedKnown) {
        figures += "  " + FormatBytes(static_cast<std::uint64_t>(speed)) + "/s";
        if (totalKnown && speed > 0 && progress.done < progress.total) {
            figures += "  " +
                       FormatDuration(static_cast<double>(progress.total - progress.done) / speed) +
                       " left";
        }
    }

    std::string percent;
    if (totalKnown) {
        char text[16];
        std::snprintf(text, sizeof text, " %3d%%", std::min(progress.Percent(), 100));
        percent = text;
    }
    // The name gets what the figures and the smallest bar leave, the bar what remains.
    const std::size_t barFrame = totalKnown ? 3 : 0;  // " [" and "]"
    const std::size_t fixed = percent.size() + figures.size() + barFrame;
    const std::size_t spare = width > fixed ? width - fixed : 0;
    const std::size_t minBar = totalKnown ? kMinBarCells : 0;
    const std::string name = EscapedName(label);
    const std::size_t labelWidth =
        std::min(Columns(name), std::max(kMinLabelWidth, spare > minBar ? spare - minBar : 0));
    std::string bar;
    if (totalKnown) {
        const std::size_t left = spare > labelWidth ? spare - labelWidth : 0;
        const std::size_t cells = std::clamp(left, kMinBarCells, kMaxBarCells);
        const auto filled = static_cast<std::size_t>(
            cells * std::min(progress.done, progress.total) / progress.total);
        bar = " [" + std::string(filled, '#') + std::string(cells - filled, '-') + "]";
    }
    std::string text = Shortened(name, labelWidth) + percent + bar + figures;
    if (Columns(text) > width) {
        text.resize(text.size() - FromColumn(text, width).size());
    }
    return text;
}

std::string RedrawnLine(std::string_view text, std::size_t previousColumns, bool escapes) {
    std::string line = "\r" + std::string(text);
    if (escapes) {
        return line + "\033[K";
    }
    const std::size_t columns = Columns(text);
    return line + std::string(previousColumns > columns ? previousColumns - columns : 0, ' ');
}

std::string ClearedLine(std::size_t previousColumns, bool escapes) {
    return escapes ? "\r\033[K" : RedrawnLine("", previousColumns, false) + "\r";
}

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), escapes_(enabled && TerminalTakesEscapes()) {}

void ProgressBar::Update(const Progress& progress) {
    if (!enabled_) {
        return;
    }
    const auto now = Clock::now();
    shown_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // One column short of the width, so the terminal never wraps the line.
    const std::string text = ProgressText(label_, progress, elapsed, TerminalWidth() - 1);
    WriteToStderr(RedrawnLine(text, shownColumns_, escapes_));
    shownColumns_ = std::max(shownColumns_, Columns(text));
}

void ProgressBar::Clear() {
    if (shown_) {
        WriteToStderr(ClearedLine(shownColumns_, escapes_));
        shown_ = false;
        shownColumns_ = 0;
    }
}

}  // namespace vlt::cli
