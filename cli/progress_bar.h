#pragma once

// The one-line progress bar on standard error: percent, bytes, speed, time left.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "cipher/engine.h"

namespace vlt::cli {

std::string FormatBytes(std::uint64_t bytes);  // "512 B", "1.5 KiB", "12.0 MiB"
std::string FormatDuration(double seconds);    // "0:05", "12:34", "1:02:03"

// The name as `ls -b` shows it, on one line: C escapes (\n, \t, ...) for control
// characters, \\ for a backslash, \ooo for each byte of the rest that is not
// printable UTF-8.
std::string EscapedName(std::string_view name);

// The bar's text for `width` columns at most, the label escaped. Speed and time left appear once
// there is a second's worth of measure; percent and time left only when the total is known.
std::string ProgressText(std::string_view label, const Progress& progress, double elapsedSeconds,
                         std::size_t width);

// What redraws a line of `previousColumns` as `text` from its start: where the
// terminal takes escapes, "\r", the text and the escape that clears the rest;
// elsewhere blanks over what the text leaves of the old line.
std::string RedrawnLine(std::string_view text, std::size_t previousColumns, bool escapes);
// What leaves that line blank with the cursor at its start.
std::string ClearedLine(std::size_t previousColumns, bool escapes);

class ProgressBar {
  public:
    // Draws only when `enabled` (standard error is a terminal and not --quiet).
    ProgressBar(std::string label, bool enabled);
    ~ProgressBar() { Clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Draws the bar again; the run calls it at kRedrawPace at most.
    void Update(const Progress& progress);
    // How often the bar is drawn again: often enough to look alive, seldom
    // enough to cost nothing.
    static constexpr std::chrono::milliseconds kRedrawPace{200};
    // Removes the bar so that messages start on a clean line.
    void Clear();

  private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    bool enabled_;
    bool escapes_ = false;
    std::size_t shownColumns_ = 0;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
};

}  // namespace vlt::cli
