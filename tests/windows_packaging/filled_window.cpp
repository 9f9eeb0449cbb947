// Runs a command as Explorer runs a registered one, waits for veltrimax.exe's window, prints
// its file boxes and closes it, for package_test.sh:
//   filled_window PROGRAM.exe ARGUMENTS
// prints "Text1=..." (file for encrypt), Text2, Text6 (file for decrypt) and Text5 as UTF-8,
// one a line, and exits with the program's exit code after the close.

#include <cstdio>
#include <exception>

#include "tests/win32/window_driver.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: filled_window PROGRAM.exe ARGUMENTS\n");
        return 2;
    }
    try {
        vlt::win32_test::WindowDriver program(argv[1], argv[2]);
        for (const char* name : {"Text1", "Text2", "Text6", "Text5"}) {
            std::printf("%s=%s\n", name, program.Text(name).c_str());
        }
        program.Close();
        const auto code = program.WaitForExit();
        if (!code) {
            std::fprintf(stderr, "veltrimax.exe still runs after its window was closed\n");
            return 1;
        }
        return static_cast<int>(*code);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
