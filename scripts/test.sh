#!/usr/bin/env bash
# Builds both Windows programs and runs every test under the project's own Wine prefix.
#   PINEWICK_BUILD_ROOT  build tree (default: build/ in the checkout)
#   PINEWICK_PRESETS     presets to build (default: "win32 win64"); tests run on win64
#   PINEWICK_CTEST_ARGS  extra ctest arguments, for example "-R Logger"
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PINEWICK_BUILD_ROOT="${PINEWICK_BUILD_ROOT:-$source_dir/build}"
presets="${PINEWICK_PRESETS:-win32 win64}"

"$source_dir/scripts/install-packages.sh"

cd "$source_dir"
for preset in $presets; do
    cmake --preset "$preset" -B "$PINEWICK_BUILD_ROOT/$preset" >/dev/null
    cmake --build "$PINEWICK_BUILD_ROOT/$preset" -j "$(nproc)"
done

source "$source_dir/scripts/wine-env.sh"
trap pinewick_stop_server EXIT
trap 'exit 130' INT TERM
pinewick_prepare_prefix
pinewick_start_server

# The extra arguments are shell words, so quotes in them group as on a command line.
eval "ctest_args=(${PINEWICK_CTEST_ARGS:-})"
ctest --test-dir "$PINEWICK_BUILD_ROOT/win64" --output-on-failure --timeout 120 \
    -j "$(nproc)" "${ctest_args[@]}"
