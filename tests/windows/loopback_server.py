#!/usr/bin/env python3
"""Loopback HTTP server on the Linux side for the Windows update-address tests.

Listens on 127.0.0.1 only, on a free port written to the file given as the
first argument, and ends by itself after the time given as the second
argument (seconds) or when its parent test script kills it.
  /ok          200
  /missing     404
  /auth        200 with "Authorization: Basic dXNlcjpwYXNz" (user:pass), else 401
  /away        302 to the same server under the name "localhost" (another host), /seen
  /seen        200 when no Authorization header came, 400 when one did
  /silent      accepts and never answers
  /stall       200 and the start of its body, then nothing more
  /csv         200 with a CSV body and ETag "v1"; 304 when If-None-Match is "v1"
"""
import http.server
import socketserver
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, body=b"x"):
        self.send_response(code)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        auth = self.headers.get("Authorization")
        if self.path == "/ok":
            self.answer(200)
        elif self.path == "/missing":
            self.answer(404)
        elif self.path == "/auth":
            self.answer(200 if auth == "Basic dXNlcjpwYXNz" else 401)
        elif self.path == "/away":
            self.send_response(302)
            self.send_header("Location", "http://localhost:%d/seen" % self.server.server_address[1])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path == "/seen":
            self.answer(400 if auth else 200)
        elif self.path == "/csv":
            if self.headers.get("If-None-Match") == '"v1"':
                self.send_response(304)
                self.end_headers()
                return
            body = b"Date,Close\n2025-12-05,8131.66\n"
            self.send_response(200)
            self.send_header("ETag", '"v1"')
            self.send_header("Last-Modified", "Fri, 05 Dec 2025 17:30:00 GMT")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path == "/silent":
            time.sleep(20)
        elif self.path == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"abc")
            self.wfile.flush()
            time.sleep(20)
        else:
            self.answer(404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as f:
        f.write(str(server.server_address[1]))
    limit = float(sys.argv[2]) if len(sys.argv) > 2 else 600
    threading.Timer(limit, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
