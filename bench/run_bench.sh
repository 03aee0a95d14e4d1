#!/bin/sh
# Runs every benchmark and prints one table; the results also go to bench/RESULTS.md.
# Usage: bench/run_bench.sh BUILD_DIR (a built tree: tarnwick-crawl and the *Bench programs).
# Installs the peer crawlers and servers from Debian's packages when they are missing.
set -eu

build=${1:?usage: run_bench.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)

missing=""
for p in nginx wget2 wget httrack time python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $p"
done
if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing:$missing" >&2
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi

if [ ! -x "$build/cli/tarnwick-crawl" ]; then
    echo "run_bench.sh: $build/cli/tarnwick-crawl is not built" >&2
    exit 1
fi
exec python3 "$here/run_bench.py" "$build"
