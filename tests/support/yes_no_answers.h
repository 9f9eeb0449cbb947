#pragma once

// Scripted answers to a window's Yes/No questions, for the stand-ins of its message boxes.

#include <deque>

// The next answer, taken off the front; with none left the answer is No, a question's default.
inline bool NextAnswer(std::deque<bool>& answers) {
    if (answers.empty()) {
        return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}
