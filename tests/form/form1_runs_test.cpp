// Both runs on real files: the end of the program after a completed run, failures that keep
// the window usable, the wrong-key and replace questions, progress, and closing during a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form/background_run.h"
#include "app/form/messages.h"
#include "tests/form/form1_fixture.h"

namespace {

using vlt::Box;
using vlt::Operation;
using vlt::testing_support::RandomBytes;
using vlt::testing_support::ReadAll;
using vlt::testing_support::WriteAll;

void Click(vlt::Form1& form, Operation operation) {
    if (operation == Operation::Encrypt) {
        form.EncryptClicked();
    } else {
        form.DecryptClicked();
    }
}

void FillSide(FakeView& view, Operation operation, const std::string& input,
              const std::string& output) {
    const bool encrypt = operation == Operation::Encrypt;
    view.SetText(encrypt ? Box::EncryptInput : Box::DecryptInput, input);
    view.SetText(encrypt ? Box::EncryptOutput : Box::DecryptOutput, output);
}

std::string Finished(Operation operation) {
    return std::string(operation == Operation::Encrypt ? vlt::kEncryptFinished
                                                       : vlt::kDecryptFinished);
}

struct RoundTrip {
    const char* name;
    std::size_t size;
    std::string key;
    std::string note{};  // shown before each run
};

// The messages of a run: its note, if any, then its end.
std::vector<std::string> Said(const RoundTrip& trip, Operation operation) {
    std::vector<std::string> texts;
    if (!trip.note.empty()) {
        texts.push_back(trip.note);
    }
    texts.push_back(Finished(operation));
    return texts;
}

// Failures name the row, not its bytes.
void PrintTo(const RoundTrip& row, std::ostream* out) {
    *out << row.name;
}

class RoundTripTest : public Form1Test, public ::testing::WithParamInterface<RoundTrip> {};

// Each completed run ends the program; the decryption comes from a second start.
TEST_P(RoundTripTest, EncryptsAndDecryptsThroughTheButtons) {
    const RoundTrip& trip = GetParam();
    const std::string plain = RandomBytes(trip.size, 11);
    WriteAll(Path("report.doc"), plain);

    view_->choices.push_back(In("report.doc"));
    form_->BrowseEncryptClicked();
    view_->SetText(Box::Key, trip.key);
    form_->EncryptClicked();
    EXPECT_TRUE(form_->Running());
    ASSERT_TRUE(Finish());
    EXPECT_EQ(view_->Texts(), Said(trip, Operation::Encrypt));
    EXPECT_EQ(view_->ended, 1);
    EXPECT_FALSE(view_->visible);
    EXPECT_EQ(view_->progress, 100);
    const std::string encrypted = ReadAll(Path("report.doc.vlt"));
    EXPECT_EQ(encrypted.size(), 3 * trip.size + 4);
    Encrypt("report.doc", "direct.vlt", trip.key);
    EXPECT_EQ(encrypted, ReadAll(Path("direct.vlt")));

    NewStart();
    view_->choices.push_back(In("report.doc.vlt"));
    form_->BrowseDecryptClicked();
    EXPECT_EQ(view_->Text(Box::DecryptOutput), In("report.doc"));
    view_->SetText(Box::DecryptOutput, In("restored.doc"));
    view_->SetText(Box::Key, trip.key);
    form_->DecryptClicked();
    ASSERT_TRUE(Finish());
    EXPECT_EQ(view_->Texts(), Said(trip, Operation::Decrypt));
    EXPECT_EQ(view_->ended, 1);
    EXPECT_EQ(view_->progress, 100);
    EXPECT_EQ(ReadAll(Path("restored.doc")), plain);
}

INSTANTIATE_TEST_SUITE_P(Files, RoundTripTest,
                         ::testing::Values(RoundTrip{"EmptyFile", 0, "key"},
                                           RoundTrip{"OneByte", 1, "key"},
                                           RoundTrip{"EveryByteValue", 3 * 256, "Ključ 1€"},
                                           RoundTrip{"SeveralBlocks", 700 * 1024, "   "},
                                           // "ключ": not in 1252 (VLT_CODEPAGE of the tests)
                                           RoundTrip{"KeyCharactersTheCodePageLacks", 100,
                                                     "\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87",
                                                     "4 characters of the key cannot be written "
                                                     "in code page 1252 and count as '?'"}),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Form1Test, AWrongKeyAsksBeforeWritingAnything) {
    const std::string plain = RandomBytes(2000, 3);
    WriteAll(Path("a.bin"), plain);
    Encrypt("a.bin", "a.vlt", "right");
    const std::string question(vlt::kWrongKeyQuestion);
    FillSide(*view_, Operation::Decrypt, In("a.vlt"), In("out.bin"));
    view_->SetText(Box::Key, "wrong");

    form_->DecryptClicked();
    ASSERT_TRUE(Finish());
    EXPECT_EQ(view_->Texts(), std::vector<std::string>{question});
    EXPECT_EQ(view_->log.front().kind, FakeView::Kind::Question);
    EXPECT_FALSE(std::filesystem::exists(Path("out.bin")));
    EXPECT_EQ(view_->ended, 0);
    EXPECT_TRUE(view_->visible);
    EXPECT_EQ(view_->progress, 0);

    // A Yes runs it again and writes what the wrong key gives.
    view_->answers.push_back(true);
    form_->DecryptClicked();
    ASSERT_TRUE(view_->RunUntil([this] { return !form_->Running() && view_->ended == 1; }));
    EXPECT_EQ(view_->Texts(),
              (std::vector<std::string>{question, question, Finished(Operation::Decrypt)}));
    const std::string written = ReadAll(Path("out.bin"));
    EXPECT_EQ(written.size(), plain.size());
    EXPECT_NE(written, plain);
}

// Files that are not whole: one written over an older, longer one decrypts with a note;
// a damaged one asks whether to save what can be read (No writes nothing).
TEST_F(Form1Test, LeftOverBytesAreNotedAndADamagedFileAsksToSalvage) {
    const std::string newer = RandomBytes(1000, 4);
    WriteAll(Path("newer"), newer);
    Encrypt("newer", "newer.vlt", "k");
    const std::string written = ReadAll(Path("newer.vlt"));
    // The newer file's bytes over the older one's, as the Windows program left them.
    for (unsigned seed = 6;; ++seed) {
        WriteAll(Path("older"), RandomBytes(3000, seed));
        Encrypt("older", "older.vlt", "k");
        WriteAll(Path("over.vlt"), written + ReadAll(Path("older.vlt")).substr(written.size()));
        const vlt::PrimaryKey key{"k", 1252};
        if (vlt::CheckFile(Path("over.vlt"), &key).file.tail == vlt::VltTail::LeftOver) {
            break;
        }
    }
    WriteAll(Path("cut.vlt"), written.substr(0, 2000));
    const struct {
        const char* input;
        std::deque<bool> answers;
        std::vector<std::string> said;
        bool writes;
        std::string output;
    } cases[] = {
        {"over.vlt",
         {},
         {vlt::FinishedWithNote(vlt::kDecryptFinished, In("over.vlt"),
                                "the last 6,000 bytes are left over from an older file written "
                                "at this name, and were ignored")},
         true,
         newer},
        {"cut.vlt",
         {false},
         {vlt::DamagedQuestion(In("cut.vlt"),
                               "cut short: 2,000 bytes, the last 1 of a triple missing")},
         false,
         ""},
        {"cut.vlt",
         {true},
         {vlt::DamagedQuestion(In("cut.vlt"),
                               "cut short: 2,000 bytes, the last 1 of a triple missing"),
          vlt::FinishedWithNote(vlt::kDecryptFinished, In("cut.vlt"),
                                "damaged (cut short: 2,000 bytes, the last 1 of a triple "
                                "missing); what could be read was written")},
         true,
         newer.substr(0, 666)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + (c.answers.empty()   ? ""
                                             : c.answers.front() ? " yes"
                                                                 : " no"));
        NewStart();
        view_->answers = c.answers;
        FillSide(*view_, Operation::Decrypt, In(c.input), In("out.bin"));
        view_->SetText(Box::Key, "k");
        form_->DecryptClicked();
        ASSERT_TRUE(view_->RunUntil(
            [&] { return !form_->Running() && view_->log.size() == c.said.size(); }));
        EXPECT_EQ(view_->Texts(), c.said);
        EXPECT_EQ(view_->ended, c.writes ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(Path("out.bin")), c.writes);
        if (c.writes) {
            EXPECT_EQ(ReadAll(Path("out.bin")), c.output);
            std::filesystem::remove(Path("out.bin"));
        }
    }
}

// A run that fails: the names put into its boxes (in a folder holding "plain.bin",
// "good.vlt" and "folder") and a part of the error.
struct Failure {
    const char* name;
    Operation operation;
    std::string input;
    std::string output;
    std::string expected;
};

void PrintTo(const Failure& row, std::ostream* out) {
    *out << row.name;
}

class FailureTest : public Form1Test, public ::testing::WithParamInterface<Failure> {};

// The boxes are then corrected and the run tried again, which must succeed.
TEST_P(FailureTest, NamesTheFileAndKeepsTheWindowUsable) {
    const Failure& failure = GetParam();
    WriteAll(Path("plain.bin"), RandomBytes(5000, 5));
    std::filesystem::create_directory(Path("folder"));
    Encrypt("plain.bin", "good.vlt", "k");
    const bool encrypt = failure.operation == Operation::Encrypt;
    const bool blank = failure.input.find_first_not_of(' ') == std::string::npos;
    FillSide(*view_, failure.operation, blank ? failure.input : In(failure.input),
             In(failure.output));
    view_->SetText(Box::Key, "k");

    Click(*form_, failure.operation);
    ASSERT_TRUE(Finish());
    ASSERT_EQ(view_->log.size(), 1U);
    const FakeView::Message error = view_->log.front();
    EXPECT_EQ(error.kind, FakeView::Kind::Error);
    EXPECT_TRUE(error.text.starts_with(encrypt ? "Encryption failed: " : "Decryption failed: "))
        << error.text;
    EXPECT_NE(error.text.find(failure.expected), std::string::npos) << error.text;
    EXPECT_EQ(view_->ended, 0);
    EXPECT_TRUE(view_->visible);
    EXPECT_EQ(view_->progress, 0);
    EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"folder", "good.vlt", "plain.bin"}));

    FillSide(*view_, failure.operation, In(encrypt ? "plain.bin" : "good.vlt"), In("second try"));
    Click(*form_, failure.operation);
    ASSERT_TRUE(Finish());
    EXPECT_EQ(view_->log.back().text, Finished(failure.operation));
    EXPECT_EQ(view_->ended, 1);
    EXPECT_TRUE(std::filesystem::exists(Path("second try")));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FailureTest,
    ::testing::Values(
        Failure{"MissingInput", Operation::Encrypt, "missing.bin", "out.vlt", "missing.bin"},
        Failure{"FolderAsInput", Operation::Encrypt, "folder", "out.vlt", "folder"},
        Failure{"OutputInAMissingFolder", Operation::Encrypt, "plain.bin", "nowhere/out.vlt",
                "nowhere"},
        Failure{"InputNameOfBlanks", Operation::Encrypt, "  ", "out.vlt", "Encryption failed"},
        Failure{"MissingEncryptedFile", Operation::Decrypt, "missing.vlt", "out.bin",
                "missing.vlt"},
        Failure{"NotAnEncryptedFile", Operation::Decrypt, "plain.bin", "out.bin", "plain.bin"},
        Failure{"OutputOverAFolder", Operation::Decrypt, "good.vlt", "folder", "folder"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// What is at the output's name: a file or a dangling link from the start, or a file made
// while the wrong-key question is open.
enum class AtOutput { Nothing, File, DanglingLink, FileMadeWhileAsked };
enum class Asked { WrongKey, Replace };

// A run into "out" from "plain.bin" or "plain.vlt" (key "k"), the answers to its questions
// in order, the questions expected, and whether "out" is then written.
struct Replacement {
    const char* name;
    Operation operation;
    AtOutput atOutput;
    bool wrongKey;
    std::deque<bool> answers;
    std::vector<Asked> asked;
    bool written;
};

void PrintTo(const Replacement& row, std::ostream* out) {
    *out << row.name;
}

class ReplacementTest : public Form1Test, public ::testing::WithParamInterface<Replacement> {};

TEST_P(ReplacementTest, AnOutputNameInUseIsReplacedOnlyWhenAgreed) {
    const Replacement& run = GetParam();
    const std::string plain = RandomBytes(3000, 9);
    const std::string old = "the output of an earlier day";
    WriteAll(Path("plain.bin"), plain);
    Encrypt("plain.bin", "plain.vlt", "k");
    const bool before = run.atOutput == AtOutput::File || run.atOutput == AtOutput::DanglingLink;
    if (run.atOutput == AtOutput::File) {
        WriteAll(Path("out"), old);
    } else if (run.atOutput == AtOutput::DanglingLink) {
        std::filesystem::create_symlink(Path("missing"), Path("out"));
    } else if (run.atOutput == AtOutput::FileMadeWhileAsked) {
        // The run after the wrong-key question finds the file only when putting its output
        // in place: that finished output is what a Yes puts there, the input being gone.
        view_->onShown = [&](const FakeView::Message& message) {
            if (message.text == vlt::kWrongKeyQuestion) {
                WriteAll(Path("out"), old);
            } else if (message.text == vlt::ReplaceQuestion(In("out"))) {
                std::filesystem::remove(Path("plain.vlt"));
            }
        };
    }
    const bool encrypt = run.operation == Operation::Encrypt;
    FillSide(*view_, run.operation, In(encrypt ? "plain.bin" : "plain.vlt"), In("out"));
    view_->SetText(Box::Key, run.wrongKey ? "wrong" : "k");
    view_->answers = run.answers;

    Click(*form_, run.operation);
    // Asked before anything runs; a No starts nothing.
    EXPECT_EQ(view_->log.size(), before ? 1U : 0U);
    EXPECT_EQ(form_->Running(), !before || run.answers.front());
    std::vector<std::string> expected;
    for (const Asked asked : run.asked) {
        expected.push_back(asked == Asked::WrongKey ? std::string(vlt::kWrongKeyQuestion)
                                                    : vlt::ReplaceQuestion(In("out")));
    }
    if (run.written) {
        expected.push_back(Finished(run.operation));
    }
    ASSERT_TRUE(
        view_->RunUntil([&] { return !form_->Running() && view_->log.size() == expected.size(); }));
    EXPECT_EQ(view_->Texts(), expected);
    EXPECT_EQ(view_->ended, run.written ? 1 : 0);
    EXPECT_EQ(view_->progress, run.written ? 100 : 0);
    if (run.written && run.wrongKey) {
        const std::string written = ReadAll(Path("out"));
        EXPECT_EQ(written.size(), plain.size());
        EXPECT_NE(written, plain);
        EXPECT_EQ(folder_.Names().size(), run.atOutput == AtOutput::FileMadeWhileAsked ? 2U : 3U);
    } else if (run.written) {
        EXPECT_EQ(ReadAll(Path("out")), encrypt ? ReadAll(Path("plain.vlt")) : plain);
    } else {
        EXPECT_TRUE(view_->visible);
        // Nothing else: no temporary file either.
        EXPECT_EQ(folder_.Names(),
                  run.atOutput == AtOutput::FileMadeWhileAsked
                      ? (std::vector<std::string>{"out", "plain.bin"})
                      : (std::vector<std::string>{"out", "plain.bin", "plain.vlt"}));
        if (run.atOutput == AtOutput::DanglingLink) {
            EXPECT_EQ(std::filesystem::read_symlink(Path("out")), Path("missing"));
        } else {
            EXPECT_EQ(ReadAll(Path("out")), old);
        }
    }
}

constexpr auto kWrong = Asked::WrongKey;
constexpr auto kReplace = Asked::Replace;

INSTANTIATE_TEST_SUITE_P(
    Questions, ReplacementTest,
    ::testing::Values(
        Replacement{
            "EncryptNothingAtTheName", Operation::Encrypt, AtOutput::Nothing, false, {}, {}, true},
        Replacement{"EncryptFileKept",
                    Operation::Encrypt,
                    AtOutput::File,
                    false,
                    {false},
                    {kReplace},
                    false},
        Replacement{"EncryptFileReplaced",
                    Operation::Encrypt,
                    AtOutput::File,
                    false,
                    {true},
                    {kReplace},
                    true},
        Replacement{"EncryptDanglingLinkKept",
                    Operation::Encrypt,
                    AtOutput::DanglingLink,
                    false,
                    {false},
                    {kReplace},
                    false},
        Replacement{"EncryptDanglingLinkReplaced",
                    Operation::Encrypt,
                    AtOutput::DanglingLink,
                    false,
                    {true},
                    {kReplace},
                    true},
        Replacement{"DecryptFileKept",
                    Operation::Decrypt,
                    AtOutput::File,
                    false,
                    {false},
                    {kReplace},
                    false},
        Replacement{"DecryptFileReplaced",
                    Operation::Decrypt,
                    AtOutput::File,
                    false,
                    {true},
                    {kReplace},
                    true},
        Replacement{"WrongKeyReplacingAgreedOnce",
                    Operation::Decrypt,
                    AtOutput::File,
                    true,
                    {true, true},
                    {kReplace, kWrong},
                    true},
        Replacement{"WrongKeyFileMadeMeanwhileReplaced",
                    Operation::Decrypt,
                    AtOutput::FileMadeWhileAsked,
                    true,
                    {true, true},
                    {kWrong, kReplace},
                    true},
        Replacement{"WrongKeyFileMadeMeanwhileKept",
                    Operation::Decrypt,
                    AtOutput::FileMadeWhileAsked,
                    true,
                    {true, false},
                    {kWrong, kReplace},
                    false}),
    [](const ::testing::TestParamInfo<Replacement>& info) { return std::string(info.param.name); });

class ProgressTest : public Form1Test, public ::testing::WithParamInterface<Operation> {};

TEST_P(ProgressTest, ClimbsOnceToTheTop) {
    WriteAll(Path("a.bin"), RandomBytes(8 << 20, 13));
    Encrypt("a.bin", "a.vlt", "key");
    FillSide(*view_, Operation::Encrypt, In("a.bin"), In("b.vlt"));
    FillSide(*view_, Operation::Decrypt, In("a.vlt"), In("b.bin"));
    view_->SetText(Box::Key, "key");
    view_->SetProgress(37);  // left from an earlier failed attempt
    view_->progressMoves.clear();

    const auto start = std::chrono::steady_clock::now();
    Click(*form_, GetParam());
    ASSERT_TRUE(Finish());
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    EXPECT_EQ(view_->log.size(), 1U);

    const std::vector<int>& seen = view_->progressMoves;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<int>()), seen.end());
    // At most 25 moves a second, besides the first and the last.
    EXPECT_LE(static_cast<long long>(seen.size()), 2 + elapsedMs / 40)
        << seen.size() << " moves in " << elapsedMs << " ms";
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgressTest,
                         ::testing::Values(Operation::Encrypt, Operation::Decrypt),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                             return info.param == Operation::Encrypt ? "Encryption" : "Decryption";
                         });

