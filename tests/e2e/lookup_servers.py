#!/usr/bin/env python3
"""Loopback stand-ins for the geolocation service and the map tile server, for the end-to-end run.

    lookup_servers.py WORKDIR [--hostile]

Listens on two free ports of 127.0.0.1 and writes "API_PORT TILE_PORT" to WORKDIR/ports once both
listen. Every request path is appended to WORKDIR/api.log or WORKDIR/tiles.log. The geolocation
server answers GET /json/<address>?fields=... with a flat JSON object of a fixed place; the tile
server answers GET /<z>/<x>/<y>.png with a small grey 256 x 256 PNG. Nothing leaves the machine.

--hostile: the lookup of HOSTILE_ADDRESS fails with a 4 MiB message without a space; any other
address lies in the middle of its zoom-10 tile, whose server answers that tile with a red BMP and
the tile west of it with a red PNG cut short (both must stay grey); every other tile is as above.
"""
import http.server
import json
import math
import os
import struct
import sys
import threading
import zlib

WORK = sys.argv[1]

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
CENTRE_TILE = (10, 544, 355)  # zoom, x, y: the place of --hostile answers lies in its middle
if HOSTILE:
    n = 2 ** CENTRE_TILE[0]
    PLACE = dict(PLACE, lon=(CENTRE_TILE[1] + 0.5) / n * 360 - 180,
                 lat=math.degrees(math.atan(math.sinh(math.pi * (1 - 2 * (CENTRE_TILE[2] + 0.5) / n)))))


def bmp(width, height, bgr):
    row = bgr * width + b"\0" * ((4 - 3 * width % 4) % 4)
    pixels = row * height
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def red_png(width, height):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    rows = b"".join(b"\x00" + b"\xff\x00\x00" * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


HOSTILE_TILES = {
    "/%d/%d/%d.png" % CENTRE_TILE: bmp(256, 256, b"\x00\x00\xff"),
    "/%d/%d/%d.png" % (CENTRE_TILE[0], CENTRE_TILE[1] - 1, CENTRE_TILE[2]): red_png(256, 256)[:-200],
}


def log(name, line):
    with lock, open(os.path.join(WORK, name), "a") as f:
        f.write(line + "\n")


class Api(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log("api.log", self.path)
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
