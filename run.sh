#!/usr/bin/env bash
# Installs what is missing, builds, provisions an empty store when there is none, and
# starts Keyvora.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ ! -e build/management.mdb ] && [ -x build/tools/keyvora-store ]; then
  build/tools/keyvora-store init build
fi
exec build/keyvora
