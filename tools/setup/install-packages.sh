#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the tools and the cross targets use.
# Safe to run again: packages already present are skipped.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config file
    clang libclang-rt-14-dev                      # fuzzing and sanitizers
    googletest libgtest-dev libbenchmark-dev      # tests and benchmarks
    libpng-dev libassimp-dev assimp-testmodels    # the render tool
    libgif-dev                                    # the render tool's animation
    libembree-dev                                 # the render tool's rays; a peer in the benchmarks
    libcgal-dev                                   # a peer in the benchmarks
    g++-multilib                                  # Linux 32-bit
    g++-mingw-w64-i686 binutils-mingw-w64-i686    # Windows 32-bit
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 # Windows 64-bit
    wine wine32 wine64                            # running the Windows builds
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    case "$p" in \#*) continue ;; esac
    name="$p"
    [ "$p" = wine32 ] && name="wine32:i386"
    if ! dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    if [ ${#missing[@]} -gt 0 ]; then
        $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
fi
