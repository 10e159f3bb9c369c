#!/usr/bin/env bash
# Builds the Debian package from the build folder (as `make package` does) and checks it as a
# shop would meet it: its control fields and computed dependencies, its contents, the menu entry,
# the manual page's options against the README's table and the host's --help, lintian's verdict
# when lintian is installed; then unpacks it into a fresh root and starts the unpacked host
# offscreen over a demo database.
#
#   deb_test.sh BUILD SOURCE WORK
set -euo pipefail
build=$1 source=$2 work=$3
cpack=${CPACK:-cpack}
fail() { echo "FAILED: $*" >&2; exit 1; }
expect() { # NAME EXPECTED ACTUAL
  [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}

rm -rf "$work"
mkdir -p "$work" && chmod 700 "$work" # also the runtime folder
(cd "$build" && "$cpack" -G DEB -B "$work") >"$work/cpack.log" 2>&1 || { tail -20 "$work/cpack.log"; fail "cpack"; }
deb=$(echo "$work"/*.deb)
[ -f "$deb" ] || fail "no package in $work"

expect "Package" tesrpay5 "$(dpkg-deb -f "$deb" Package)"
expect "Description" "TESR 5 - Payments" "$(dpkg-deb -f "$deb" Description | head -1)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libqt6core6 libqt6widgets6 libqt6sql6 libqt6xml6 libqt6sql6-sqlite; do
  [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] || fail "Depends lacks $needed: $depends"
done

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents.txt"
lib=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for path in /usr/bin/tesrhost $lib/libtesrpay5.so.5.0.0 $lib/libtesrpay5.so.5 $lib/libtesrpay5.so \
  /usr/include/tesrpay5/entry/Library.h $lib/cmake/TesrPay5/TesrPay5Config.cmake $lib/pkgconfig/tesrpay5.pc \
  /usr/share/applications/tesrhost.desktop /usr/share/icons/hicolor/scalable/apps/tesrhost.svg \
  /usr/share/man/man1/tesrhost.1.gz /usr/share/doc/tesrpay5/copyright /usr/share/doc/tesrpay5/changelog.gz \
  /usr/share/doc/tesrpay5/examples/embedding/example_host.cpp; do
  grep -qxF "$path" "$work/contents.txt" || fail "the package lacks $path"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qxF "/usr/share/icons/hicolor/${size}x${size}/apps/tesrhost.png" "$work/contents.txt" ||
    fail "the package lacks the ${size}x${size} icon"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/tesrhost.desktop
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (desktop-file-utils)"
desktop-file-validate "$desktop" || fail "desktop entry"
entry() { sed -n "s/^$1=//p" "$desktop"; }
expect "menu entry Name" "TESR 5 - Payments" "$(entry Name)"
expect "menu entry Categories" "Office;Finance;" "$(entry Categories)"
[ -x "$root/usr/bin/$(entry Exec | cut -d' ' -f1)" ] || fail "menu entry Exec $(entry Exec) is not in the package"

# The manual page lists exactly the README's options, and the program has exactly those.
zcat "$root/usr/share/man/man1/tesrhost.1.gz" | awk '/^\.TP/ { getline; print }' | sed 's/\\-/-/g' |
  grep -oE '^\.BI? --[a-z-]+' | grep -oE -- '--[a-z-]+' | sort -u >"$work/options.man"
awk -F'|' '/^\| `--/ { print $2 }' "$source/README.md" | grep -oE -- '--[a-z-]+' | sort -u >"$work/options.readme"
"$root/usr/bin/tesrhost" --help | grep -oE '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+' |
  grep -vxE -- '--help|--help-all|--version' | sort -u >"$work/options.help"
diff -u "$work/options.readme" "$work/options.man" || fail "the manual page's options differ from the README's"
diff -u "$work/options.readme" "$work/options.help" || fail "tesrhost --help differs from the README's options"

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning --pedantic --info "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian"; }
  grep -E '^[A-Z]:' "$work/lintian.log" || true
else
  echo "lintian is not installed: not run"
fi

# The unpacked host runs from its own folders (it finds its module beside it).
host=$root/usr/bin/tesrhost
resolved=$(ldd "$host" | awk '$1 == "libtesrpay5.so.5" { print $3 }')
[ "$resolved" != not ] || fail "tesrhost finds no libtesrpay5.so.5"
expect "module tesrhost loads" "$root$lib/libtesrpay5.so.5.0.0" "$(readlink -f "$resolved")"
"$host" --database "$work/company.db" --create-demo >/dev/null || fail "unpacked tesrhost --create-demo"
"$host" --database "$work/company.db" --screenshot "$work/tesrhost.png" || fail "unpacked tesrhost --screenshot"
file -b "$work/tesrhost.png" | grep -q '^PNG image data' || fail "the screenshot is no PNG: $(file -b "$work/tesrhost.png")"
echo "package deb: ok ($(stat -c %s "$deb") bytes)"
