#!/usr/bin/python3
"""Local HTTP test server for Tarnwick's tests.

Usage: testserver.py --config CONFIG.json --log LOG.jsonl [--tls] [--site DIR] [--addresses N]

Listens on 127.0.0.1 at a free port and prints "PORT <n>" (with --tls first "CA <pem>"); with
--addresses N also on 127.0.0.2 up to 127.0.0.N at that port, each address a host of its own.
Each answer closes its connection, unless the config has "keep_alive": SECONDS; then a request
that asks for it ("Connection: keep-alive") gets an answer of known length that keeps the
connection open for the next request, for at most SECONDS of silence.
Responses are described as data in the config file; every request is appended to the log as one
JSON line before it is answered, so a test that has its response can read what it sent.
Standard library only: it must run with the system's python3 without extra packages.
"""

import argparse
import base64
import gzip
import http
import json
import os
import select
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib

# A request head larger than this is refused; no real client of the tests sends one.
MAX_HEAD_BYTES = 1024 * 1024
# Idle limits, so a client that stalls cannot keep a thread forever.
READ_TIMEOUT = 30.0
WRITE_TIMEOUT = 60.0
# The longest a "hold_until" answer waits for the path it names; a client that never asks for
# it then gets its answer all the same, so a test fails on its result instead of hanging.
HOLD_LIMIT = 30.0

CONTENT_TYPES = {
    ".htm": "text/html",
    ".html": "text/html",
    ".txt": "text/plain",
    ".jpg": "image/jpeg",
    ".jpeg": "image/jpeg",
    ".gif": "image/gif",
    ".png": "image/png",
    ".pdf": "application/pdf",
    ".zip": "application/zip",
    ".mp3": "audio/mpeg",
}

ROUTE_FIELDS = {
    "status": (int,),
    "reason": (str,),
    "content_type": (str, type(None)),
    "headers": (list,),
    "body": (str,),
    "body_repeat": (int,),
    "body_file": (str,),
    "gzip_file": (bool,),
    "encode": (str,),
    "content_length": (bool, int),
    "redirect": (str,),
    "auth": (dict,),
    "delay_before_headers": (int, float),
    "delay_after_headers": (int, float),
    "trickle": (dict,),
    "huge_headers": (int,),
    "endless": (bool,),
    "reset_after": (int,),
    "close_without_response": (bool,),
    "endless_headers": (int, float),
    "before": (list,),
    "hold_until": (str,),
}


class ConfigError(Exception):
    pass


def check_config(config):
    """Refuses unknown or mistyped fields at start, so a typo in a test fails loudly."""
    if not isinstance(config, dict):
        raise ConfigError("the config must be a JSON object")
    for key in config:
        if key not in ("routes", "proxy", "keep_alive"):
            raise ConfigError("unknown config field %r" % key)
    routes = config.get("routes", {})
    if not isinstance(routes, dict):
        raise ConfigError("'routes' must be an object")
    for path, route in routes.items():
        check_route(path, route)
        for earlier in route.get("before", []):
            check_route(path, earlier)
            if "before" in earlier:
                raise ConfigError("route %r: 'before' answers cannot have their own" % path)
    keep_alive = config.get("keep_alive")
    if keep_alive is not None and (not isinstance(keep_alive, (int, float))
                                   or isinstance(keep_alive, bool) or keep_alive <= 0):
        raise ConfigError("'keep_alive' must be a number of seconds above 0")
    proxy = config.get("proxy")
    if proxy is not None and not _is_credentials(proxy):
        raise ConfigError("'proxy' needs user and password strings")


