#!/bin/sh
# Crawls the sample site of data/demo from a local server and prints the harvest. No internet
# needed. Usage: cli/demo.sh PATH/TO/tarnwick-crawl [SITE_FOLDER]
set -eu

crawler=${1:?usage: demo.sh PATH/TO/tarnwick-crawl}
root=$(cd "$(dirname "$0")/.." && pwd)
site=${2:-$root/data/demo}
tmp=$(mktemp -d)
server_pid=

cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo '{}' > "$tmp/cfg.json"
mkfifo "$tmp/in" "$tmp/out"
# The server ends when its standard input closes, so this script holds it open (fd 4): even a
# killed script cannot leave the server behind.
python3 "$root/tests/server/testserver.py" --config "$tmp/cfg.json" --log "$tmp/log.jsonl" \
    --site "$site" < "$tmp/in" > "$tmp/out" &
server_pid=$!
exec 4> "$tmp/in"

# The server announces its port on its first line; keep reading its output so it never blocks.
exec 3< "$tmp/out"
port=
while read -r word value <&3; do
    if [ "$word" = PORT ]; then
        port=$value
        break
    fi
done
if [ -z "$port" ]; then
    echo "demo.sh: the test server did not start" >&2
    exit 1
fi
cat <&3 > /dev/null &

echo "Crawling the demo site at http://127.0.0.1:$port/ ..." >&2
"$crawler" --types mail,pdf,zip -d 4 --no-proxy "http://127.0.0.1:$port/"
