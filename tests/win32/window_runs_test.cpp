// veltrimax.exe driven through its controls: runs whose files are checked against the
// whole-text cipher of tests/support, the end of the program after them, the checks'
// messages in their order, the Open dialog, the wrong-key question and a close during a
// run that waits on a named pipe.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "platform/win32/system_text.h"
#include "tests/support/text_oracle.h"
#include "tests/win32/window_test.h"

namespace vlt::win32_test {
namespace {

using testing_support::RandomBytes;
using testing_support::ReadAll;
using testing_support::WriteAll;

using WindowRuns = WindowTest;

std::string AsString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A finished run writes the known answer, says so, and the program ends: one operation per
// start. The key's characters are coded in the ANSI code page the test sees too; those it
// lacks count as "?", which a note says before the run.
TEST_F(WindowRuns, AFinishedRunWritesTheKnownAnswerAndEndsTheProgram) {
    const std::string plain = RandomBytes(70000, 5);
    const std::string key = "Klju\xc4\x8d \xe2\x82\xac 7";            // "Ključ € 7"
    const std::string cyrillic = "\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87";  // "ключ"
    const std::string encrypted = AsString(oracle::EncryptAsText(plain, key, GetACP()));
    WriteAll(folder / "plain.bin", plain);
    WriteAll(folder / "given.vlt", encrypted);
    const std::string questionMarks = AsString(oracle::EncryptAsText(plain, "????", GetACP()));
    const std::string note = "4 characters of the key cannot be written in code page " +
                             std::to_string(GetACP()) + " and count as '?'";
    const struct {
        const char* button;
        const char* inputBox;
        const char* outputBox;
        const char* input;
        const std::string& key;
        const std::string& expected;
        std::vector<std::string> messages;
    } cases[] = {
        {"Command1", "Text1", "Text2", "plain.bin", key, encrypted, {"Encrypt is finish"}},
        {"Command2", "Text6", "Text5", "given.vlt", key, plain, {"Decrypt is finish"}},
        {"Command1",
         "Text1",
         "Text2",
         "plain.bin",
         cyrillic,
         questionMarks,
         {note, "Encrypt is finish"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        const std::string output = std::string("out-") + c.button + c.key;
        WindowDriver program(Veltrimax());
        program.SetText("Text3", c.key);
        program.SetText(c.inputBox, PathOf(c.input));
        program.SetText(c.outputBox, PathOf(output));
        program.Click(c.button);
        for (const std::string& message : c.messages) {
            EXPECT_EQ(program.AnswerMessage(IDOK), message);
        }
        EXPECT_EQ(program.WaitForExit(), 0u);
        EXPECT_FALSE(IsWindow(program.Window()));
        EXPECT_TRUE(ReadAll(folder / output) == c.expected) << "differs: " << output;
    }
}

// Each check names what is missing, in the rules' order, and the window stays; an empty
// input for encryption is followed by the Open dialog.
TEST_F(WindowRuns, TheChecksAskForWhatIsMissingInOrder) {
    const struct {
        const char* button;
        std::vector<const char*> filled;
        const char* message;
        bool openDialog;
    } cases[] = {
        {"Command1", {}, "Please enter file name", true},
        {"Command1", {"Text1"}, "Please enter primary key", false},
        {"Command1", {"Text1", "Text3"}, "Please enter output file name", false},
        {"Command2", {"Text6", "Text5"}, "Please enter primary key", false},
        {"Command2", {"Text3"}, "Please enter file name for decrypt", false},
        {"Command2", {"Text3", "Text6"}, "Please enter output file name for decrypt", false},
    };
    WindowDriver program(Veltrimax());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        for (const char* box : {"Text1", "Text2", "Text3", "Text5", "Text6"}) {
            program.SetText(box, "");
        }
        for (const char* box : c.filled) {
            program.SetText(box, PathOf(std::string("in-") + box));
        }
        program.Click(c.button);
        EXPECT_EQ(program.AnswerMessage(IDOK), c.message);
        if (c.openDialog) {
            EXPECT_EQ(program.AnswerOpenDialog(std::nullopt).fileType, "All files (*.*)");
        }
    }
    EXPECT_EQ(program.Text("Text1"), "");
    EXPECT_EQ(program.ShownDialog(), nullptr);
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(folder.Names().empty());
}

// The Open dialog is Windows' own, shared by both "...": the decryption side sets its
// filter, which it keeps, and each use opens at the file chosen last.
TEST_F(WindowRuns, TheBrowseButtonsShareTheOpenDialog) {
    WriteAll(folder / "a.doc.vlt", "");
    WriteAll(folder / "b.txt", "");
    WindowDriver program(Veltrimax());

    program.Click("Command4");
    OpenDialogSeen seen = program.AnswerOpenDialog(PathOf("a.doc.vlt"));
    EXPECT_EQ(seen.fileType, "Veltrimax vl datoteke (*.vlt)");
    EXPECT_EQ(program.Text("Text6"), PathOf("a.doc.vlt"));
    EXPECT_EQ(program.Text("Text5"), PathOf("a.doc"));

    program.Click("Command3");
    seen = program.AnswerOpenDialog(PathOf("b.txt"));
    EXPECT_EQ(seen.fileType, "Veltrimax vl datoteke (*.vlt)");
    EXPECT_NE(seen.fileName.find("a.doc.vlt"), std::string::npos) << seen.fileName;
    EXPECT_EQ(program.Text("Text1"), PathOf("b.txt"));
    EXPECT_EQ(program.Text("Text2"), PathOf("b.txt.vlt"));

    // A cancel fills the side again from the last file chosen.
    program.SetText("Text1", "typed");
    program.Click("Command3");
    program.AnswerOpenDialog(std::nullopt);
    EXPECT_EQ(program.Text("Text1"), PathOf("b.txt"));
}

// The dialog starts in the folder of the side's file, else in the program's current folder,
// never where Windows last left it: a bare name chosen there is a file of that folder. A
// file given on the command line is the dialog's last file, which a cancel keeps.
TEST_F(WindowRuns, TheOpenDialogStartsAtTheSidesFile) {
    std::filesystem::create_directory(folder / "current");
    std::filesystem::create_directory(folder / "other");
    for (const char* name : {"current\\c.txt", "other\\c.txt", "current\\given.bin"}) {
        WriteAll(folder / name, "");
    }
    const std::wstring given = L"\"" + win32::WideFromUtf8(PathOf("current\\given.bin")) + L"\"";
    WindowDriver program(Veltrimax(), given, folder / "current");

    program.Click("Command3");
    program.AnswerOpenDialog(std::nullopt);
    EXPECT_EQ(program.Text("Text1"), PathOf("current\\given.bin"));

    program.SetText("Text1", PathOf("other\\typed.txt"));
    program.Click("Command3");
    program.AnswerOpenDialog("c.txt");
    EXPECT_EQ(program.Text("Text1"), PathOf("other\\c.txt"));

    program.Click("Command4");
    program.AnswerOpenDialog("c.txt");
    EXPECT_EQ(program.Text("Text6"), PathOf("current\\c.txt"));
}

// "--help" and "/?" show the usage and fill no box.
TEST_F(WindowRuns, HelpOnTheCommandLineIsNoFile) {
    for (const wchar_t* help : {L"--help", L"/?"}) {
        WindowDriver program(Veltrimax(), help);
        EXPECT_TRUE(program.AnswerMessage(IDOK).starts_with("Usage: veltrimax")) << help;
        EXPECT_EQ(program.Text("Text1"), "");
        EXPECT_EQ(program.Text("Text6"), "");
    }
}

// No to the wrong-key question writes nothing and keeps the window; asked again, Yes writes
// the values modulo 256 and the run ends as any other.
TEST_F(WindowRuns, TheWrongKeyQuestion) {
    const std::string plain = RandomBytes(3000, 8);
    const std::vector<std::uint8_t> encrypted = oracle::EncryptAsText(plain, "right");
    WriteAll(folder / "given.vlt", AsString(encrypted));
    WindowDriver program(Veltrimax());
    program.SetText("Text3", "wrong");
    program.SetText("Text6", PathOf("given.vlt"));
    program.SetText("Text5", PathOf("out.bin"));
    const std::string question =
        "The primary key is wrong or the file is damaged. Save the output anyway?";

    program.Click("Command2");
    EXPECT_EQ(program.AnswerMessage(IDNO), question);
    EXPECT_EQ(SendMessageW(program.Control("ProgressBar1"), PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"given.vlt"});
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(IsWindowVisible(program.Window()));

    program.Click("Command2");
    EXPECT_EQ(program.AnswerMessage(IDYES), question);
    EXPECT_EQ(program.AnswerMessage(IDOK), "Decrypt is finish");
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(ReadAll(folder / "out.bin") == oracle::DecryptAsText(encrypted, "wrong"));
}

// Closing the window while the run waits for a named pipe that is never written ends the
// program at once and leaves neither the output nor its temporary file.
TEST_F(WindowRuns, ClosingDuringAStalledRunLeavesNothing) {
    const std::string pipeName =
        "\\\\.\\pipe\\vlt-window-test-" + std::to_string(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeW(win32::WideFromUtf8(pipeName).c_str(),
                                         PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = connected;
    if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED) {
        SetEvent(connected);
    }

    WindowDriver program(Veltrimax());
    program.SetText("Text3", "key");
    program.SetText("Text1", pipeName);
    program.SetText("Text2", PathOf("out.vlt"));
    program.Click("Command1");
    // The run holds the pipe open and waits for its first byte.
    EXPECT_EQ(WaitForSingleObject(connected, static_cast<DWORD>(kPatience.count())), WAIT_OBJECT_0);
    program.Close();
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(folder.Names().empty());
    CloseHandle(connected);
    CloseHandle(pipe);
}

}  // namespace
}  // namespace vlt::win32_test
