#!/usr/bin/env python3
"""A proxy that only records: every request it gets is logged as "METHOD TARGET HOST" and
answered with a small page, so that a test can tell which proxy a browser chose.

Usage: recording_proxy.py PORT_FILE LOG_FILE [LIFETIME_SECONDS]
Listens on 127.0.0.1 only, on a port the system picks (written to PORT_FILE), and ends by
itself after LIFETIME_SECONDS (default 300).
"""
import socket
import socketserver
import sys
import threading
import time


class Recorder(socketserver.StreamRequestHandler):
    timeout = 5

    def handle(self):
        try:
            request = self.rfile.readline(8192).decode("latin-1").strip()
            host = ""
            for _ in range(100):
                line = self.rfile.readline(8192).decode("latin-1").strip()
                if not line:
                    break
                name, _, value = line.partition(":")
                if name.lower() == "host":
                    host = value.strip()
        except (OSError, UnicodeError):
            return
        if not request:
            return
        method, _, rest = request.partition(" ")
        target = rest.rpartition(" ")[0] or rest
        with self.server.lock, open(self.server.log, "a") as log:
            log.write(f"{method} {target} {host}\n")
        body = b"<html><body>recorded</body></html>"
        self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                         + str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port_file, log_file = sys.argv[1], sys.argv[2]
    lifetime = float(sys.argv[3]) if len(sys.argv) > 3 else 300
    server = Server(("127.0.0.1", 0), Recorder)
    server.log = log_file
    server.lock = threading.Lock()
    open(log_file, "a").close()
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.replace(port_file + ".tmp", port_file)
    deadline = time.monotonic() + lifetime
    server.timeout = 0.5
    while time.monotonic() < deadline:
        server.handle_request()


if __name__ == "__main__":
    main()
