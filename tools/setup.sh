#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test Quellor:
#  - installs the cross compilers, Wine (with wine32:i386), wixl/msitools, googletest;
#  - finds out whether this machine runs i386 Linux programs, which Wine needs for every 32-bit Windows
#    program; where it does not (or QUELLOR_WINE_EMULATION=1 asks for it), runs them under qemu-i386
#    and records that path for the Wine harness (tools/wine-path.sh);
#  - builds Boost 1.74 (headers + Serialization) and Crypto++ 8.7 for i686-w64-mingw32
#    from Debian's source packages, plus GoogleTest, into a cache outside the clone.
# Safe to run again: every step is skipped when its result is already there.
set -euo pipefail

DEPS_ROOT="${QUELLOR_DEPS:-/var/cache/quellor-deps}"
CXX_CROSS=i686-w64-mingw32-g++-posix
CC_CROSS=i686-w64-mingw32-gcc-posix
JOBS="$(nproc)"

log() { printf '[setup] %s\n' "$*"; }

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

install_packages() {
    local pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
                cmake ninja-build make xz-utils dpkg-dev
                wine wine32:i386 wine64 wixl msitools googletest openssl python3 ccache gcc)
    local missing=()
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        log "adding the i386 architecture"
        as_root dpkg --add-architecture i386
        as_root apt-get update -qq
    fi
    for p in "${pkgs[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing: ${missing[*]}"
        as_root apt-get update -qq
        DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

# Source packages through a private apt list, so the machine's binary lists stay untouched.
fetch_sources() {
    local d="$DEPS_ROOT/src"
    if ls "$d"/boost1.74_*.orig.tar.xz >/dev/null 2>&1 && ls "$d"/libcrypto++_*.orig.tar.* >/dev/null 2>&1; then
        return
    fi
    log "downloading Debian source packages boost1.74 and libcrypto++"
    mkdir -p "$d/lists/partial"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$d/src.sources"
    local O=(-o Dir::Etc::sourcelist="$d/src.sources" -o Dir::Etc::sourceparts=/dev/null -o Dir::State::Lists="$d/lists")
    apt-get "${O[@]}" update -qq
    (cd "$d" && apt-get "${O[@]}" source --download-only boost1.74 libcrypto++ >/dev/null)
}

