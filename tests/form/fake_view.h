#pragma once

// A window for Form1's rules without a toolkit: boxes as strings, scripted answers for
// the Open dialog and the Yes/No questions, a log of what was shown, and a queue of
// posted tasks that the test runs as a window's event loop would.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/form/form1_view.h"
#include "tests/support/yes_no_answers.h"

class FakeView final : public vlt::Form1View {
  public:
    enum class Kind { Note, Error, Question };
    struct Message {
        Kind kind;
        std::string text;
    };
    // What the dialog was given each time it was shown.
    struct Shown {
        std::string filter;
        std::string fileName;
        std::string folder;
    };

    std::map<vlt::Box, std::string> boxes;
    int progress = 0;
    // Every value the bar moved to, in order: setting the value it shows is no move.
    std::vector<int> progressMoves;
    std::vector<Message> log;
    // Answers to the Yes/No questions, in order; with none left the answer is No.
    std::deque<bool> answers;
    // One per showing of the dialog, in order: a path, or nothing for a cancel. With
    // none left the dialog is cancelled.
    std::deque<std::optional<std::string>> choices;
    std::vector<Shown> shown;
    // Called after each message is logged, e.g. to change the files while it is open.
    std::function<void(const Message&)> onShown;
    bool visible = true;
    int ended = 0;

    std::string Text(vlt::Box box) const override {
        OnWindowThread();
        const auto found = boxes.find(box);
        return found == boxes.end() ? std::string() : found->second;
    }
    void SetText(vlt::Box box, const std::string& text) override {
        OnWindowThread();
        boxes[box] = text;
    }
    void SetProgress(int percent) override {
        OnWindowThread();
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        if (percent != progress) {
            progressMoves.push_back(percent);
        }
        progress = percent;
    }
    void Inform(const std::string& text) override { Log(Kind::Note, text); }
    void ShowError(const std::string& text) override { Log(Kind::Error, text); }
    bool AskYesNo(const std::string& text) override {
        Log(Kind::Question, text);
        return NextAnswer(answers);
    }
    std::optional<std::string> ShowOpen(const std::string& filter, const std::string& fileName,
                                        const std::string& folder) override {
        OnWindowThread();
        shown.push_back({filter, fileName, folder});
        if (choices.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> choice = choices.front();
        choices.pop_front();
        return choice;
    }
    void Hide() override {
        OnWindowThread();
        visible = false;
    }
    void EndProgram() override {
        OnWindowThread();
        ++ended;
    }
    void Post(std::function<void()> task) override {
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }

    // Runs the tasks posted so far.
    void RunPosted() {
        while (std::optional<std::function<void()>> task = Next(std::chrono::milliseconds(0))) {
            (*task)();
        }
    }

    // Runs posted tasks as they come until `done` holds, looking at it at least every
    // 10 ms; false if it does not hold within `timeout`.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            if (std::optional<std::function<void()>> task =
                    Next(std::min(left, std::chrono::milliseconds(10)))) {
                (*task)();
            }
        }
        return true;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Message& message : log) {
            texts.push_back(message.text);
        }
        return texts;
    }

  private:
    // Everything but Post belongs to the window's thread, here the test's.
    void OnWindowThread() const {
        EXPECT_EQ(std::this_thread::get_id(), windowThread_) << "called off the window's thread";
    }

    void Log(Kind kind, const std::string& text) {
        OnWindowThread();
        log.push_back({kind, text});
        if (onShown) {
            onShown(log.back());
        }
    }

    std::optional<std::function<void()>> Next(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, wait, [this] { return !tasks_.empty(); })) {
            return std::nullopt;
        }
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    std::thread::id windowThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};
