"""A server for one connection, for the screenshots: "silent" never answers,
"partial" announces a 1 MiB build and sends 40 % of it. It writes the file
READY once it listens and ends when the client has gone (or after 20 s).

Usage: screenshot-server.py PORT silent|partial READY
"""
import socket
import sys

port, mode, ready = int(sys.argv[1]), sys.argv[2], sys.argv[3]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", port))
s.listen(4)
open(ready, "w").close()
c, _ = s.accept()
c.settimeout(20)
try:
    c.recv(65536)
    if mode == "partial":
        size = 1 << 20
        c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size + bytes(size * 2 // 5))
    while c.recv(65536):
        pass
except OSError:
    pass
