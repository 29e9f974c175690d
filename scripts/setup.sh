#!/usr/bin/env bash
# Installs the Debian 12 packages Wildview needs. Idempotent: when every
# package is already installed it changes nothing and asks no registry.
set -euo pipefail

packages=(
  build-essential cmake pkg-config           # the build
  libgtest-dev libgmock-dev libbenchmark-dev # tests and benchmarks
  zlib1g-dev libstb-dev                      # PNG pictures: zlib to write, stb to read back
  libmspack-dev mscompress                   # LZ-compressed scene files: read, and made in the tests
  nlohmann-json3-dev                         # glTF as JSON
  clang libclang-rt-14-dev                   # libFuzzer with ASan and UBSan
  libgl-dev libglu1-mesa-dev libegl-dev      # OpenGL, GLU and EGL headers
  libgl1-mesa-dri libegl-mesa0               # Mesa drivers (headless GL through EGL)
  libx11-dev libfltk1.3-dev                  # the window, menus and dialogs
  libfreetype-dev libfontconfig1-dev         # overlay fonts
  fonts-liberation                           # a metric match for "Arial"
  xvfb xauth xdotool xclip                   # the windowed tests: a virtual display, driven
  time                                       # benchmarks: a program's peak memory
  libtinygltf-dev                            # glTF export
  assimp-utils                               # a second glTF reader in the tests
)
# With --windows: the MinGW-w64 cross compilers, zlib for them, and Wine to
# run what they build (scripts/build-windows.sh).
if [[ ${1:-} == --windows ]]; then
  packages+=(mingw-w64 libz-mingw-w64-dev wine wine64 fonts-wine)
fi
# The Khronos glTF validator runs under Node.js; a machine that has node and
# npm from elsewhere keeps them.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then packages+=(nodejs npm); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The glTF validator from the npm registry, into the checkout's .cache/npm
# (the export test says so and is skipped where it cannot be installed).
validator_version=2.0.0-dev.3.10
npm_dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/npm"
if [ ! -f "$npm_dir/node_modules/gltf-validator/package.json" ] ||
   ! grep -q "\"version\": \"$validator_version\"" "$npm_dir/node_modules/gltf-validator/package.json"; then
  mkdir -p "$npm_dir"
  if npm install --prefix "$npm_dir" --no-audit --no-fund --loglevel=error "gltf-validator@$validator_version" >/dev/null; then
    echo "setup: gltf-validator $validator_version installed"
  else
    echo "setup: could not install gltf-validator; the glTF validation test will be skipped"
  fi
fi
