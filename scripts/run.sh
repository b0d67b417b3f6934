#!/usr/bin/env bash
# The main job: pinewick.exe under the project's own Wine prefix, the one the tests use. Installs what is missing, builds, prepares the prefix, points SetupLog at a
# log file inside it, runs pinewick.exe through the launcher (which reads the whole 32-bit exit
# code; Wine hands a shell only its low 8 bits), and prints each run's log lines and exit code.
#   scripts/run.sh [--win32|--win64]               the sample package: /install of its INF,
#                                                  then /uninstall /catalog:pinewick-sample.cat
#   scripts/run.sh [--win32|--win64] ARGUMENTS...  pinewick.exe with these arguments (Windows
#                                                  paths)
#   --win64 (the default) runs the 64-bit build natively under Wine; --win32 runs the shipped
#   32-bit build as on 64-bit Windows (WOW64), under the emulated 32-bit Wine.
#   PINEWICK_BUILD_ROOT              build tree (default: build/ in the checkout)
# Exits with 0 when every run returned 0, else 1.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PINEWICK_BUILD_ROOT="${PINEWICK_BUILD_ROOT:-$source_dir/build}"
preset=win64
case "${1:-}" in
--win32 | --win64)
    preset=${1#--}
    shift
    ;;
esac
build="$PINEWICK_BUILD_ROOT/$preset"

"$source_dir/scripts/install-packages.sh"
if [ "$preset" = win32 ]; then
    "$source_dir/scripts/prepare-wine32.sh"
fi

cd "$source_dir"
cmake --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target pinewick launcher >/dev/null

source "$source_dir/scripts/wine-env.sh"
trap pinewick_stop_server EXIT
trap 'exit 130' INT TERM
pinewick_prepare_prefix
# A 32-bit program is started by the 32-bit Wine; 64-bit Wine cannot start it.
run_windows_program=(wine)
if [ "$preset" = win32 ]; then
    pinewick_prepare_wow64
    run_windows_program=("$source_dir/scripts/wine32")
fi
pinewick_start_server

# SetupLog: HKLM\Software\ORVEL Software\Orvel, in the 32-bit view a 32-bit setup writes.
log_windows='C:\ProgramData\ORVEL Software\Orvel\log\pinewick.log'
log_unix="$WINEPREFIX/drive_c/ProgramData/ORVEL Software/Orvel/log/pinewick.log"
mkdir -p "$(dirname "$log_unix")"
wine reg add 'HKLM\Software\ORVEL Software\Orvel' /v SetupLog /t REG_SZ /d "$log_windows" \
    /f /reg:32 </dev/null >/dev/null 2>&1

program=$(winepath -w "$build/app/pinewick.exe" 2>/dev/null)
launcher="$build/tools/launcher/launcher.exe"

status=0
run() {
    local before=0 code
    if [ -f "$log_unix" ]; then
        before=$(stat -c %s "$log_unix")
    fi
    echo "> pinewick.exe $*"
    code=$("${run_windows_program[@]}" "$launcher" "$program" "$@" </dev/null | tr -d '\r') || true
    # The lines this run appended: UTF-16LE to UTF-8, without the byte-order mark and CRs.
    if [ -f "$log_unix" ]; then
        tail -c +$((before + 1)) "$log_unix" | iconv -f UTF-16LE -t UTF-8 |
            sed -e 's/^\xef\xbb\xbf//' -e 's/\r$//'
    fi
    echo "Exit code: ${code:-(pinewick.exe did not run)}"
    echo
    if [ "$code" != 0x00000000 ]; then
        status=1
    fi
}

if [ $# -gt 0 ]; then
    run "$@"
else
    sample=$(winepath -w "$source_dir/samples/pinewick-sample/pinewick-sample.inf" 2>/dev/null)
    run /install "$sample"
    run /uninstall /catalog:pinewick-sample.cat
fi
echo "Log file: $log_windows ($log_unix)"
exit "$status"
