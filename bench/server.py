#!/usr/bin/env python3
"""The benchmarks' update server on 127.0.0.1: serves one file fast enough not
to be what is measured (sendfile, a thread per connection), and a path that
accepts and never answers.

Usage: server.py PORT BODY_FILE|--silent
  GET /soft/tarnwick/tarnwick.jpg  -> 200, BODY_FILE
  GET /soft/tarnwick/s_ver.txt     -> 200, "2.0"
  with --silent, every request     -> no answer, the connection held open
"""
import os
import socket
import sys
import threading
import time

port, body_path = int(sys.argv[1]), sys.argv[2]
silent = body_path == "--silent"


def serve(conn):
    with conn:
        head = b""
        while b"\r\n\r\n" not in head:
            data = conn.recv(4096)
            if not data:
                return
            head += data
        path = head.split(b" ", 2)[1].decode()
        if silent:
            while conn.recv(4096):
                pass
            return
        if path.endswith("/s_ver.txt"):
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n2.0")
            return
        size = os.path.getsize(body_path)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % size)
        with open(body_path, "rb") as body:
            offset = 0
            while offset < size:
                offset += os.sendfile(conn.fileno(), body.fileno(), offset, size - offset)


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(16)
while True:
    connection, _ = listener.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
