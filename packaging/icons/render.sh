#!/usr/bin/env bash
# Renders the committed PNG icons from their SVG drawings, so the build needs no SVG renderer.
# Run by hand after changing a drawing (needs rsvg-convert from librsvg2-bin).
# 16 px comes from its own pixel drawing; 32 px is rendered without anti-aliasing so that it keeps
# the flat 16-colour look; larger sizes are anti-aliased.
set -euo pipefail
cd "$(dirname "$0")"

crisp=$(mktemp --suffix=.css)
trap 'rm -f "$crisp"' EXIT
echo '* { shape-rendering: crispEdges; }' >"$crisp"

render() {  # render SVG SIZE OUTPUT [crisp]
    local style=()
    [ "${4:-}" = crisp ] && style=(--stylesheet "$crisp")
    rsvg-convert "${style[@]}" --width "$2" --height "$2" --output "$3" "$1"
}

render veltrimax-16.svg 16 veltrimax-16.png
render veltrimax.svg 32 veltrimax-32.png crisp
render veltrimax.svg 48 veltrimax-48.png
render veltrimax.svg 256 veltrimax-256.png

render application-x-veltrimax-encrypted.svg 32 application-x-veltrimax-encrypted-32.png crisp
render application-x-veltrimax-encrypted.svg 48 application-x-veltrimax-encrypted-48.png
