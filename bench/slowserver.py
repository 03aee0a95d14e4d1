#!/usr/bin/python3
"""A static file server that waits before every response, standing in for a real network.

Usage: slowserver.py --root DIR --port PORT --delay-ms 50 --log FILE

Listens on 127.0.0.1, one thread per connection, HTTP/1.1 with keep-alive (HTTP/1.0 clients
get one response per connection unless they ask for keep-alive). Like production servers it
sends without Nagle's delay: the head and the body go out as two writes, and on a kept-alive
connection Nagle would hold the body until the client's delayed acknowledgement (40 ms on
Linux), which is the server's artefact, not the network's. Each request waits delay-ms before its answer and is logged
as "STATUS PATH" on one line of FILE once answered. Ends on SIGTERM or SIGINT.
"""

import argparse
import http.server
import os
import signal
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

CONTENT_TYPES = {
    ".html": "text/html",
    ".htm": "text/html",
    ".jpg": "image/jpeg",
    ".pdf": "application/pdf",
    ".zip": "application/zip",
    ".mp3": "audio/mpeg",
    ".doc": "application/msword",
    ".json": "application/json",
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "slowserver"

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, *args):
        pass  # the request log below is the only one wanted

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def answer(self, with_body):
        self.server.arrived(self.path)
        time.sleep(self.server.delay)
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if path.endswith("/"):
            path += "index.html"
        full = os.path.realpath(os.path.join(self.server.root, path.lstrip("/")))
        data = None
        # Nothing outside the root is served, whatever the path says.
        if full.startswith(self.server.root + os.sep) and os.path.isfile(full):
            with open(full, "rb") as f:
                data = f.read()
        status = 200 if data is not None else 404
        if data is None:
            data = b"<html><body>not found</body></html>"
        ctype = CONTENT_TYPES.get(os.path.splitext(full)[1].lower(), "application/octet-stream")
        if status == 404:
            ctype = "text/html"
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        try:
            if with_body:
                self.wfile.write(data)
        except (BrokenPipeError, ConnectionResetError):
            return  # the client is gone
        self.server.log(status, self.path)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, address, root, delay, log_path, arrivals_path=None):
        super().__init__(address, Handler)
        self.arrivals_file = open(arrivals_path, "a", buffering=1) if arrivals_path else None
        self.root = os.path.realpath(root)
        self.delay = delay
        self.lock = threading.Lock()
        self.log_file = open(log_path, "a", buffering=1)

    def arrived(self, path):
        # Requests as they arrive, also those whose client is gone before the answer.
        if self.arrivals_file:
            with self.lock:
                self.arrivals_file.write(path + "\n")

    def log(self, status, path):
        with self.lock:
            self.log_file.write("%d %s\n" % (status, path))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, default=50.0)
    parser.add_argument("--log", required=True)
    parser.add_argument("--arrivals", help="also log each request's path when it arrives")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), args.root, args.delay_ms / 1000.0, args.log,
                    args.arrivals)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print("READY", flush=True)
    try:
        server.serve_forever()
    except (KeyboardInterrupt, SystemExit):
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
