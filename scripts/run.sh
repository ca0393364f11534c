#!/usr/bin/env bash
# Sets up, builds and starts the configuration program (the backend lands beside it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ZOR17-RS485 ZOR17
exec build/default/bin/ZOR17-RS485 "$@"
