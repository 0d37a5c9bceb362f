#!/usr/bin/env python3
"""Loopback stand-ins for the geolocation service and the map tile server, for the end-to-end run.

    lookup_servers.py WORKDIR [--silent | --hostile]

Listens on two free ports of 127.0.0.1 and writes "API_PORT TILE_PORT" to WORKDIR/ports once both
listen. Every request path is appended to WORKDIR/api.log or WORKDIR/tiles.log. The geolocation
server answers GET /json/<address>?fields=... with a flat JSON object of a fixed place; the tile
server answers GET /<z>/<x>/<y>.png with a small grey 256 x 256 PNG. Nothing leaves the machine.

--silent: the geolocation server accepts, reads the request and never answers.
--hostile: the lookup of HOSTILE_ADDRESS fails with a 4 MiB message without a space; the place of
any other lies in the middle of a zoom-10 tile, served as a red BMP, and the tile west of it is a
PNG cut in half (both must stay grey); every other tile is as above.
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

HOSTILE = "--hostile" in sys.argv[2:]
HOSTILE_ADDRESS = "93.184.216.35"
if HOSTILE:  # the middle of tile 544/355 at zoom 10: a red BMP there, the tile west of it cut in half
    PLACE = dict(PLACE, lat=48.107431, lon=11.425781)
BMP = b"BM" + struct.pack("<IHHIIiiHHIIiiII", 54 + 3 * 65536, 0, 0, 54, 40, 256, 256, 1, 24, 0, 3 * 65536, 2835,
                          2835, 0, 0) + b"\0\0\xff" * 65536
HOSTILE_TILES = {"/10/544/355.png": BMP, "/10/543/355.png": TILE[:len(TILE) // 2]}


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
        if HOSTILE and address == HOSTILE_ADDRESS:
            body = b'{"status":"fail","message":"' + b"x" * (4 << 20) + b'"}'
        else:
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
        tile = HOSTILE_TILES.get(self.path, TILE) if HOSTILE else TILE
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.send_header("Content-Length", str(len(tile)))
        self.end_headers()
        self.wfile.write(tile)

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
