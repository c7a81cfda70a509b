#!/usr/bin/env bash
# Installs the Debian packages Stillkeep needs to build, run, test and benchmark.
# Idempotent: it asks apt only when a package is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkgconf
  # libraries the product links
  qt6-base-dev libjpeg62-turbo-dev libicu-dev libssl-dev libcli11-dev libsodium-dev
  # the hash of index sections in the memo of verified key orders
  libxxhash-dev
  # the window system's input queue, which the program's tests fill as a user would
  qt6-base-private-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev liblz4-dev zlib1g-dev libsqlite3-dev sqlite3
  # independent oracles and reference tools used by tests and benchmarks
  imagemagick python3 python3-pil libtiff-tools giflib-tools libjpeg-turbo-progs
  # ImageMagick's WMF reader (libwmf) for the metafile oracle; a font for metafile text
  libmagickcore-6.q16-6-extra fonts-dejavu-core
  # an independent metafile writer for test files (GPL: linked only into a test tool)
  libuemf-dev
  xvfb xauth hyperfine
  # the fuzz targets (fuzz/run): clang 14 with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # checks of the file-manager entries the program writes while it runs (desktop-file-validate;
  # gio comes with libglib2.0-bin)
  desktop-file-utils libglib2.0-bin
  # checks of the installed files: the metainfo validator, the MIME database and xdg-mime;
  # groff for the manual pages, bash-completion for the completion file; dpkg-dev for the
  # package's library dependencies
  appstream shared-mime-info xdg-utils groff-base dpkg-dev bash-completion
  # outside a desktop session xdg-mime recognises file types through mimetype (shared-mime-info's
  # database); without it, through file(1), which knows no store
  libfile-mimeinfo-perl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
