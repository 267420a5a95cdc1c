#!/usr/bin/python3
"""The update address's verdict in a one-shot pass, against a loopback server
that misbehaves: only an exchange that ended, with its whole body and a final
status code from 200 to 299, is "Updating ok". The console line, the status
file's update_ok and the exit status must agree.

    update_verdict_test.py [--skip PATH]... PROGRAM [ARGUMENT...]

PROGRAM ARGUMENT... is how the program is started (the Windows build goes
through scripts/wine-exec); "-unique" is added. --skip leaves out the case of
that path, for a client known not to see that fault.
"""
import os
import re
import socket
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading

# A body far larger than both sides' socket buffers: the server cannot have
# sent all of it before the client has read the head.
BIG = 32 * 1024 * 1024


def head(status, *headers):
    return ("HTTP/1.1 %s\r\n%s\r\n" % (status, "".join(h + "\r\n" for h in headers))).encode("latin-1")


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        request = b""
        while b"\r\n\r\n" not in request:
            more = self.request.recv(4096)
            if not more:
                return
            request += more
        path = request.split(b" ")[1].decode()
        s = self.request
        if path == "/reset":
            s.sendall(head("200 OK", "Content-Length: %d" % (2 * BIG)))
            block = b"x" * 65536
            for _ in range(BIG // len(block)):
                s.sendall(block)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif path == "/short":
            s.sendall(head("200 OK", "Content-Length: 1000") + b"abc")
        elif path == "/chunked":
            s.sendall(head("200 OK", "Transfer-Encoding: chunked") + b"5\r\nhello\r\n")
        elif path == "/redirect":
            s.sendall(head("302 Found", "Location: /ok", "Content-Length: 0", "Connection: close"))
        elif path == "/ok":
            s.sendall(head("200 OK", "Content-Length: 2") + b"ok")
        elif path == "/204":
            s.sendall(head("204 No Content"))
        else:  # /NNN REASON: that status with a short body
            s.sendall(head(path[1:].replace("%20", " "), "Content-Length: 2") + b"ok")


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True


# (path, verdict line, update_ok)
CASES = [
    ("/ok", "Updating ok : HTTP/1.1 200 OK", 1),
    ("/redirect", "Updating ok : HTTP/1.1 200 OK", 1),
    ("/204", "Updating ok : HTTP/1.1 204 No Content", 1),
    ("/299%20Fine", "Updating ok : HTTP/1.1 299 Fine", 1),
    ("/reset", "Updating failed : HTTP/1.1 200 OK", 0),
    ("/short", "Updating failed : HTTP/1.1 200 OK", 0),
    ("/chunked", "Updating failed : HTTP/1.1 200 OK", 0),
    ("/500%20Error%20200%20OK", "Updating failed : HTTP/1.1 500 Error 200 OK", 0),
    ("/300%20Multiple%20Choices", "Updating failed : HTTP/1.1 300 Multiple Choices", 0),
    # An informational status is never a final answer: whatever the client
    # makes of it, the update failed.
    ("/199%20Early", "Updating failed : ", 0),
]


def main():
    args, skipped = sys.argv[1:], set()
    while args[0] == "--skip":
        skipped.add(args[1])
        args = args[2:]
    command = [os.path.abspath(args[0])] + args[1:] + ["-unique"]
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    failures = []
    cases = [c for c in CASES if c[0] not in skipped]
    for path, verdict, update_ok in cases:
        with tempfile.TemporaryDirectory(prefix="zkverdict-") as work:
            with open(os.path.join(work, "zkQuoteForge.ini"), "w") as f:
                f.write("INDICEGIF_SERVICE=yes\nINDICEGIF_STATUS_FILE=status.prom\n"
                        "INDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=%s%s\n" % (base, path))
            run = subprocess.run(command, cwd=work, capture_output=True, text=True, timeout=300)
            lines = [l.rstrip("\r") for l in run.stdout.split("\n")]
            said = [l for l in lines if l.startswith("[QuoteForge] : Updating ")]
            with open(os.path.join(work, "status.prom")) as f:
                found = re.search(r'^zkquoteforge_last_pass_update_ok\{step="address"\} (\S+)', f.read(), re.M)
            update = found and float(found.group(1))
            expected = "[QuoteForge] : " + verdict
            told = said == [expected] or (verdict.endswith(": ") and len(said) == 1 and said[0].startswith(expected))
            if not told or update != update_ok or run.returncode != (0 if update_ok else 1):
                failures.append("%s: expected %r, update_ok %d; got %r, update_ok %r, exit %d\n%s"
                                % (path, expected, update_ok, said, update, run.returncode, run.stdout))
    server.shutdown()
    for f in failures:
        print(f)
    if failures:
        sys.exit(1)
    print("update verdict: %d cases, %d left out" % (len(cases), len(CASES) - len(cases)))


if __name__ == "__main__":
    main()
