#!/usr/bin/env bash
# Builds and installs Kestrova for the current user (~/.local), with its
# desktop entry and the ".kva" file type, so a double-click on a project in
# a file manager opens it in the editor.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$HOME/.local}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
cmake --install build
command -v update-mime-database >/dev/null && update-mime-database "$prefix/share/mime" || true
command -v update-desktop-database >/dev/null && update-desktop-database "$prefix/share/applications" || true
command -v xdg-mime >/dev/null && xdg-mime default kestrova.desktop application/x-kestrova-project || true
echo "Installed in $prefix; make sure $prefix/bin is on your PATH."
