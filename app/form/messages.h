#pragma once

// Every text the window shows, and the Open dialog's filter for encrypted files.

#include <string>
#include <string_view>

namespace vlt {

inline constexpr std::string_view kWindowTitle = "Veltrimax Encrypt and decrypt file";
// The title of every message box.
inline constexpr std::string_view kMessageTitle = "Veltrimax";

inline constexpr std::string_view kEnterFileName = "Please enter file name";
inline constexpr std::string_view kEnterKey = "Please enter primary key";
inline constexpr std::string_view kEnterDecryptName = "Please enter file name for decrypt";
inline constexpr std::string_view kEnterOutputName = "Please enter output file name";
inline constexpr std::string_view kEnterDecryptOutputName =
    "Please enter output file name for decrypt";
inline constexpr std::string_view kEncryptFinished = "Encrypt is finish";
inline constexpr std::string_view kDecryptFinished = "Decrypt is finish";
inline constexpr std::string_view kWrongKeyQuestion =
    "The primary key is wrong or the file is damaged. Save the output anyway?";
// The options that name the side a file on the command line fills.
inline constexpr std::string_view kEncryptOption = "--encrypt";
inline constexpr std::string_view kDecryptOption = "--decrypt";
inline constexpr std::string_view kUsage =
    "Usage: veltrimax [--encrypt | --decrypt] [FILE]\n\n"
    "Opens the window with FILE filled in: a .vlt file on the decryption's side, any other "
    "file on the encryption's; --encrypt and --decrypt name the side. For the command-line "
    "tool, see vlt --help.";
inline constexpr std::string_view kOpenOneFile = "Please open one file at a time";
inline constexpr std::string_view kDropOneFile = "Please drop one file, not several or a folder";
inline constexpr std::string_view kEncryptedFilter = "Veltrimax vl datoteke (*.vlt)|*.vlt|";

// A damaged file that can be read in part: `what` says what is wrong and where.
inline std::string DamagedQuestion(std::string_view name, std::string_view what) {
    return std::string(name) + " is damaged: " + std::string(what) + ". Save what can be read?";
}
// "Decrypt is finish" with what the user should know about the file.
inline std::string FinishedWithNote(std::string_view finished, std::string_view name,
                                    std::string_view note) {
    return std::string(finished) + "\n\n" + std::string(name) + ": " + std::string(note);
}
inline std::string ReplaceQuestion(std::string_view name) {
    return std::string(name) + " already exists. Replace it?";
}
inline std::string EncryptFailed(std::string_view reason) {
    return "Encryption failed: " + std::string(reason);
}
inline std::string DecryptFailed(std::string_view reason) {
    return "Decryption failed: " + std::string(reason);
}

}  // namespace vlt
