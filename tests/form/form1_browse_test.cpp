// The two "..." buttons and dropped files: what they fill in, and what the shared dialog
// keeps between uses.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/form/form1.h"
#include "app/form/messages.h"
#include "platform/utf8.h"
#include "tests/form/fake_view.h"
#include "tests/support/temp_folder.h"

namespace {

using vlt::Box;

const std::string kFilter(vlt::kEncryptedFilter);

// The four path boxes: encrypt in, out, decrypt in, out.
std::vector<std::string> PathBoxes(const FakeView& view) {
    return {view.Text(Box::EncryptInput), view.Text(Box::EncryptOutput),
            view.Text(Box::DecryptInput), view.Text(Box::DecryptOutput)};
}

// A click on the encryption's "..." (3) or the decryption's (4), and the path chosen in
// the dialog or nothing for a cancel; or a file given on the command line (0).
struct Step {
    int button;
    std::optional<std::string> choice;
};

// The steps, the boxes afterwards (the decryption's output box holds "keep" before the
// first step), and the filter and file name the dialog was shown with each time.
struct Browsing {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> boxes;
    std::vector<std::string> filtersShown;
    std::vector<std::string> namesShown;
};

// Failures name the row, not its bytes.
void PrintTo(const Browsing& row, std::ostream* out) {
    *out << row.name;
}

class BrowseTest : public ::testing::TestWithParam<Browsing> {};

TEST_P(BrowseTest, FillsTheBoxesFromTheDialog) {
    const Browsing& browsing = GetParam();
    FakeView view;
    vlt::Form1 form(view);
    view.SetText(Box::DecryptOutput, "keep");
    for (const Step& step : browsing.steps) {
        view.choices.push_back(step.choice);
        if (step.button == 0) {
            form.CommandLine({*step.choice});
            view.choices.pop_back();
        } else if (step.button == 3) {
            form.BrowseEncryptClicked();
        } else {
            form.BrowseDecryptClicked();
        }
    }

    EXPECT_EQ(PathBoxes(view), browsing.boxes);
    std::vector<std::string> filters;
    std::vector<std::string> names;
    for (const FakeView::Shown& shown : view.shown) {
        filters.push_back(shown.filter);
        names.push_back(shown.fileName);
    }
    EXPECT_EQ(filters, browsing.filtersShown);
    EXPECT_EQ(names, browsing.namesShown);
    EXPECT_EQ(form.DialogFilter(), browsing.filtersShown.back());
    EXPECT_TRUE(view.log.empty());
    EXPECT_FALSE(form.Running());
    view.RunPosted();
    EXPECT_TRUE(view.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, BrowseTest,
    ::testing::Values(
        Browsing{"EncryptSideFirstChoice",
                 {{3, "/in/a.bin"}},
                 {"/in/a.bin", "/in/a.bin.vlt", "", "keep"},
                 {""},
                 {""}},
        Browsing{"DecryptSideFirstChoice",
                 {{4, "/in/a.bin.vlt"}},
                 {"", "", "/in/a.bin.vlt", "/in/a.bin"},
                 {kFilter},
                 {""}},
        Browsing{"EncryptSideCancelledAfterADecryptSideChoice",
                 {{4, "/in/a.bin.vlt"}, {3, std::nullopt}},
                 {"/in/a.bin.vlt", "/in/a.bin.vlt.vlt", "/in/a.bin.vlt", "/in/a.bin"},
                 {kFilter, kFilter},
                 {"", "/in/a.bin.vlt"}},
        Browsing{
            "EncryptSideFirstCancelled", {{3, std::nullopt}}, {"", ".vlt", "", "keep"}, {""}, {""}},
        Browsing{"DecryptSideFirstCancelled",
                 {{4, std::nullopt}},
                 {"", "", "", "keep"},
                 {kFilter},
                 {""}},
        Browsing{"DecryptSideNameOfFourCharacters",
                 {{4, "/abc"}},
                 {"", "", "/abc", ""},
                 {kFilter},
                 {""}},
        Browsing{"DecryptSideNameOfThreeCharacters",
                 {{4, "/ab"}},
                 {"", "", "/ab", "keep"},
                 {kFilter},
                 {""}},
        Browsing{"DecryptSideOtherEnding",
                 {{4, "/data/notes.txt"}},
                 {"", "", "/data/notes.txt", "/data/notes"},
                 {kFilter},
                 {""}},
        Browsing{"DecryptSideCancelledAfterAnEncryptSideChoice",
                 {{3, "/in/a.bin"}, {4, std::nullopt}},
                 {"/in/a.bin", "/in/a.bin.vlt", "/in/a.bin", "/in/a"},
                 {"", kFilter},
                 {"", "/in/a.bin"}},
        Browsing{"EncryptedFileChosenForEncryption",
                 {{3, "/in/b.vlt"}},
                 {"/in/b.vlt", "/in/b.vlt.vlt", "", "keep"},
                 {""},
                 {""}},
        Browsing{"CharactersNotBytes",
                 {{4, "/in/čšž.txt"}},
                 {"", "", "/in/čšž.txt", "/in/čšž"},
                 {kFilter},
                 {""}},
        // A file from Explorer or the command line is the dialog's last file.
        Browsing{"CommandLineFileKeptOnCancel",
                 {{0, "/in/a.bin"}, {3, std::nullopt}},
                 {"/in/a.bin", "/in/a.bin.vlt", "", "keep"},
                 {""},
                 {"/in/a.bin"}},
        Browsing{"CommandLineEncryptedFileKeptOnCancel",
                 {{0, "/in/a.bin.vlt"}, {4, std::nullopt}},
                 {"", "", "/in/a.bin.vlt", "/in/a.bin"},
                 {kFilter},
                 {"/in/a.bin.vlt"}},
        Browsing{"FilterStaysForLaterEncryptSideChoices",
                 {{4, "/in/a.vlt"}, {3, "/in/c.doc"}, {3, std::nullopt}},
                 {"/in/c.doc", "/in/c.doc.vlt", "/in/a.vlt", "/in/a"},
                 {kFilter, kFilter, kFilter},
                 {"", "/in/a.vlt", "/in/c.doc"}}),
    [](const ::testing::TestParamInfo<Browsing>& info) { return std::string(info.param.name); });

// The dialog starts in the folder of the file in its side's input box, else in the current
// folder, never where the system last left it. "@" is the test's folder, which holds
// "sub"; the current folder is "@/sub".
TEST(Form1Dialog, StartsInTheFolderOfItsSidesFile) {
    const struct {
        int button;
        vlt::Box box;
        const char* text;
        const char* folder;
    } cases[] = {
        {3, Box::EncryptInput, "@/a.bin", "@"},
        {4, Box::DecryptInput, "@/a.bin.vlt", "@"},
        {3, Box::EncryptInput, "", "@/sub"},
        {3, Box::DecryptInput, "@/a.bin.vlt", "@/sub"},  // the other side's file
        {4, Box::DecryptInput, "@/gone/a.vlt", "@/sub"},
        {3, Box::EncryptInput, "a.bin", "@/sub"},
    };
    const vlt::testing_support::TempFolder folder;
    const std::string root = vlt::Utf8Of(std::filesystem::canonical(folder.path()));
    std::filesystem::create_directory(folder / "sub");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder / "sub");
    const auto inFolder = [&](std::string text) {
        return text.starts_with("@") ? root + text.substr(1) : text;
    };
    for (const auto& c : cases) {
        FakeView view;
        vlt::Form1 form(view);
        view.SetText(c.box, inFolder(c.text));
        if (c.button == 3) {
            form.BrowseEncryptClicked();
        } else {
            form.BrowseDecryptClicked();
        }
        ASSERT_EQ(view.shown.size(), 1U);
        EXPECT_EQ(view.shown.front().folder, inFolder(c.folder)) << c.text;
    }
    std::filesystem::current_path(previous);
}

// Windows' and POSIX's calls for help show the usage; no box is filled.
TEST(Form1Dialog, HelpOnTheCommandLineIsNoFile) {
    for (const char* help : {"--help", "-h", "/?"}) {
        FakeView view;
        vlt::Form1 form(view);
        form.CommandLine({help, "a.bin"});
        view.RunPosted();
        EXPECT_EQ(view.Texts(), std::vector<std::string>{std::string(vlt::kUsage)}) << help;
        EXPECT_EQ(PathBoxes(view), std::vector<std::string>(4)) << help;
        EXPECT_TRUE(form.DialogFileName().empty()) << help;
    }
}

TEST(Form1Dialog, StartsWithoutFilterOrName) {
    FakeView view;
    const vlt::Form1 form(view);
    EXPECT_TRUE(form.DialogFilter().empty());
    EXPECT_TRUE(form.DialogFileName().empty());
}

// The side dropped onto, the names dropped (from a folder holding the files "a.bin" and
// "b.bin.vlt" and the folder "sub"; "http:" stands for a name that is not a local file,
// which the view passes as empty), the boxes afterwards and the notes shown. An earlier
// decrypt-side choice of "/in/c.vlt" filled that side and left its name and the filter on
// the dialog, which a drop leaves alone.
struct Drop {
    const char* name;
    vlt::Operation side;
    std::vector<std::string> dropped;
    std::vector<std::string> boxes;  // "@" is the folder
    bool refused = false;
};

void PrintTo(const Drop& row, std::ostream* out) {
    *out << row.name;
}

class DropTest : public ::testing::TestWithParam<Drop> {};

TEST_P(DropTest, OneFileFillsItsSide) {
    const Drop& drop = GetParam();
    const vlt::testing_support::TempFolder folder;
    vlt::testing_support::WriteAll(folder / "a.bin", "");
    vlt::testing_support::WriteAll(folder / "b.bin.vlt", "");
    std::filesystem::create_directory(folder / "sub");
    const std::string at = vlt::Utf8Of(folder.path());
    const auto inFolder = [&at](std::string name) {
        return name.starts_with('@') ? at + name.substr(1) : name;
    };

    FakeView view;
    vlt::Form1 form(view);
    view.choices.push_back("/in/c.vlt");
    form.BrowseDecryptClicked();
    std::vector<std::string> names;
    for (const std::string& name : drop.dropped) {
        names.push_back(name == "http:" ? std::string() : at + "/" + name);
    }
    form.FilesDropped(drop.side, names);

    // A refusal waits until the drop has ended.
    EXPECT_TRUE(view.log.empty());
    view.RunPosted();
    EXPECT_EQ(view.Texts(), drop.refused ? std::vector<std::string>{std::string(vlt::kDropOneFile)}
                                         : std::vector<std::string>{});
    std::vector<std::string> boxes;
    for (const std::string& box : drop.boxes) {
        boxes.push_back(inFolder(box));
    }
    EXPECT_EQ(PathBoxes(view), boxes);
    EXPECT_EQ(view.shown.size(), 1U);
    EXPECT_EQ(form.DialogFilter(), kFilter);
    EXPECT_EQ(form.DialogFileName(), "/in/c.vlt");
    EXPECT_FALSE(form.Running());
}

const std::vector<std::string> kBefore{"", "", "/in/c.vlt", "/in/c"};

INSTANTIATE_TEST_SUITE_P(
    Drops, DropTest,
    ::testing::Values(
        Drop{"FileOntoTheEncryptSide",
             vlt::Operation::Encrypt,
             {"a.bin"},
             {"@/a.bin", "@/a.bin.vlt", "/in/c.vlt", "/in/c"}},
        Drop{"EncryptedFileOntoTheDecryptSide",
             vlt::Operation::Decrypt,
             {"b.bin.vlt"},
             {"", "", "@/b.bin.vlt", "@/b.bin"}},
        Drop{"EncryptedFileOntoTheEncryptSide",
             vlt::Operation::Encrypt,
             {"b.bin.vlt"},
             {"@/b.bin.vlt", "@/b.bin.vlt.vlt", "/in/c.vlt", "/in/c"}},
        Drop{"TwoFiles", vlt::Operation::Encrypt, {"a.bin", "b.bin.vlt"}, kBefore, true},
        Drop{"AFolder", vlt::Operation::Decrypt, {"sub"}, kBefore, true},
        Drop{"NotALocalFile", vlt::Operation::Encrypt, {"http:"}, kBefore, true},
        Drop{"Nothing", vlt::Operation::Decrypt, {}, kBefore, true}),
    [](const ::testing::TestParamInfo<Drop>& info) { return std::string(info.param.name); });

}  // namespace
