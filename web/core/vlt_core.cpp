// The page's core: the project's .vlt streams, code pages and naming rules behind a C
// interface for the worker, which hands it the file a slice at a time. One run at a
// time, as the worker runs them.

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/form/naming.h"
#include "cipher/block_cipher.h"
#include "cipher/key_digits.h"
#include "cipher/vlt_stream.h"
#include "platform/codepage.h"

namespace {

// Returned strings live here until the next call that returns one.
std::string returned;

const char* Returned(std::string text) {
    returned = std::move(text);
    return returned.c_str();
}

struct Run {
    explicit Run(const char* key, vlt::CodePage codePage)
        : cipher(vlt::KeyDigitValues(vlt::MakeKeyDigits(key, codePage))) {}
    vlt::BlockCipher cipher;
    std::optional<vlt::VltEncryptStream> encrypt;
    std::optional<vlt::VltDecryptStream> decrypt;
};
std::unique_ptr<Run> run;

bool Supported(int codePage) {
    for (const vlt::CodePage each : vlt::SupportedCodePages()) {
        if (each == codePage) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int vlt_code_page_for_locale(const char* locale) {
    return vlt::CodePageForLocale(locale);
}

// Writes up to `room` code pages, ascending; returns how many there are.
EMSCRIPTEN_KEEPALIVE int vlt_supported_code_pages(int* codePages, int room) {
    const auto all = vlt::SupportedCodePages();
    for (std::size_t i = 0; i < all.size() && static_cast<int>(i) < room; ++i) {
        codePages[i] = all[i];
    }
    return static_cast<int>(all.size());
}

EMSCRIPTEN_KEEPALIVE const char* vlt_encrypted_name(const char* name) {
    return Returned(vlt::EncryptedName(name));
}

// Null for a name too short to lose four characters: the box keeps its text.
EMSCRIPTEN_KEEPALIVE const char* vlt_decrypted_name(const char* name) {
    const std::optional<std::string> decrypted = vlt::WithoutLastFourCharacters(name);
    return decrypted ? Returned(*decrypted) : nullptr;
}

// Starts an encryption; false for a code page the tables lack.
EMSCRIPTEN_KEEPALIVE bool vlt_encrypt_begin(const char* key, int codePage) {
    if (!Supported(codePage)) {
        return false;
    }
    run = std::make_unique<Run>(key, codePage);
    run->encrypt.emplace(run->cipher);
    return true;
}

// Writes the 3 * n cipher digits of n plaintext bytes.
EMSCRIPTEN_KEEPALIVE void vlt_encrypt_push(const std::uint8_t* plain, std::size_t n,
                                           std::uint8_t* out) {
    run->encrypt->Push(std::span(plain, n), std::span(out, 3 * n));
}

// Writes the closing bytes; returns their count.
EMSCRIPTEN_KEEPALIVE std::size_t vlt_encrypt_finish(std::uint8_t* out) {
    run->encrypt->Finish(std::span(out, vlt::kFormatOverhead));
    return vlt::kFormatOverhead;
}

EMSCRIPTEN_KEEPALIVE bool vlt_decrypt_begin(const char* key, int codePage, bool writeOnWrongKey) {
    if (!Supported(codePage)) {
        return false;
    }
    run = std::make_unique<Run>(key, codePage);
    vlt::VltDecryptOptions options;
    options.writeOnWrongKey = writeOnWrongKey;
    run->decrypt.emplace(&run->cipher, options);
    return true;
}

EMSCRIPTEN_KEEPALIVE std::size_t vlt_decrypt_room(std::size_t fileBytes) {
    return vlt::VltDecryptStream::OutputRoom(fileBytes);
}

// Takes n file bytes; returns the plaintext bytes written to `out`.
EMSCRIPTEN_KEEPALIVE std::size_t vlt_decrypt_push(const std::uint8_t* bytes, std::size_t n,
                                                  std::uint8_t* out) {
    return run->decrypt->Push(std::span(bytes, n),
                              std::span(out, vlt::VltDecryptStream::OutputRoom(n)));
}

EMSCRIPTEN_KEEPALIVE std::size_t vlt_decrypt_finish(std::uint8_t* out) {
    return run->decrypt->Finish(std::span(out, vlt::VltDecryptStream::OutputRoom(0)));
}

// 0 going, 1 finished, 2 wrong key, 3 not a .vlt file or damaged.
EMSCRIPTEN_KEEPALIVE int vlt_decrypt_state() {
    switch (run->decrypt->report().verdict) {
        case vlt::VltVerdict::Going:
            return 0;
        case vlt::VltVerdict::Finished:
            return 1;
        case vlt::VltVerdict::WrongKey:
            return 2;
        default:
            return 3;
    }
}

// The sentence every front end shows for a damaged file.
EMSCRIPTEN_KEEPALIVE const char* vlt_decrypt_problem() {
    return Returned(vlt::RefusalSentence(run->decrypt->report()));
}

EMSCRIPTEN_KEEPALIVE void vlt_end() {
    run.reset();
}

}  // extern "C"
