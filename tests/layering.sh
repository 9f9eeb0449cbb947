#!/usr/bin/env bash
# The layers, checked on every include line:
#   platform/  the system layer: no Qt, nothing from the layers above it
#   cipher/    the core over platform/: no Qt, nothing from app/, cli/ or tests/
#   app/, cli/ the two programs: each on its own, and of cipher/ only its
#              public headers (the engine and the file format)
#   app/form/  the window's rules, run and layout: no toolkit (no Qt, no
#              Windows header, nothing of app/qt/), so every view can use them
#   web/core/  the browser page's core: the streams of cipher/ and app/form/'s
#              rules and texts, nothing of a view, of vlt or of a system
# and the seam between the systems: the system's own calls are only in
# platform/posix/ and platform/win32/; the shared headers name no descriptor,
# poll, errno or system header and pick nothing by #if. Within platform/, no
# file reaches up: the output steps (output_system) and the files
# (file_access) know no batch above them, and the code page tables know
# nothing of the system (system_code_page joins the two).
# Prints each line that crosses a layer and fails if there is one.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

violations=$(
    {
        grep -EHn '#include +(<Q|<qt|"(app|cli|tests)/)' platform/* cipher/*
        grep -EHn '#include +"cipher/' platform/*
        grep -EHn '#include +"platform/output_batch\.h"' platform/*.* platform/posix/* \
            platform/win32/* | grep -Ev '^platform/output_batch\.cpp:'
        grep -EHn '#include +"platform/(file_access|output_batch)\.h"' platform/output_system.* \
            platform/posix/output_system.cpp platform/win32/output_system.cpp
        grep -EHn '#include +"platform/(system|terminal|interruption)\.h"' platform/codepage*
        grep -EHn '#include +"cli/' app/*/*
        grep -EHn '#include +"app/' cli/*
        grep -EHn '#include +"cipher/' app/*/* cli/* | grep -Ev '"cipher/(engine|vlt_format)\.h"'
        grep -EHn '#include +<(unistd|fcntl|poll|termios|windows|io|signal)\.h>|#include +<sys/' \
            platform/*.* cipher/* cli/* app/form/*
        grep -EHn '#include +(<Q|<qt|"app/qt/)' app/form/*
        grep -EiHn '#include +<(windows|win[a-z0-9]*|commctrl|commdlg|shellapi|shlobj|ole2|objbase)\.h>' \
            app/form/*
        grep -EHn '#include +("(app/qt|app/win32|cli|tests)/|<(unistd|fcntl|poll|windows)\.h>|<sys/)' \
            web/core/*
        grep -EHn '#if|\berrno\b|\bpoll\(|\bint fd\b|\bHANDLE\b' platform/*.h cipher/*.h cli/*.h
    } 2>/dev/null
)
if [ -n "$violations" ]; then
    echo "Includes that cross a layer:"
    echo "$violations"
    exit 1
fi
echo "layers: ok"
