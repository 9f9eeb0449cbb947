#pragma once

// One start of the program over a fake window, in a fresh folder: the rules, the view and
// the names of the folder's files as the boxes hold them.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/form/form1.h"
#include "cipher/engine.h"
#include "platform/utf8.h"
#include "tests/form/fake_view.h"
#include "tests/support/temp_folder.h"

class Form1Test : public ::testing::Test {
  protected:
    Form1Test() { NewStart(); }

    // A fresh start of the program: one window, one completed run at most.
    void NewStart() {
        form_.reset();
        view_ = std::make_unique<FakeView>();
        form_ = std::make_unique<vlt::Form1>(*view_);
    }

    // A file of the folder as a box holds it.
    std::string In(const std::string& name) const { return vlt::Utf8Of(folder_ / name); }
    std::filesystem::path Path(const std::string& name) const { return folder_ / name; }

    // Waits for the run, running what it posts, until it has ended.
    bool Finish() {
        return view_->RunUntil([this] { return !form_->Running(); });
    }

    // Encrypts `input` and closes the window once the run has opened its files: the run
    // stops at once and leaves nothing but the input.
    void ExpectClosingCancelsTheRun(const std::string& input) {
        view_->SetText(vlt::Box::EncryptInput, In(input));
        view_->SetText(vlt::Box::EncryptOutput, In(input + ".vlt"));
        view_->SetText(vlt::Box::Key, "key");
        form_->EncryptClicked();
        ASSERT_TRUE(form_->Running());
        // The temporary output appears once the input is open, just before its first read.
        ASSERT_TRUE(view_->RunUntil([this] { return folder_.Names().size() == 2; }));

        const auto start = std::chrono::steady_clock::now();
        form_->WindowClosed();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(form_->Running());
        EXPECT_FALSE(view_->visible);
        EXPECT_EQ(view_->ended, 1);
        // What the run posted before it stopped shows nothing now.
        view_->RunPosted();
        EXPECT_TRUE(view_->log.empty());
        EXPECT_EQ(folder_.Names(), std::vector<std::string>{input});
    }

    static vlt::PrimaryKey Key(const std::string& text) { return {text, 1252}; }

    // Encrypts a folder's file directly, as a reference or as a decryption's input.
    void Encrypt(const std::string& input, const std::string& output, const std::string& key) {
        ASSERT_EQ(vlt::EncryptFile(Path(input), {Path(output)}, Key(key)).status,
                  vlt::RunStatus::Finished);
    }

    vlt::testing_support::TempFolder folder_;
    std::unique_ptr<FakeView> view_;
    std::unique_ptr<vlt::Form1> form_;
};
