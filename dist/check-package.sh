#!/usr/bin/env bash
# Checks the Debian package in BUILD_DIR the way a user meets it: lintian, the desktop entry and
# AppStream metadata, the manual pages, the bash completion, and the programs run from an
# unpacked copy (no system install): tarnwick-crawl harvests the demo site, and the window starts
# offscreen, finds its files and writes its settings into a fresh config folder; the window once
# more from a DESTDIR install under another prefix.
# Usage: dist/check-package.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: check-package.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
debs=("$build"/tarnwick_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "check-package: want exactly one package in $build" >&2
    exit 1
fi
deb=$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")
tmp=$(mktemp -d)
window_pid=
cleanup() {
    [ -z "$window_pid" ] || kill -9 "$window_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

step() { echo "== $*"; }
fail() {
    echo "check-package: $*" >&2
    exit 1
}

step "lintian $(basename "$deb")"
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian found errors"

step "dependencies resolve (apt-get --simulate)"
apt-get install --simulate -qq "$deb" >/dev/null || fail "apt cannot install the package"

step "unpack into a scratch root"
dpkg-deb -x "$deb" "$tmp/root"
usr=$tmp/root/usr

step "desktop entry and AppStream metadata"
desktop-file-validate "$usr"/share/applications/*.desktop
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml

step "manual pages render without warnings"
for page in "$usr"/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    echo "$(basename "$page"): $(LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | wc -l) lines"
done

step "bash completion"
complete_words() {
    # Completes the words given, the last one being the word under the cursor. Outside a real
    # completion compopt complains; what counts is the list of words offered.
    bash -c 'source /usr/share/bash-completion/bash_completion
             source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
             COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
             _tarnwick_crawl tarnwick-crawl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
             printf "%s\n" "${COMPREPLY[@]}"' _ \
        "$usr/share/bash-completion/completions/tarnwick-crawl" tarnwick-crawl "$@" 2>/dev/null
}
expect_completion() {
    local want=$1
    shift
    local got
    got=$(complete_words "$@" | tr '\n' ' ')
    [ "$got" = "$want" ] || fail "completing '$*': want '$want', got '$got'"
}
expect_completion "--format " --for
expect_completion "text tsv jsonl " --format ""
expect_completion "mail,pdf " -t mail,p
expect_completion "all site path " --follow ""

step "tarnwick-crawl --version"
"$usr/bin/tarnwick-crawl" --version | grep -qx "tarnwick-crawl [0-9.]*" || fail "no version"
"$usr/bin/tarnwick-crawl" --version

step "tarnwick-crawl harvests the installed demo site"
"$root/cli/demo.sh" "$usr/bin/tarnwick-crawl" "$usr/share/tarnwick/demo" >"$tmp/harvest" 2>/dev/null
for want in Redaktion@tarnwick-demo.example /files/handbook.pdf /files/samples.zip; do
    grep -q "$want" "$tmp/harvest" || fail "harvest lacks $want"
done
echo "$(wc -l <"$tmp/harvest") results"

# Starts the window program $1 offscreen with a fresh XDG_CONFIG_HOME $2, ends it with SIGTERM,
# and checks that it found its shipped files in $3 and wrote its settings into $2/tarnwick.
check_window() {
    local program=$1 config=$2/tarnwick shipped=$3 status=0
    env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_CONFIG_HOME="$2" \
        XDG_STATE_HOME="$tmp/state" QT_QPA_PLATFORM=offscreen \
        "$program" >"$tmp/window.out" 2>"$tmp/window.err" &
    window_pid=$!
    # The shipped keyword lists are copied at the first start, before the window shows.
    for _ in $(seq 100); do
        [ -f "$config/Exclude.ini" ] && break
        kill -0 "$window_pid" 2>/dev/null || break
        sleep 0.1
    done
    sleep 1
    kill -TERM "$window_pid" 2>/dev/null || fail "the window ended by itself: $(cat "$tmp/window.err")"
    for _ in $(seq 100); do
        kill -0 "$window_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$window_pid" 2>/dev/null && fail "the window did not end on SIGTERM"
    wait "$window_pid" || status=$?
    window_pid=
    [ "$status" -eq 0 ] || fail "the window ended with status $status: $(cat "$tmp/window.err")"
    if grep '^tarnwick:' "$tmp/window.err"; then fail "the window missed some of its files"; fi
    [ "$(stat -c %a "$config")" = 700 ] || fail "config folder has rights $(stat -c %a "$config")"
    [ "$(stat -c %a "$config/Program.ini")" = 600 ] || fail "Program.ini is not 0600"
    cmp -s "$config/Exclude.ini" "$shipped/Exclude.ini" || fail "Exclude.ini not copied"
    grep -q '^Depth=3' "$config/Program.ini" || fail "Program.ini lacks the settings"
    [ ! -e "$(dirname "$program")/Program.ini" ] || fail "settings written beside the program"
    ls -l "$config"
}

step "the window starts offscreen and keeps its settings in XDG_CONFIG_HOME"
check_window "$usr/bin/tarnwick" "$tmp/config" "$usr/share/tarnwick"

step "cmake --install with DESTDIR under another prefix"
DESTDIR="$tmp/dest" cmake --install "$build" --prefix /opt/tarnwick >/dev/null
check_window "$tmp/dest/opt/tarnwick/bin/tarnwick" "$tmp/config2" "$tmp/dest/opt/tarnwick/share/tarnwick"

echo "package checks passed: $(basename "$deb")"
