#!/usr/bin/env bash
# Installs a build into a fresh prefix and builds a C++ user's program against
# it twice, through find_package(Quarnel3) and through pkg-config, then runs
# each against the installed kexsim, and the installed kxcli against its
# built-in simulated server.
# Usage: tests/package/check.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "installed into $prefix:"
(cd "$prefix" && find . -type f -o -type l | sort | sed 's/^/  /')

# The installed kexsim, on free ports; its first line names the plain port.
mkfifo "$work/sim.out"
"$prefix/bin/kexsim" --port 0 --tls-port 0 > "$work/sim.out" &
sim=$!
exec 3< "$work/sim.out"
read -r -t 10 line <&3
port=${line##* }
[[ "$port" =~ ^[0-9]+$ ]] || { echo "kexsim did not report its port: $line" >&2; exit 1; }

echo "== find_package(Quarnel3)"
cmake -S "$here" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/consumer" >/dev/null
module=$(cat "$work/consumer/module_path.txt")
"$work/consumer/consumer" 127.0.0.1 "$port" "$module"
"$work/consumer/consumer_static" 127.0.0.1 "$port" "$module"

echo "== pkg-config wexel quarnel3"
pcdir=$(dirname "$(find "$prefix" -name wexel.pc)")
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir wexel)
# shellcheck disable=SC2046
${CXX:-c++} -std=c++20 -o "$work/consumer_pc" "$here/consumer.cpp" \
  $(pkg-config --cflags --libs wexel quarnel3) -Wl,-rpath,"$libdir"
"$work/consumer_pc" 127.0.0.1 "$port" "$(pkg-config --variable=module quarnel3)"

echo "== installed kxcli"
"$prefix/bin/kxcli" version
echo "package check passed"