def check_route(path, route):
    """One route, or one of its 'before' answers: the answers given to the first requests of the
    path, in order, before the route's own answer is given to every later one."""
    if not isinstance(route, dict):
        raise ConfigError("route %r must be an object" % path)
    for field, value in route.items():
        if field not in ROUTE_FIELDS:
            raise ConfigError("route %r: unknown field %r" % (path, field))
        if not isinstance(value, ROUTE_FIELDS[field]):
            raise ConfigError("route %r: field %r has the wrong type" % (path, field))
    for pair in route.get("headers", []):
        if (not isinstance(pair, list) or len(pair) != 2
                or not all(isinstance(p, str) for p in pair)):
            raise ConfigError("route %r: headers must be [name, value] pairs" % path)
    if route.get("encode", "gzip") not in ("gzip", "deflate"):
        raise ConfigError("route %r: encode must be gzip or deflate" % path)
    if "body_file" in route and not os.path.isfile(route["body_file"]):
        raise ConfigError("route %r: body_file %r is missing" % (path, route["body_file"]))
    trickle = route.get("trickle")
    if trickle is not None:
        if not isinstance(trickle.get("bytes"), int) or trickle["bytes"] < 1:
            raise ConfigError("route %r: trickle needs bytes >= 1" % path)
        if not isinstance(trickle.get("interval", 0), (int, float)):
            raise ConfigError("route %r: trickle interval must be a number" % path)
    if route.get("endless_headers", 0) < 0:
        raise ConfigError("route %r: endless_headers must not be negative" % path)
    auth = route.get("auth")
    if auth is not None and not _is_credentials(auth):
        raise ConfigError("route %r: auth needs user and password strings" % path)


def _is_credentials(value):
    return (isinstance(value, dict) and isinstance(value.get("user"), str)
            and isinstance(value.get("password"), str))


def basic_matches(header_value, credentials):
    """True when an (Proxy-)Authorization value carries exactly these Basic credentials."""
    if header_value is None:
        return False
    scheme, _, token = header_value.strip().partition(" ")
    if scheme.lower() != "basic":
        return False
    try:
        decoded = base64.b64decode(token.strip(), validate=True)
    except ValueError:
        return False
    expected = (credentials["user"] + ":" + credentials["password"]).encode("latin-1")
    return decoded == expected