TEST_F(Form1Test, ClosingDuringARunOfALargeFileLeavesNoFile) {
    WriteAll(Path("big.bin"), "");
    std::filesystem::resize_file(Path("big.bin"), 64 << 20);
    ExpectClosingCancelsTheRun("big.bin");
}

TEST_F(Form1Test, ClosingTwiceEndsTheProgramOnce) {
    form_->WindowClosed();
    form_->WindowClosed();
    EXPECT_EQ(view_->ended, 1);
    EXPECT_FALSE(view_->visible);
    EXPECT_TRUE(view_->log.empty());
}

// What escapes a run's job (memory running out outside the engine) fails the
// run with words for the user, not the exception's own name.
TEST(BackgroundRunTest, WhatEscapesAJobFailsTheRunInPlainWords) {
    const struct {
        std::function<void()> escape;
        const char* message;
    } rows[] = {
        {[] { throw std::bad_alloc(); }, "not enough memory"},
        {[] { throw std::runtime_error("the disk went away"); }, "the disk went away"},
    };
    for (const auto& row : rows) {
        vlt::BackgroundRun run;
        std::promise<void> done;
        run.Start(
            [&](const vlt::RunControl&) -> vlt::RunResult {
                row.escape();
                return {};
            },
            {.progressed = [](int) {}, .done = [&] { done.set_value(); }});
        done.get_future().wait();
        const vlt::RunResult result = run.TakeResult();
        EXPECT_EQ(result.status, vlt::RunStatus::Failed);
        EXPECT_EQ(result.message, row.message);
    }
}

}  // namespace