build_boost() {
    local prefix="$DEPS_ROOT/boost-1.74.0-i686"
    [ -f "$prefix/.done" ] && return
    log "building Boost 1.74 Serialization for i686-w64-mingw32"
    rm -rf "$prefix" "$DEPS_ROOT/work-boost"; mkdir -p "$prefix/include" "$prefix/lib" "$DEPS_ROOT/work-boost"
    local w="$DEPS_ROOT/work-boost"
    tar -xJf "$DEPS_ROOT"/src/boost1.74_*.orig.tar.xz -C "$w" --wildcards \
        'boost/libs/*/include/boost/*' 'boost/libs/serialization/src/*' 'boost/libs/serialization/build/*'
    local inc
    for inc in "$w"/boost/libs/*/include "$w"/boost/libs/numeric/*/include; do
        [ -d "$inc/boost" ] && cp -al "$inc/boost" "$prefix/include/" 2>/dev/null || cp -a "$inc/boost/." "$prefix/include/boost/"
    done
    # Merge every library's headers (cp -al refuses to merge into an existing folder).
    for inc in "$w"/boost/libs/*/include "$w"/boost/libs/numeric/*/include; do
        [ -d "$inc/boost" ] && cp -a -l -n -r "$inc/boost/." "$prefix/include/boost/" 2>/dev/null || true
    done
    local jam="$w/boost/libs/serialization/build/Jamfile.v2"
    local ws s
    ws="$(sed -n '/^WSOURCES/,/;/p' "$jam" | tr -s ' \t\n' '\n' | grep -v -e '^WSOURCES' -e '^=' -e '^;' -e '^$')"
    s="$(sed -n '/^SOURCES/,/;/p' "$jam" | tr -s ' \t\n' '\n' | grep -v -e '^SOURCES' -e '^=' -e '^;' -e '^$')"
    mkdir -p "$w/obj/s" "$w/obj/ws"
    local flags=(-O2 -std=gnu++17 -DBOOST_ALL_NO_LIB -DNDEBUG -I"$prefix/include")
    printf '%s\n' $s | xargs -P "$JOBS" -I{} $CXX_CROSS "${flags[@]}" -c "$w/boost/libs/serialization/src/{}.cpp" -o "$w/obj/s/{}.o"
    printf '%s\n' $ws | xargs -P "$JOBS" -I{} $CXX_CROSS "${flags[@]}" -c "$w/boost/libs/serialization/src/{}.cpp" -o "$w/obj/ws/{}.o"
    i686-w64-mingw32-ar rcs "$prefix/lib/libboost_serialization.a" "$w"/obj/s/*.o
    i686-w64-mingw32-ar rcs "$prefix/lib/libboost_wserialization.a" "$w"/obj/ws/*.o
    rm -rf "$w"
    touch "$prefix/.done"
}

build_cryptopp() {
    local prefix="$DEPS_ROOT/cryptopp-8.7.0-i686"
    [ -f "$prefix/.done" ] && return
    log "building Crypto++ 8.7 for i686-w64-mingw32 (about 75 s)"
    rm -rf "$prefix" "$DEPS_ROOT/work-cryptopp"; mkdir -p "$prefix/include/cryptopp" "$prefix/lib" "$DEPS_ROOT/work-cryptopp"
    local w="$DEPS_ROOT/work-cryptopp"
    tar -xf "$DEPS_ROOT"/src/libcrypto++_*.orig.tar.* -C "$w"
    local srcdir; srcdir="$(find "$w" -maxdepth 2 -name GNUmakefile -printf '%h\n' | head -n1)"
    make -C "$srcdir" -j"$JOBS" static CXX=$CXX_CROSS AR=i686-w64-mingw32-ar RANLIB=i686-w64-mingw32-ranlib \
        CXXFLAGS="-DNDEBUG -g0 -O2 -D_WIN32_WINNT=0x0601" >/dev/null
    cp "$srcdir"/*.h "$prefix/include/cryptopp/"
    cp "$srcdir/libcryptopp.a" "$prefix/lib/"
    rm -rf "$w"
    touch "$prefix/.done"
}

build_gtest() {
    local prefix="$DEPS_ROOT/googletest-i686"
    [ -f "$prefix/.done" ] && return
    log "building GoogleTest for i686-w64-mingw32"
    rm -rf "$prefix" "$DEPS_ROOT/work-gtest"
    local here; here="$(cd "$(dirname "$0")/.." && pwd)"
    cmake -S /usr/src/googletest -B "$DEPS_ROOT/work-gtest" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON >/dev/null
    cmake --build "$DEPS_ROOT/work-gtest" >/dev/null
    cmake --install "$DEPS_ROOT/work-gtest" >/dev/null
    rm -rf "$DEPS_ROOT/work-gtest"
    touch "$prefix/.done"
}

# --- Wine's 32-bit programs: native, or under qemu-i386 -------------------------------------------
EMULATION_ROOT="$DEPS_ROOT/wine-emulation"
BINFMT=/proc/sys/fs/binfmt_misc
# qemu's own entry for i386 ELF executables (Debian ships none on amd64, where i386 is usually native).
QEMU_I386_ENTRY=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

i386_runs() { "$EMULATION_ROOT/i386-probe" >/dev/null 2>&1; }
qemu_handler_enabled() { [ -f "$BINFMT/qemu-i386" ] && head -n1 "$BINFMT/qemu-i386" | grep -qx enabled; }

build_i386_probe() {
    local tools; tools="$(cd "$(dirname "$0")" && pwd)/emulation"
    mkdir -p "$EMULATION_ROOT"
    gcc -m32 -nostdlib -static -o "$EMULATION_ROOT/i386-probe.new" "$tools/i386-probe.S"
    mv -f "$EMULATION_ROOT/i386-probe.new" "$EMULATION_ROOT/i386-probe"
}

# Registers and enables qemu-i386 for i386 ELF programs. The handler takes precedence over the
# kernel's own loader, so this also forces emulation where 32-bit programs would run natively.
enable_qemu_handler() {
    dpkg -s qemu-user-static >/dev/null 2>&1 || {
        log "installing qemu-user-static"
        DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    }
    [ -f "$BINFMT/register" ] || as_root mount -t binfmt_misc binfmt_misc "$BINFMT"
    [ -f "$BINFMT/qemu-i386" ] || printf '%s' "$QEMU_I386_ENTRY" | as_root tee "$BINFMT/register" >/dev/null
    qemu_handler_enabled || echo 1 | as_root tee "$BINFMT/qemu-i386" >/dev/null
}

# The preload library (tools/emulation/reserve-at-once.c) for Wine's i386 processes, and an empty one
# for the 64-bit processes that inherit the same LD_PRELOAD: the path names "$LIB", which each
# loader expands to its own library folder.
# Each is built beside its place and moved there, so processes that have it mapped keep their copy.
build_reservation_remedy() {
    local tools; tools="$(cd "$(dirname "$0")" && pwd)/emulation"
    local i386="$EMULATION_ROOT/lib/i386-linux-gnu" x64="$EMULATION_ROOT/lib/x86_64-linux-gnu"
    mkdir -p "$i386" "$x64"
    gcc -m32 -O2 -fPIC -shared -nostdlib -o "$i386/reserve-at-once.so.new" "$tools/reserve-at-once.c"
    gcc -O2 -fPIC -shared -nostdlib -o "$x64/reserve-at-once.so.new" -x c /dev/null
    mv -f "$i386/reserve-at-once.so.new" "$i386/reserve-at-once.so"
    mv -f "$x64/reserve-at-once.so.new" "$x64/reserve-at-once.so"
}

# Says in one line which path it took, on stderr, so that callers that hide the build's output
# (tools/demo.sh) still show it.
choose_wine_path() {
    local why
    build_i386_probe
    if [ "${QUELLOR_WINE_EMULATION:-0}" = 1 ]; then
        why="forced by QUELLOR_WINE_EMULATION=1"
    elif ! i386_runs; then
        why="this kernel runs no i386 program"
    elif qemu_handler_enabled; then
        why="qemu-i386 is registered for i386 programs and takes precedence"
    fi
    if [ -z "${why:-}" ]; then
        printf 'QUELLOR_WINE_PATH=native\n' >"$DEPS_ROOT/wine-path.env"
        log "Wine's 32-bit programs run natively (this kernel runs i386 programs)" >&2
        return
    fi
    enable_qemu_handler
    build_reservation_remedy
    i386_runs || { log "ERROR: i386 programs do not run even under qemu-i386 ($BINFMT/qemu-i386)"; exit 1; }
    {
        printf 'QUELLOR_WINE_PATH=emulated\n'
        printf "QUELLOR_WINE_PRELOAD='%s'\n" "$EMULATION_ROOT/\$LIB/reserve-at-once.so"
    } >"$DEPS_ROOT/wine-path.env"
    log "Wine's 32-bit programs run emulated by qemu-i386 with its address reservations refused at once ($why)" >&2
}

main() {
    install_packages
    mkdir -p "$DEPS_ROOT"
    choose_wine_path
    fetch_sources
    build_boost
    build_cryptopp
    build_gtest
    log "dependencies ready in $DEPS_ROOT"
}

main "$@"