def make_tls_files(folder):
    """Creates a throw-away CA and a server certificate for 127.0.0.1 and localhost."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    # EC keys: generated in milliseconds, which keeps test start-up quick.
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Tarnwick Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-new", *ec, "-keyout", "server.key", "-out", "server.csr",
        "-subj", "/CN=127.0.0.1")
    with open(os.path.join(folder, "server.ext"), "w") as ext:
        ext.write("basicConstraints=CA:FALSE\n"
                  "keyUsage=critical,digitalSignature,keyEncipherment\n"
                  "extendedKeyUsage=serverAuth\n"
                  "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                  "subjectKeyIdentifier=hash\n"
                  "authorityKeyIdentifier=keyid\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-set_serial", str(int(time.time() * 1000)), "-days", "2",
        "-extfile", "server.ext", "-out", "server.pem")
    return (os.path.join(folder, "ca.pem"), os.path.join(folder, "server.pem"),
            os.path.join(folder, "server.key"))


class Request:
    def __init__(self):
        self.method = ""
        self.target = ""
        self.version = ""
        self.header_list = []  # (name, value) as received, in order
        self.headers = {}  # lower-case name -> value (repeated names joined with ", ")
        self.body = b""
        self.connection = 0  # number of the connection that carried it
        self.keep_alive = False  # the connection stays open after the answer

    def header(self, name):
        return self.headers.get(name.lower())


class ClientGone(Exception):
    """The client closed or broke the connection; nothing more can be sent."""


class Connection:
    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def read_more(self):
        data = self.sock.recv(65536)
        if not data:
            raise ClientGone()
        self.buffer += data

    def read_head(self):
        while b"\r\n\r\n" not in self.buffer and b"\n\n" not in self.buffer:
            if len(self.buffer) > MAX_HEAD_BYTES:
                raise ClientGone()
            self.read_more()
        crlf = self.buffer.find(b"\r\n\r\n")
        lf = self.buffer.find(b"\n\n")
        if crlf >= 0 and (lf < 0 or crlf < lf):
            head, self.buffer = self.buffer[:crlf], self.buffer[crlf + 4:]
        else:
            head, self.buffer = self.buffer[:lf], self.buffer[lf + 2:]
        return head.decode("latin-1")

    def read_exact(self, count):
        while len(self.buffer) < count:
            self.read_more()
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data

    def read_line(self):
        while b"\n" not in self.buffer:
            if len(self.buffer) > MAX_HEAD_BYTES:
                raise ClientGone()
            self.read_more()
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.rstrip(b"\r")

    def read_chunked(self):
        body = b""
        while True:
            size_text = self.read_line().split(b";")[0].strip()
            size = int(size_text, 16)
            if size == 0:
                while self.read_line():  # trailer lines up to the empty one
                    pass
                return body
            body += self.read_exact(size)
            self.read_line()

    def send(self, data):
        try:
            self.sock.sendall(data)
        except OSError as error:
            raise ClientGone() from error


def parse_request(conn):
    request = Request()
    lines = conn.read_head().replace("\r\n", "\n").split("\n")
    while lines and not lines[0]:  # stray empty lines before a request are allowed
        lines.pop(0)
    if not lines:
        raise ClientGone()
    parts = lines[0].split()
    request.method = parts[0] if parts else ""
    request.target = parts[1] if len(parts) > 1 else ""
    request.version = parts[2] if len(parts) > 2 else ""
    for line in lines[1:]:
        if line[:1] in (" ", "\t") and request.header_list:
            name, value = request.header_list[-1]
            request.header_list[-1] = (name, value + " " + line.strip())
            continue
        name, colon, value = line.partition(":")
        if colon:
            request.header_list.append((name.strip(), value.strip()))
    for name, value in request.header_list:
        key = name.lower()
        request.headers[key] = (request.headers[key] + ", " + value
                                if key in request.headers else value)
    # Read whatever body the client sends, so it never sees a reset for unread data.
    if "100-continue" in (request.header("expect") or "").lower():
        conn.send(b"HTTP/1.1 100 Continue\r\n\r\n")
    if "chunked" in (request.header("transfer-encoding") or "").lower():
        request.body = conn.read_chunked()
    else:
        try:
            length = int(request.header("content-length") or "0")
        except ValueError:
            length = 0
        if length > 0:
            request.body = conn.read_exact(length)
    return request


def reason_for(status):
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Unknown"


def small_page(status, text):
    return ("<html><head><title>%d %s</title></head><body><h1>%s</h1></body></html>\n"
            % (status, text, text)).encode("latin-1")


class Server:
    def __init__(self, config, log_path, site_dir, tls_context):
        self.routes = config.get("routes", {})
        self.route_hits = {}
        self.proxy_credentials = config.get("proxy")
        self.keep_alive_idle = config.get("keep_alive")
        self.connection_count = 0
        self.count_lock = threading.Lock()
        self.site_dir = os.path.realpath(site_dir) if site_dir else None
        self.tls_context = tls_context
        self.log_lock = threading.Lock()
        self.log_file = open(log_path, "ab")
        # Paths requested so far, for answers held until another path was asked for.
        self.requested = set()
        self.requested_changed = threading.Condition()
        self.stopping = threading.Event()
        self.wake_read, self.wake_write = os.pipe()

    # ---- logging ----

    def log(self, request, path, query, proxy, route):
        entry = {
            "method": request.method,
            "target": request.target,
            "path": path,
            "query": query,
            "version": request.version,
            "headers": request.headers,
            "proxy": proxy,
            "route": route,
            "connection": request.connection,
            "time": time.time(),
            "body": request.body.decode("latin-1"),
        }
        # ASCII JSON: bytes 128..255 become \u00XX, read back as Latin-1 by the tests.
        line = (json.dumps(entry, ensure_ascii=True) + "\n").encode("ascii")
        with self.log_lock:
            self.log_file.write(line)
            self.log_file.flush()
        with self.requested_changed:
            self.requested.add(path)
            self.requested_changed.notify_all()

    # ---- connections ----

    def handle(self, raw_sock):
        sock = raw_sock
        with self.count_lock:
            self.connection_count += 1
            number = self.connection_count
        try:
            raw_sock.settimeout(READ_TIMEOUT)
            if self.tls_context is not None:
                try:
                    sock = self.tls_context.wrap_socket(raw_sock, server_side=True)
                except (OSError, ssl.SSLError):
                    return  # failed handshakes are not requests
            conn = Connection(sock)
            while True:
                request = parse_request(conn)
                request.connection = number
                sock.settimeout(WRITE_TIMEOUT)
                if request.method.upper() == "CONNECT":
                    self.tunnel(conn, request)
                elif request.target.lower().startswith(("http://", "https://")):
                    self.forward(conn, request)
                else:
                    request.keep_alive = (
                        self.keep_alive_idle is not None
                        and "keep-alive" in (request.header("connection") or "").lower())
                    self.answer(conn, request)
                if not request.keep_alive:
                    break
                sock.settimeout(self.keep_alive_idle)
        except (ClientGone, OSError, ValueError):
            pass
        except Exception as error:  # a fault of this script: say so, keep serving others
            print("testserver: %s: %r" % (type(error).__name__, error), file=sys.stderr)
        finally:
            try:
                sock.close()
            except OSError:
                pass

    def answer(self, conn, request):
        path, _, query = request.target.partition("?")
        path = path.partition("#")[0]
        key = None
        if query and request.target in self.routes:
            key = request.target
        elif path in self.routes:
            key = path
        self.log(request, path, query, False, key)
        if key is None:
            self.serve_site(conn, request, path)
            return
        route = self.routes[key]
        with self.count_lock:
            hits = self.route_hits.get(key, 0)
            self.route_hits[key] = hits + 1
        earlier = route.get("before", [])
        self.serve_route(conn, request, earlier[hits] if hits < len(earlier) else route)

    def send_simple(self, conn, request, status, extra_headers=(), body=b"",
                    content_type="text/html"):
        head = ["HTTP/1.0 %d %s" % (status, reason_for(status))]
        if content_type is not None:
            head.append("Content-Type: " + content_type)
        head.append("Content-Length: %d" % len(body))
        head.extend("%s: %s" % pair for pair in extra_headers)
        head.append("Connection: keep-alive" if request.keep_alive else "Connection: close")
        data = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1")
        if request.method.upper() != "HEAD":
            data += body
        conn.send(data)

    # ---- described responses ----

    def serve_route(self, conn, request, route):
        # Held until the client has asked for another path: an order of answers without timing.
        hold = route.get("hold_until")
        if hold is not None:
            with self.requested_changed:
                self.requested_changed.wait_for(lambda: hold in self.requested, HOLD_LIMIT)
        delay = route.get("delay_before_headers", 0)
        if delay > 0:
            time.sleep(delay)
        if route.get("close_without_response"):
            request.keep_alive = False
            return
        auth = route.get("auth")
        if auth is not None and not basic_matches(request.header("authorization"), auth):
            self.send_simple(conn, request, 401, [("WWW-Authenticate", 'Basic realm="test"')],
                             small_page(401, "Unauthorized"))
            return

        redirect = route.get("redirect")
        status = route.get("status", 302 if redirect is not None else 200)
        reason = route.get("reason", reason_for(status))
        body = route.get("body", "").encode("latin-1")
        if "body_file" in route:
            with open(route["body_file"], "rb") as f:
                body = f.read()
        # "@ORIGIN@" in a body is the server as the client named it: absolute URLs (sitemaps)
        # without knowing the port in advance.
        host = request.header("host")
        if host:
            origin = ("https://" if self.tls_context else "http://") + host
            body = body.replace(b"@ORIGIN@", origin.encode("latin-1"))
        repeat = max(0, route.get("body_repeat", 1))
        if route.get("gzip_file"):
            # A .gz file as such, not a content coding: no Content-Encoding header.
            body, repeat = compress(body * repeat, "gzip"), 1
        endless = route.get("endless", False)
        head_only = request.method.upper() == "HEAD"

        head = ["HTTP/1.0 %d %s" % (status, reason)]
        content_type = route.get("content_type", "text/html")
        if content_type is not None:
            head.append("Content-Type: " + content_type)
        encoding = route.get("encode")
        if encoding is not None:
            # Compressed whether or not the client asked for it, as some servers do.
            body, repeat = compress(body * repeat, encoding), 1
            head.append("Content-Encoding: " + encoding)
        # An endless body has no length unless a test asks for a (wrong) one.
        length_setting = route.get("content_length", not endless)
        if length_setting is True:
            head.append("Content-Length: %d" % (len(body) * repeat))
        elif length_setting is not False:
            head.append("Content-Length: %d" % length_setting)
        if redirect is not None:
            head.append("Location: " + redirect)
        head.extend("%s: %s" % (name, value) for name, value in route.get("headers", []))
        head.extend(filler_headers(route.get("huge_headers", 0)))
        # Only an answer whose end the client can tell may leave the connection open.
        if length_setting is not True or endless or "endless_headers" in route:
            request.keep_alive = False
        head.append("Connection: keep-alive" if request.keep_alive else "Connection: close")
        endless_headers = route.get("endless_headers")
        if endless_headers is not None:
            # Headers that never end: one more line every endless_headers seconds, so the
            # client keeps receiving bytes and only its own deadline can stop it.
            conn.send(("\r\n".join(head) + "\r\n").encode("latin-1"))
            number = 0
            while True:
                number += 1
                conn.send(b"X-Endless-%d: more\r\n" % number)
                time.sleep(endless_headers)
        conn.send(("\r\n".join(head) + "\r\n\r\n").encode("latin-1"))

        delay = route.get("delay_after_headers", 0)
        if delay > 0:
            time.sleep(delay)
        if head_only:
            return
        BodySender(conn, route).run(body, repeat, endless)

    # ---- files of --site ----

    def serve_site(self, conn, request, path):
        file_name = self.site_file(path) if self.site_dir else None
        if file_name is None:
            self.send_simple(conn, request, 404, body=small_page(404, "Not Found"))
            return
        try:
            with open(file_name, "rb") as f:
                data = f.read()
        except OSError:
            self.send_simple(conn, request, 404, body=small_page(404, "Not Found"))
            return
        extension = os.path.splitext(file_name)[1].lower()
        # A file compressed beforehand beside the page is sent instead, when the client takes
        # its coding (like gzip_static): brotli and zstd bodies are made by tools, not here.
        coding = precompressed(file_name, request.header("accept-encoding") or "")
        extra = ()
        if coding is not None:
            with open(file_name + PRECOMPRESSED[coding], "rb") as f:
                data = f.read()
            extra = [("Content-Encoding", coding), ("Vary", "Accept-Encoding")]
        self.send_simple(conn, request, 200, extra_headers=extra, body=data,
                         content_type=CONTENT_TYPES.get(extension, "application/octet-stream"))

    def site_file(self, path):
        """The file for a request path inside the site folder, or None (never outside it)."""
        decoded = urllib.parse.unquote_to_bytes(path)
        if b"\0" in decoded or b"\\" in decoded or not decoded.startswith(b"/"):
            return None
        parts = [p for p in decoded.split(b"/") if p]
        if any(p in (b".", b"..") for p in parts):
            return None
        base = os.path.join(os.fsencode(self.site_dir), *parts)
        candidates = ([os.path.join(base, b"index.htm"), os.path.join(base, b"index.html")]
                      if decoded.endswith(b"/") else [base])
        root = os.fsencode(self.site_dir)
        for candidate in candidates:
            # Symbolic links must not lead out of the site either.
            real = os.path.realpath(candidate)
            if (real == root or real.startswith(root + b"/")) and os.path.isfile(real):
                return os.fsdecode(real)
        return None

    # ---- proxy ----

    def proxy_allowed(self, conn, request):
        credentials = self.proxy_credentials
        if credentials is None or basic_matches(request.header("proxy-authorization"),
                                                credentials):
            return True
        self.send_simple(conn, request, 407, [("Proxy-Authenticate", 'Basic realm="proxy"')],
                         small_page(407, "Proxy Authentication Required"))
        return False

    def forward(self, conn, request):
        parts = urllib.parse.urlsplit(request.target)
        path = parts.path or "/"
        self.log(request, path, parts.query, True, None)
        if not self.proxy_allowed(conn, request):
            return
        try:
            port = parts.port or (443 if parts.scheme.lower() == "https" else 80)
            host = parts.hostname or ""
        except ValueError:
            self.send_simple(conn, request, 400, body=small_page(400, "Bad Request"))
            return
        origin_form = path + ("?" + parts.query if parts.query else "")
        head = ["%s %s HTTP/1.0" % (request.method, origin_form)]
        dropped = ("proxy-authorization", "proxy-connection", "connection")
        head.extend("%s: %s" % (name, value) for name, value in request.header_list
                    if name.lower() not in dropped)
        head.append("Connection: close")
        data = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + request.body
        try:
            upstream = socket.create_connection((host, port), timeout=READ_TIMEOUT)
        except OSError:
            self.send_simple(conn, request, 502, body=small_page(502, "Bad Gateway"))
            return
        with upstream:
            upstream.sendall(data)
            while True:
                chunk = upstream.recv(65536)
                if not chunk:
                    break
                conn.send(chunk)

    def tunnel(self, conn, request):
        self.log(request, request.target, "", True, None)
        if not self.proxy_allowed(conn, request):
            return
        host, _, port = request.target.rpartition(":")
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)),
                                                timeout=READ_TIMEOUT)
        except (OSError, ValueError):
            self.send_simple(conn, request, 502, body=small_page(502, "Bad Gateway"))
            return
        with upstream:
            conn.send(b"HTTP/1.0 200 Connection established\r\n\r\n")
            if conn.buffer:
                upstream.sendall(conn.buffer)
            relay(conn.sock, upstream)

    # ---- main loop ----

    def stop(self):
        # Safe from a signal handler and from any thread: the pipe wakes the accept loop.
        self.stopping.set()
        try:
            os.write(self.wake_write, b"x")
        except OSError:
            pass

    def serve(self, listeners):
        while not self.stopping.is_set():
            readable, _, _ = select.select(listeners + [self.wake_read], [], [])
            for listener in listeners:
                if listener not in readable:
                    continue
                try:
                    client, _ = listener.accept()
                except OSError:
                    continue
                threading.Thread(target=self.handle, args=(client,), daemon=True).start()


class BodySender:
    """Sends a route's body with its pacing, length cut and abrupt end."""

    def __init__(self, conn, route):
        self.conn = conn
        trickle = route.get("trickle")
        self.piece = trickle["bytes"] if trickle else None
        self.interval = trickle.get("interval", 0) if trickle else 0
        self.reset_after = route.get("reset_after")
        self.sent = 0

    def run(self, body, repeat, endless):
        for _ in range(repeat):
            self.send(body)
        if endless:
            filler = b"<!-- filler -->\n" * 1024
            while True:
                self.send(filler)

    def send(self, data):
        while data:
            size = self.piece or 65536
            if self.reset_after is not None:
                size = min(size, self.reset_after - self.sent)
                if size <= 0:
                    self.reset()
            piece, data = data[:size], data[size:]
            self.conn.send(piece)
            self.sent += len(piece)
            if self.piece and self.interval > 0:
                time.sleep(self.interval)
        if self.reset_after is not None and self.sent >= self.reset_after:
            self.reset()

    def reset(self):
        # Give the bytes already written time to reach the client: a reset discards what is
        # still queued, and the test wants exactly reset_after bytes to arrive.
        time.sleep(0.2)
        sock = self.conn.sock
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        if isinstance(sock, ssl.SSLSocket):
            # Closing the TLS layer would send close_notify first; reset the TCP socket below.
            sock = socket.socket(fileno=sock.detach())
        sock.close()
        raise ClientGone()


