#!/usr/bin/env bash
# Builds the Debian package kestrel_<version>_<arch>.deb with CPack into the top folder
# (or $KESTREL_PACKAGE_DIR) and prints its path. With KESTREL_BUILD_DIR it packages that
# build (as CI does after scripts/test.sh), building only what is missing; without it,
# a Release build of the programs alone goes into build-package/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
out="$(realpath -m "${KESTREL_PACKAGE_DIR:-$top}")"
if [ -n "${KESTREL_BUILD_DIR:-}" ]; then
  build="$(realpath -m "$KESTREL_BUILD_DIR")"
  # Configured by scripts/build.sh or by hand; configured again only when it never was.
  [ -f "$build/CPackConfig.cmake" ] || cmake -S "$top" -B "$build" -G Ninja >/dev/null
else
  build="$top/build-package"
  # Debian's compiler and linker flags, with all of its hardening (bindnow included);
  # no debug information, which the package strips anyway.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF \
    -DKESTREL_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
fi
# The programs and helpers the package installs (src/app); CPack installs what is built.
cmake --build "$build" -j "$(nproc)" --target kestrelsolo kestrelclient kestreldrive kestrelcd \
  kestrelsolo-add kestreldrive-add kestrelcd-add
mkdir -p "$out"
# CPack's own folder beside the build; only the finished package goes to $out.
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
package="$(ls -t "$build"/cpack/kestrel_*.deb | head -n 1)"
mv "$package" "$out/"
echo "$out/$(basename "$package")"
