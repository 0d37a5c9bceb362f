#!/usr/bin/env python3
"""Loopback stand-ins for the geolocation service and the map tile server, for the end-to-end run.

    lookup_servers.py WORKDIR [--silent]

Listens on two free ports of 127.0.0.1 and writes "API_PORT TILE_PORT" to WORKDIR/ports once both
listen. Every request path is appended to WORKDIR/api.log or WORKDIR/tiles.log. The geolocation
server answers GET /json/<address>?fields=... with a flat JSON object of a fixed place; the tile
server answers GET /<z>/<x>/<y>.png with a small grey 256 x 256 PNG. Nothing leaves the machine.
With --silent the geolocation server accepts, reads the request and never answers.
"""
import http.server
import json
import os
import struct
import sys
import threading
import zlib

WORK = sys.argv[1]
SILENT = "--silent" in sys.argv[2:]

PLACE = {
    "status": "success",
    "continent": "Europe",
    "country": "Testland",
    "countryCode": "TL",
    "regionName": "Loopback Region",
    "city": "Loopback City",
    "district": "",
    "zip": "12345",
    "lat": 48.137154,
    "lon": 11.576124,
    "timezone": "Europe/Berlin",
    "currency": "EUR",
    "isp": "E2E Test ISP",
    "org": "E2E Test Org",
    "as": "AS64500 E2E Test",
    "asname": "E2E-TEST",
    "reverse": "host.e2e.test",
    "mobile": False,
    "proxy": False,
    "hosting": True,
}


def png(width, height, grey):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    rows = b"".join(b"\x00" + bytes([grey]) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)  # 8-bit greyscale
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


TILE = png(256, 256, 0xB4)
lock = threading.Lock()


def log(name, line):
    with lock, open(os.path.join(WORK, name), "a") as f:
        f.write(line + "\n")


class Api(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log("api.log", self.path)
        if SILENT:
            threading.Event().wait()
        if not self.path.startswith("/json/"):
            self.send_error(404)
            return
        address = self.path[len("/json/"):].split("?", 1)[0]
        body = json.dumps(dict(PLACE, query=address)).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Tiles(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log("tiles.log", self.path)
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.send_header("Content-Length", str(len(TILE)))
        self.end_headers()
        self.wfile.write(TILE)

    def log_message(self, *args):
        pass


api = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Api)
tiles = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Tiles)
for server in (api, tiles):
    threading.Thread(target=server.serve_forever, daemon=True).start()
with open(os.path.join(WORK, "ports.tmp"), "w") as f:
    f.write("%d %d\n" % (api.server_address[1], tiles.server_address[1]))
os.rename(os.path.join(WORK, "ports.tmp"), os.path.join(WORK, "ports"))
threading.Event().wait()