PRECOMPRESSED = {"br": ".br", "zstd": ".zst", "gzip": ".gz"}


def accepted_codings(accept_encoding):
    """The codings of an Accept-Encoding value that are not refused with q=0."""
    codings = set()
    for item in accept_encoding.split(","):
        name, _, params = item.strip().partition(";")
        if params.replace(" ", "").lower() not in ("q=0", "q=0.0", "q=0.00", "q=0.000"):
            codings.add(name.strip().lower())
    return codings


def precompressed(file_name, accept_encoding):
    """The coding of a file compressed beforehand that the client accepts, best first."""
    accepted = accepted_codings(accept_encoding)
    for coding, suffix in PRECOMPRESSED.items():
        if coding in accepted and os.path.isfile(file_name + suffix):
            return coding
    return None


def compress(data, coding):
    if coding == "gzip":
        return gzip.compress(data, mtime=0)
    return zlib.compress(data)  # "deflate" is the zlib format (RFC 9110)


def filler_headers(total):
    """Header lines of about `total` bytes (counting CR LF), none longer than 1000 bytes."""
    lines = []
    remaining = total
    number = 1
    while remaining > 0:
        size = min(1000, remaining)
        if 0 < remaining - size < 40:
            size = remaining - 40  # leave room for a last line that still has a name
        name = "X-Filler-%d: " % number
        value_size = max(0, size - len(name) - 2)
        lines.append(name + "a" * value_size)
        remaining -= len(name) + value_size + 2
        number += 1
    return lines


