# Shared set-up steps of scripts/test and scripts/run. Sourced, not run.
# Everything the build and the tests need is installed here; nothing is assumed to be present.

KV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KV_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
             wine wine64 wine32:i386 fonts-wine xvfb xauth x11-apps x11-utils xdotool imagemagick wixl cmake ninja-build ccache
             googletest mono-mcs locales qemu-user-static file python3 clang-format)

kv_log() { printf '== %s\n' "$*" >&2; }

# Installs the Debian packages that are missing; a machine that has them all is left untouched.
kv_install_packages() {
    local missing=() p
    for p in "${KV_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        kv_log "installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    # The Russian locale gives Wine's processes the Russian ANSI code page (1251).
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU.utf8$'; then
        kv_log "generating the ru_RU.UTF-8 locale"
        sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >> /etc/locale.gen
        locale-gen >/dev/null
    fi
}

# Wine's 32-bit loader is an i386 Linux program. Where the kernel runs no 32-bit programs
# (ia32 emulation switched off), they run through qemu's user-mode emulator instead: slow to start
# (about a minute a process), but faithful, so the i386 deliverables are still tested for real.
kv_enable_i386() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then return 0; fi
    [ -d /proc/sys/fs/binfmt_misc ] || return 1
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || return 1
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register 2>/dev/null || return 1
    fi
    echo 1 > /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=ru_RU.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

# A pristine 64-bit prefix (with WoW64 where 32-bit programs run) is made once per machine (its
# 32-bit half takes minutes under emulation) and copied afresh for each run, so every run starts
# from the same clean registry.
kv_fresh_prefix() {
    local dest=$1
    local wver; wver=$(/usr/lib/wine/wine64 --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
    # With a working 32-bit loader the prefix gets its WoW64 half; the two kinds are kept apart.
    local kind=win64
    /usr/lib/wine/wine --version >/dev/null 2>&1 && kind=wow64
    local cache=${XDG_CACHE_HOME:-$HOME/.cache}/vicheck/wineprefix-$wver-$kind
    mkdir -p "$(dirname "$cache")"
    exec 9>"$cache.lock"
    flock 9   # several work trees may share the template; one makes it, the others wait
    if [ ! -f "$cache/.complete" ]; then
        kv_log "creating the Wine prefix template (once per machine; a few minutes)"
        rm -rf "$cache"; mkdir -p "$(dirname "$cache")"
        WINEPREFIX=$cache WINEARCH=win64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        WINEPREFIX=$cache /usr/lib/wine/wineserver -w
        touch "$cache/.complete"
    fi
    flock -u 9
    [ -n "${WINEPREFIX:-}" ] && [ -d "$dest" ] && WINEPREFIX=$dest /usr/lib/wine/wineserver -k 2>/dev/null
    rm -rf "$dest"
    # The template's content into the folder (a folder that something made again meanwhile must not
    # get the template as a sub-folder).
    mkdir -p "$dest" && cp -a "$cache/." "$dest/"
    kv_prefix_draws_frames "$dest"
}

# There is no window manager on the virtual display, so nothing would draw the captions and
# borders of managed windows; Wine draws them itself when it is told to leave decoration alone.
# Its caption buttons are glyphs of the Marlett font, which this Wine does not take from its own
# font folder: the prefix gets a copy.
kv_prefix_draws_frames() {
    [ -f /usr/share/wine/fonts/marlett.ttf ] && mkdir -p "$1/drive_c/windows/Fonts" &&
        cp -f /usr/share/wine/fonts/marlett.ttf "$1/drive_c/windows/Fonts/"
    grep -q '^\[Software\\\\Wine\\\\X11 Driver\]' "$1/user.reg" 2>/dev/null && return 0
    printf '\n[Software\\\\Wine\\\\X11 Driver] 0\n"Decorated"="N"\n' >> "$1/user.reg"
}

# The prefix the tests and benchmarks run in: a fresh copy of the template whose windows no window
# manager is asked about. Under Xvfb there is none, and for a managed window Wine's X11 driver waits
# about 2 s on every hide or destroy of a shown, captioned window (each dialog, message box and wait
# window a test closes) for an answer that never comes; unmanaged, the same takes milliseconds.
# Frames and captions look the same (Wine draws them itself either way). scripts/run keeps its
# windows managed, since a person's desktop has a manager.
kv_test_prefix() {
    kv_fresh_prefix "$1" || return 1
    kv_prefix_unmanaged "$1"
}

kv_prefix_unmanaged() {
    grep -q '^"Managed"=' "$1/user.reg" 2>/dev/null && return 0
    sed -i '/^\[Software\\\\Wine\\\\X11 Driver\]/a "Managed"="N"' "$1/user.reg"
}

# Starts a virtual X display when there is none, for tests and runs that open windows.
kv_ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    if [ -n "${DISPLAY:-}" ] && [ -z "$(command -v xdpyinfo)" ]; then return 0; fi
    local fifo; fifo=$(mktemp -u); mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    KV_XVFB_PID=$!
    local n; read -r n < "$fifo"; rm -f "$fifo"
    export DISPLAY=":$n"
    kv_log "virtual display $DISPLAY"
}

kv_stop_display() {
    [ -n "${KV_XVFB_PID:-}" ] && kill "$KV_XVFB_PID" 2>/dev/null
    KV_XVFB_PID=
}

# Configures and builds one architecture ("x64" or "x86").
kv_build() {
    local arch=$1
    local jobs=${KV_JOBS:-$(nproc)}
    export CCACHE_BASEDIR=$KV_ROOT CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vicheck/ccache}
    if [ ! -f "$KV_ROOT/build/$arch/build.ninja" ]; then
        cmake --preset "$arch" -S "$KV_ROOT" >/dev/null || return 1
    fi
    cmake --build "$KV_ROOT/build/$arch" -j "$jobs"
}
