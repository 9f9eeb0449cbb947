// What the run buttons check before anything runs, in their order.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/form/form1.h"
#include "app/form/messages.h"
#include "tests/form/form1_fixture.h"
#include "tests/support/environment.h"

namespace {

using vlt::Box;

// What the boxes hold ("in" and "out" are names in the test's folder, where "in" exists),
// the note expected, and whether the Open dialog then appears.
struct BoxCheck {
    const char* name;
    vlt::Operation operation;
    std::vector<std::pair<Box, std::string>> boxes;
    std::string_view note;
    bool dialog = false;
};

// Failures name the row, not its bytes.
void PrintTo(const BoxCheck& row, std::ostream* out) {
    *out << row.name;
}

class BoxCheckTest : public Form1Test, public ::testing::WithParamInterface<BoxCheck> {};

TEST_P(BoxCheckTest, ChecksTheBoxesInOrder) {
    const BoxCheck& check = GetParam();
    vlt::testing_support::WriteAll(Path("in"), "plain");
    for (const auto& [box, text] : check.boxes) {
        view_->SetText(box, box == Box::Key ? text : In(text));
    }

    if (check.operation == vlt::Operation::Encrypt) {
        form_->EncryptClicked();
    } else {
        form_->DecryptClicked();
    }

    ASSERT_EQ(view_->log.size(), 1U);
    EXPECT_EQ(view_->log.front().kind, FakeView::Kind::Note);
    EXPECT_EQ(view_->log.front().text, check.note);
    EXPECT_EQ(view_->shown.size(), check.dialog ? 1U : 0U);
    EXPECT_FALSE(form_->Running());
    EXPECT_EQ(view_->ended, 0);
    EXPECT_TRUE(view_->progressMoves.empty());
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"in"});
}

constexpr auto kEncrypt = vlt::Operation::Encrypt;
constexpr auto kDecrypt = vlt::Operation::Decrypt;

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxCheckTest,
    ::testing::Values(
        BoxCheck{"EncryptAllEmpty", kEncrypt, {}, vlt::kEnterFileName, true},
        BoxCheck{"EncryptKeyButNoFile",
                 kEncrypt,
                 {{Box::EncryptOutput, "out"}, {Box::Key, "k"}},
                 vlt::kEnterFileName,
                 true},
        BoxCheck{"EncryptFileButNoKey",
                 kEncrypt,
                 {{Box::EncryptInput, "in"}, {Box::EncryptOutput, "out"}},
                 vlt::kEnterKey},
        BoxCheck{"EncryptNoOutputName",
                 kEncrypt,
                 {{Box::EncryptInput, "in"}, {Box::Key, "k"}},
                 vlt::kEnterOutputName},
        BoxCheck{"DecryptAllEmpty", kDecrypt, {}, vlt::kEnterKey},
        BoxCheck{"DecryptFileButNoKey",
                 kDecrypt,
                 {{Box::DecryptInput, "in"}, {Box::DecryptOutput, "out"}},
                 vlt::kEnterKey},
        BoxCheck{"DecryptKeyButNoFile",
                 kDecrypt,
                 {{Box::Key, "k"}, {Box::DecryptOutput, "out"}},
                 vlt::kEnterDecryptName},
        BoxCheck{"DecryptNoOutputName",
                 kDecrypt,
                 {{Box::Key, "k"}, {Box::DecryptInput, "in"}},
                 vlt::kEnterDecryptOutputName},
        // Each side reads its own boxes only.
        BoxCheck{"EncryptWithTheDecryptSideFilled",
                 kEncrypt,
                 {{Box::Key, "k"}, {Box::DecryptInput, "in"}, {Box::DecryptOutput, "out"}},
                 vlt::kEnterFileName,
                 true},
        BoxCheck{"DecryptWithTheEncryptSideFilled",
                 kDecrypt,
                 {{Box::Key, "k"}, {Box::EncryptInput, "in"}, {Box::EncryptOutput, "out"}},
                 vlt::kEnterDecryptName}),
    [](const ::testing::TestParamInfo<BoxCheck>& info) { return std::string(info.param.name); });

// After "Please enter file name" the encryption's "..." opens at once and fills the side;
// the encryption does not start after it.
TEST_F(Form1Test, AnEmptyInputOpensTheDialogAndRunsNothing) {
    vlt::testing_support::WriteAll(Path("a.bin"), "abc");
    view_->SetText(Box::Key, "key");
    view_->choices.push_back(In("a.bin"));

    form_->EncryptClicked();

    EXPECT_EQ(view_->Texts(), std::vector<std::string>{std::string(vlt::kEnterFileName)});
    EXPECT_EQ(view_->Text(Box::EncryptInput), In("a.bin"));
    EXPECT_EQ(view_->Text(Box::EncryptOutput), In("a.bin.vlt"));
    EXPECT_FALSE(form_->Running());
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.bin"});
}

TEST_F(Form1Test, ACodePageThatCannotBeUsedIsAnError) {
    const vlt::testing_support::ScopedVariable codePage("VLT_CODEPAGE", "ebcdic");
    vlt::testing_support::WriteAll(Path("a.bin"), "abc");
    view_->SetText(Box::EncryptInput, In("a.bin"));
    view_->SetText(Box::EncryptOutput, In("a.bin.vlt"));
    view_->SetText(Box::Key, "key");

    form_->EncryptClicked();

    EXPECT_FALSE(form_->Running());
    ASSERT_EQ(view_->log.size(), 1U);
    EXPECT_EQ(view_->log.front().kind, FakeView::Kind::Error);
    EXPECT_TRUE(view_->log.front().text.starts_with("VLT_CODEPAGE: unknown code page 'ebcdic'"))
        << view_->log.front().text;
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(view_->ended, 0);
}

// While a run is active its button clicks are ignored, the browse buttons work, and
// neither changes what the run does.
TEST_F(Form1Test, ClicksDuringARunLeaveItAlone) {
    constexpr std::size_t kSize = 4 << 20;  // a run that outlasts the clicks
    vlt::testing_support::WriteAll(Path("a.bin"), vlt::testing_support::RandomBytes(kSize, 7));
    view_->SetText(Box::EncryptInput, In("a.bin"));
    view_->SetText(Box::EncryptOutput, In("a.bin.vlt"));
    view_->SetText(Box::Key, "key");
    form_->EncryptClicked();
    ASSERT_TRUE(form_->Running());

    view_->SetText(Box::EncryptInput, "");
    view_->SetText(Box::Key, "");
    form_->EncryptClicked();
    form_->DecryptClicked();
    EXPECT_TRUE(view_->log.empty());
    EXPECT_TRUE(view_->shown.empty());

    view_->choices.push_back(In("other.bin"));
    form_->BrowseEncryptClicked();
    EXPECT_EQ(view_->Text(Box::EncryptOutput), In("other.bin.vlt"));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(view_->Texts(), std::vector<std::string>{std::string(vlt::kEncryptFinished)});
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin.vlt")), 3 * kSize + 4);
    EXPECT_FALSE(std::filesystem::exists(Path("other.bin.vlt")));
}

}  // namespace