def relay(a, b):
    """Copies bytes both ways until both sides have finished sending."""
    open_sides = {a: b, b: a}
    while open_sides:
        readable, _, _ = select.select(list(open_sides), [], [], READ_TIMEOUT)
        if not readable:
            return
        for source in readable:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            target = open_sides[source]
            if data:
                try:
                    target.sendall(data)
                except OSError:
                    return
            else:
                del open_sides[source]
                try:
                    target.shutdown(socket.SHUT_WR)
                except OSError:
                    pass


def watch_stdin(stop):
    # The launching test holds our stdin; when it ends, even by a crash, the pipe closes.
    try:
        while os.read(0, 4096):
            pass
    except OSError:
        pass
    stop()


def main():
    parser = argparse.ArgumentParser(description="Local HTTP test server")
    parser.add_argument("--config", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--site")
    parser.add_argument("--addresses", type=int, default=1,
                        help="also listen at 127.0.0.2 up to 127.0.0.N on the same port, so that "
                             "each address is a host (a site) of its own")
    args = parser.parse_args()

    try:
        with open(args.config, "rb") as f:
            config = json.loads(f.read().decode("utf-8"))
        check_config(config)
    except (OSError, ValueError, ConfigError) as error:
        print("testserver: bad config: %s" % error, file=sys.stderr)
        return 2
    if args.site and not os.path.isdir(args.site):
        print("testserver: --site is not a folder: %s" % args.site, file=sys.stderr)
        return 2

    temp_dir = None
    try:
        tls_context = None
        ca_file = None
        if args.tls:
            temp_dir = tempfile.mkdtemp(prefix="tarnwick-tls-")
            try:
                ca_file, cert, key = make_tls_files(temp_dir)
            except (OSError, subprocess.CalledProcessError) as error:
                detail = getattr(error, "stderr", b"") or b""
                print("testserver: openssl failed: %s %s"
                      % (error, detail.decode("latin-1")), file=sys.stderr)
                return 2
            tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            tls_context.load_cert_chain(cert, key)

        server = Server(config, args.log, args.site, tls_context)
        signal.signal(signal.SIGTERM, lambda *_: server.stop())
        signal.signal(signal.SIGINT, lambda *_: server.stop())
        threading.Thread(target=watch_stdin, args=(server.stop,), daemon=True).start()

        listeners = []
        port = 0
        for number in range(1, max(1, min(args.addresses, 254)) + 1):
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.bind(("127.0.0.%d" % number, port))
            listener.listen(128)
            port = listener.getsockname()[1]
            listeners.append(listener)
        if ca_file:
            print("CA %s" % ca_file, flush=True)
        print("PORT %d" % port, flush=True)
        server.serve(listeners)
        for listener in listeners:
            listener.close()
        with server.log_lock:
            server.log_file.close()
        return 0
    finally:
        if temp_dir:
            shutil.rmtree(temp_dir, ignore_errors=True)


if __name__ == "__main__":
    code = main()
    sys.stdout.flush()
    sys.stderr.flush()
    # Connection threads may still sit in a blocking call; end without waiting for them.
    os._exit(code)
