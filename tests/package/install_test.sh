#!/usr/bin/env bash
# Installs the build into a fresh prefix, then works with the installed files only: the soname
# links, every installed header named in the installed embedding guide, a separate CMake
# project (tests/package/consumer) that finds the package, compiles each header alone, builds the
# installed example host and links the module through CMake and pkg-config; then the installed
# tesrhost makes a demo database and the example host opens Customer Payments over it.
#
#   install_test.sh BUILD SOURCE WORK
set -euo pipefail
build=$1 source=$2 work=$3
cmake=${CMAKE:-cmake}
fail() { echo "FAILED: $*" >&2; exit 1; }
expect() { # NAME EXPECTED ACTUAL
  [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}

rm -rf "$work"
mkdir -p "$work" && chmod 700 "$work" # also the runtime folder
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { tail "$work/install.log"; fail "install"; }

library=$(find "$prefix" -name libtesrpay5.so.5.0.0)
[ -n "$library" ] || fail "no libtesrpay5.so.5.0.0 under $prefix"
libdir=$(dirname "$library")
expect "soname link" libtesrpay5.so.5.0.0 "$(readlink "$libdir/libtesrpay5.so.5")"
expect "development link" libtesrpay5.so.5 "$(readlink "$libdir/libtesrpay5.so")"
expect "soname" libtesrpay5.so.5 "$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')"

doc=$prefix/share/doc/tesrpay5
(cd "$prefix/include/tesrpay5" && find . -name '*.h' | sed 's|^\./||' | sort) >"$work/headers.txt"
while read -r header; do
  grep -qF "\`$header\`" "$doc/embedding.md" || fail "installed header $header is not named in embedding.md"
done <"$work/headers.txt"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
PKG_CONFIG_PATH=$libdir/pkgconfig "$cmake" -S "$source/tests/package/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLE_DIR="$doc/examples/embedding" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  "${launcher[@]}" >"$work/configure.log" 2>&1 || { tail -20 "$work/configure.log"; fail "configure the consumer"; }
"$cmake" --build "$work/consumer" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log"; fail "build the consumer"; }

# The installed programs find the installed module, not another copy.
resolved=$(ldd "$prefix/bin/tesrhost" | awk '$1 == "libtesrpay5.so.5" { print $3 }')
[ "$resolved" != not ] || fail "tesrhost finds no libtesrpay5.so.5"
expect "module tesrhost loads" "$library" "$(readlink -f "$resolved")"
for program in linked_cmake linked_pkgconfig; do
  expect "$program output" "TESR 5 - Payments" "$("$work/consumer/$program")"
done

"$prefix/bin/tesrhost" --database "$work/company.db" --create-demo >/dev/null || fail "installed tesrhost --create-demo"
"$work/consumer/example/example_host" "$libdir/libtesrpay5.so.5" "$work/company.db" 1 \
  --expect-window frmCustomerPayments || fail "example host"
echo "package install: ok"
