#!/usr/bin/env bash
# Builds the .deb from BUILD_DIR, unpacks it into a temporary root and runs the unpacked
# quillbox-tool on a fixture and the unpacked quillbox with --version (no display needed); checks
# that the help file is where the program looks for it. Any difference from what is expected fails
# the script.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail

fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}

[ $# -eq 1 ] || { echo "usage: scripts/check-package.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd) || fail "no build folder $1"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
fixtures="$source_dir/tests/data/tool"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (packages cmake, dpkg, dpkg-dev)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build"
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/out/quillbox_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { cat "$work/cpack.log" >&2; fail "cpack made no quillbox_*.deb"; }
deb=${debs[0]}
echo "check-package: built $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# The control data: name, version and dependencies found by dpkg-shlibdeps.
[ "$(dpkg-deb -f "$deb" Package)" = quillbox ] || fail "package name is not quillbox"
version=$(sed -n 's/^project(Quillbox VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] || fail "cannot read the project version"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "check-package: Depends: $depends"
for lib in libc6 libqt6core6; do
    grep -q "$lib" <<<"$depends" || fail "Depends does not name $lib"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/quillbox-tool usr/share/applications/quillbox.desktop usr/share/mime/packages/quillbox.xml \
    usr/share/icons/hicolor/scalable/apps/quillbox.svg usr/share/icons/hicolor/48x48/apps/quillbox.png; do
    [ -f "$root/$file" ] || fail "the package lacks /$file"
done
# The program and its help file, unless the build has no window (QUILLBOX_BUILD_GUI=OFF).
gui=$(sed -n 's/^QUILLBOX_BUILD_GUI:BOOL=//p' "$build/CMakeCache.txt")
if [ "$gui" != OFF ]; then
    program="$root/usr/bin/quillbox"
    [ -f "$program" ] || fail "the package lacks /usr/bin/quillbox"
    help="$root/usr/share/quillbox/Quillbox.hlp"
    [ -f "$help" ] || fail "the package lacks /usr/share/quillbox/Quillbox.hlp"
    cmp -s "$help" "$source_dir/src/app/Quillbox.hlp" || fail "the packaged Quillbox.hlp differs from src/app/Quillbox.hlp"
    if ldd "$program" | grep -q 'not found'; then
        ldd "$program" >&2
        fail "the unpacked quillbox misses a shared library"
    fi
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version) || fail "quillbox --version exited with $?"
    [ "$out" = "quillbox $version" ] || fail "quillbox --version printed '$out'"
    echo "check-package: $out, help file in /usr/share/quillbox"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/quillbox.desktop" || fail "desktop-file-validate"
fi

tool="$root/usr/bin/quillbox-tool"
if ldd "$tool" | grep -q 'not found'; then
    ldd "$tool" >&2
    fail "the unpacked quillbox-tool misses a shared library"
fi

out=$("$tool" --version) || fail "quillbox-tool --version exited with $?"
[ "$out" = "quillbox-tool $version" ] || fail "quillbox-tool --version printed '$out'"
echo "check-package: $out"

"$tool" list "$fixtures/sample.pslib" >"$work/list.out" || fail "quillbox-tool list exited with $?"
diff -u "$fixtures/sample.list" "$work/list.out" >&2 || fail "quillbox-tool list printed something else"
"$tool" list --details "$fixtures/sample.pslib" >"$work/details.out" || fail "quillbox-tool list --details exited with $?"
diff -u "$fixtures/sample.details" "$work/details.out" >&2 || fail "quillbox-tool list --details printed something else"
echo "check-package: quillbox-tool list gave the expected $(wc -l <"$work/list.out") lines"

status=0
"$tool" list >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "quillbox-tool list without a file exited with $status, not 2"

echo "check-package: OK"
