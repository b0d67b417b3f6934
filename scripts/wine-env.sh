# Sourced by the project's scripts: the project-local Wine prefix and its server.
# Expects PINEWICK_BUILD_ROOT to be set to the build tree's root.

pinewick_scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX="$PINEWICK_BUILD_ROOT/wine"
# The emulated 32-bit Wine (scripts/prepare-wine32.sh) that scripts/wine32 runs.
export PINEWICK_WINE32_ROOT="${PINEWICK_WINE32_ROOT:-$PINEWICK_BUILD_ROOT/wine32-root}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts, and no debugger started after a crash.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# Creates and configures the prefix once; later runs reuse it.
pinewick_prepare_prefix() {
    local marker="$WINEPREFIX/.pinewick-ready"
    if [ -f "$marker" ]; then
        return 0
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$PINEWICK_BUILD_ROOT"
    wine wineboot -i </dev/null >/dev/null 2>&1
    # An empty AeDebug debugger: a crash hands back to the fault path, no winedbg.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d '' /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$marker"
}

# Gives the prefix what a 32-bit program finds on 64-bit Windows: the i386 DLLs in syswow64
# and the 32-bit half of Wine's setup (32-bit registry view, 32-bit COM servers). Done again
# when the 32-bit Wine was prepared anew. Needs prepare-wine32.sh and no running server.
pinewick_prepare_wow64() {
    local stamp marker="$WINEPREFIX/.pinewick-wow64-ready"
    stamp=$(cat "$PINEWICK_WINE32_ROOT/.prepared")
    if [ "$(cat "$marker" 2>/dev/null)" = "$stamp" ]; then
        return 0
    fi
    local dlls="$PINEWICK_WINE32_ROOT/syswow64"
    local syswow64="$WINEPREFIX/drive_c/windows/syswow64"
    mkdir -p "$syswow64"
    # Hard links: the DLLs take 550 MB. A copy only where the build tree spans file systems.
    cp -lf "$dlls"/* "$syswow64"/ 2>/dev/null || cp -f "$dlls"/* "$syswow64"/
    # What wineboot does for the 32-bit side when a 32-bit loader is installed.
    "$pinewick_scripts_dir/wine32" 'C:\windows\syswow64\rundll32.exe' \
        setupapi,InstallHinfSection Wow64Install 128 '\\?\unix/usr/share/wine/wine.inf' \
        </dev/null >/dev/null 2>&1
    if ! wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' \
        /v CurrentBuildNumber /reg:32 </dev/null >/dev/null 2>&1; then
        echo "The 32-bit setup of $WINEPREFIX failed (scripts/wine32 rundll32.exe)" >&2
        wineserver -k
        return 1
    fi
    # The 32-bit view's own AeDebug key: no debugger after a crash there either.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d '' /f /reg:32 </dev/null >/dev/null 2>&1
    wineserver -w
    echo "$stamp" >"$marker"
}

# A persistent server with nothing inherited: Wine's services must not hold the caller's
# pipes open, or a reader of them (ctest) waits forever.
pinewick_start_server() {
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    wine wineboot </dev/null >/dev/null 2>&1
}

pinewick_stop_server() {
    wineserver -k >/dev/null 2>&1 || true
}
