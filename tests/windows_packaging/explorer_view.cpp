// What Explorer shows of the packages' files, read with the calls Explorer uses, for
// package_test.sh:
//   explorer_view PROGRAM.exe      the version strings of its properties, one "Name: value" a
//                                  line, and "icons: N", the number of its icons
//   explorer_view --icon FILE,N    exits 0 when the icon that a DefaultIcon or DisplayIcon value
//                                  names exists (N an index, or minus a resource id)
// Texts are printed as UTF-8.

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/system_text.h"

namespace {

using vlt::win32::Utf8FromWide;

int PrintProperties(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, info.data())) {
        std::fprintf(stderr, "%s: no version resource\n", Utf8FromWide(file).c_str());
        return 1;
    }
    // The strings of the first language the resource declares, as Explorer picks them.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
        std::fprintf(stderr, "%s: the version resource declares no language\n",
                     Utf8FromWide(file).c_str());
        return 1;
    }
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
             translation->codePage);
    for (const wchar_t* name :
         {L"ProductName", L"ProductVersion", L"FileVersion", L"FileDescription", L"CompanyName",
          L"LegalCopyright", L"OriginalFilename"}) {
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), (std::wstring(block) + name).c_str(),
                           reinterpret_cast<void**>(&value), &length) &&
            length > 0) {
            std::printf("%s: %s\n", Utf8FromWide(name).c_str(), Utf8FromWide(value).c_str());
        }
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        std::printf("FileVersion numbers: %u.%u.%u.%u\n",
                    static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                    static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
    }
    std::printf("icons: %u\n", ExtractIconExW(file, -1, nullptr, nullptr, 0));
    return 0;
}

int CheckIcon(const std::wstring& location) {
    const size_t comma = location.rfind(L',');
    if (comma == std::wstring::npos) {
        std::fprintf(stderr, "%s: no \",index\"\n", Utf8FromWide(location).c_str());
        return 2;
    }
    HICON icon = nullptr;
    const int index = _wtoi(location.c_str() + comma + 1);
    if (ExtractIconExW(location.substr(0, comma).c_str(), index, &icon, nullptr, 1) != 1 ||
        icon == nullptr) {
        std::fprintf(stderr, "%s: no such icon\n", Utf8FromWide(location).c_str());
        return 1;
    }
    DestroyIcon(icon);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--icon") {
        return CheckIcon(argv[2]);
    }
    if (argc == 2) {
        return PrintProperties(argv[1]);
    }
    std::fprintf(stderr, "usage: explorer_view PROGRAM.exe | --icon FILE,INDEX\n");
    return 2;
}
