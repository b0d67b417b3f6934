#!/usr/bin/env bash
# Builds both Windows programs and runs every test under the project's own Wine prefix: the
# win64 build's tests, then the win32 build's under the emulated 32-bit Wine, one warm server
# for both.
#   PINEWICK_BUILD_ROOT  build tree (default: build/ in the checkout)
#   PINEWICK_PRESETS     presets to build and test (default: "win32 win64")
#   PINEWICK_CTEST_ARGS  extra ctest arguments, for example "-R Logger"
#   PINEWICK_TEST_WIN32  0: build win32 but run none of its tests (default: 1)
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PINEWICK_BUILD_ROOT="${PINEWICK_BUILD_ROOT:-$source_dir/build}"
presets=" ${PINEWICK_PRESETS:-win32 win64} "

tested=()
if [[ $presets == *" win64 "* ]]; then
    tested+=(win64)
fi
if [[ $presets == *" win32 "* ]] && [ "${PINEWICK_TEST_WIN32:-1}" != 0 ]; then
    tested+=(win32)
fi

"$source_dir/scripts/install-packages.sh"
if [[ " ${tested[*]} " == *" win32 "* ]]; then
    "$source_dir/scripts/prepare-wine32.sh"
fi

cd "$source_dir"
for preset in $presets; do
    cmake --preset "$preset" -B "$PINEWICK_BUILD_ROOT/$preset" >/dev/null
    cmake --build "$PINEWICK_BUILD_ROOT/$preset" -j "$(nproc)"
done

if [ ${#tested[@]} -eq 0 ]; then
    exit 0
fi

source "$source_dir/scripts/wine-env.sh"
trap pinewick_stop_server EXIT
trap 'exit 130' INT TERM
pinewick_prepare_prefix
if [[ " ${tested[*]} " == *" win32 "* ]]; then
    pinewick_prepare_wow64
fi
pinewick_start_server

# The extra arguments are shell words, so quotes in them group as on a command line.
eval "ctest_args=(${PINEWICK_CTEST_ARGS:-})"
# Both builds are tested even when the first fails; the run fails if either did.
status=0
for preset in "${tested[@]}"; do
    echo "Testing $preset"
    ctest --test-dir "$PINEWICK_BUILD_ROOT/$preset" --output-on-failure --timeout 120 \
        -j "$(nproc)" "${ctest_args[@]}" || status=$?
done
exit "$status"
