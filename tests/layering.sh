#!/usr/bin/env bash
# The layers, checked on every include line:
#   platform/  the system layer: no Qt, nothing from the layers above it
#   cipher/    the core over platform/: no Qt, nothing from app/, cli/ or tests/
#   app/, cli/ the two programs: each on its own, and of cipher/ only its
#              public headers (the engine and the file format)
# Prints each include that crosses a layer and fails if there is one.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}"

violations=$(
    {
        grep -EHn '#include +(<Q|<qt|"(app|cli|tests)/)' platform/* cipher/*
        grep -EHn '#include +"cipher/' platform/*
        grep -EHn '#include +"cli/' app/*
        grep -EHn '#include +"app/' cli/*
        grep -EHn '#include +"cipher/' app/* cli/* | grep -Ev '"cipher/(engine|vlt_format)\.h"'
    } 2>/dev/null
)
if [ -n "$violations" ]; then
    echo "Includes that cross a layer:"
    echo "$violations"
    exit 1
fi
echo "layers: ok"
