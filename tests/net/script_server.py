"""A scriptable HTTP server on 127.0.0.1 (or HOST, "::1" say) for the network tests.

usage: script_server.py SCRIPT LOG [HOST]

SCRIPT holds responses, each as a header line "<target> <length> [flags]"
followed by <length> raw bytes. Requests for a target get its responses in
turn (the last one repeats); unknown targets get a 404. "{port}" in a
response becomes the server's port. Flags: "bytewise" sends one byte at a
time, "keep" keeps the connection open for the next request.

Every request is appended to LOG as "<connection> <length>\\n<raw bytes>".
The port is printed as "PORT <n>" once listening; the server ends when its
standard input closes.
"""

import os
import socket
import sys
import threading
import time


def load_script(path):
    routes = {}
    with open(path, "rb") as f:
        data = f.read()
    pos = 0
    while pos < len(data):
        nl = data.index(b"\n", pos)
        words = data[pos:nl].decode("latin-1").split(" ")
        pos = nl + 1
        target, length, flags = words[0], int(words[1]), set(words[2:])
        routes.setdefault(target, []).append((data[pos:pos + length], flags))
        pos += length
    return routes


class Server:
    def __init__(self, script, log_path, host):
        self.routes = script
        self.served = {}
        self.lock = threading.Lock()
        self.log = open(log_path, "ab")
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        self.listener = socket.socket(family, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((host, 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.connections = 0

    def pick(self, target):
        with self.lock:
            answers = self.routes.get(target)
            if not answers:
                return (b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", set())
            n = self.served.get(target, 0)
            self.served[target] = n + 1
            return answers[min(n, len(answers) - 1)]

    def record(self, connection, request):
        with self.lock:
            self.log.write(b"%d %d\n" % (connection, len(request)) + request)
            self.log.flush()

    def handle(self, conn, connection):
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        buf = b""
        try:
            while True:
                while b"\r\n\r\n" not in buf:
                    chunk = conn.recv(65536)
                    if not chunk:
                        return
                    buf += chunk
                end = buf.index(b"\r\n\r\n") + 4
                head, buf = buf[:end], buf[end:]
                length = 0
                for line in head.split(b"\r\n")[1:]:
                    if line.lower().startswith(b"content-length:"):
                        length = int(line.split(b":", 1)[1])
                while len(buf) < length:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    buf += chunk
                body, buf = buf[:length], buf[length:]
                self.record(connection, head + body)
                target = head.split(b" ")[1].decode("latin-1")
                raw, flags = self.pick(target)
                raw = raw.replace(b"{port}", str(self.port).encode())
                if "bytewise" in flags:
                    for i in range(len(raw)):
                        conn.sendall(raw[i:i + 1])
                        time.sleep(0.001)
                else:
                    conn.sendall(raw)
                if "keep" not in flags:
                    conn.shutdown(socket.SHUT_WR)
                    return
        except OSError:
            pass
        finally:
            conn.close()

    def serve(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self.handle, args=(conn, self.connections), daemon=True).start()


def main():
    host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
    server = Server(load_script(sys.argv[1]), sys.argv[2], host)
    threading.Thread(target=server.serve, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.port)
    sys.stdout.flush()
    sys.stdin.read()
    os._exit(0)


if __name__ == "__main__":
    main()
