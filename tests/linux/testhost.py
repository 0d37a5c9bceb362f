#!/usr/bin/env python3
"""The test host of the kernel tests, run in the test namespace by testnet.sh: echoes UDP datagrams
sent to 198.18.0.2 port 7 and answers ICMP echo requests 40 ms late from a raw socket (the
namespace's own answers are off). Creates the file named by its argument once it listens."""
import heapq, select, socket, struct, sys, time


def checksum(data):
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data + b"\0" * (len(data) % 2)))
    total = (total & 0xFFFF) + (total >> 16)
    return ~(total + (total >> 16)) & 0xFFFF


udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("198.18.0.2", 7))
icmp = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
SO_TIMESTAMPNS = 35
icmp.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
open(sys.argv[1], "w").close()
due = []  # (time to answer, reply, address), soonest first
while True:
    readable, _, _ = select.select([udp, icmp], [], [], max(0, due[0][0] - time.monotonic()) if due else None)
    if udp in readable:
        data, sender = udp.recvfrom(65535)
        udp.sendto(data, sender)
    if icmp in readable:
        packet, ancillary, _, sender = icmp.recvmsg(65535, 64)
        late = 0.0  # counted from the kernel's arrival time: a late wake-up on a busy machine is not added
        for level, kind, data in ancillary:
            if (level, kind) == (socket.SOL_SOCKET, SO_TIMESTAMPNS):
                seconds, nanoseconds = struct.unpack("qq", data[:16])
                late = time.time() - (seconds + nanoseconds / 1e9)
        message = packet[(packet[0] & 0x0F) * 4:]
        if len(message) >= 8 and message[:2] == b"\x08\x00":
            reply = b"\0\0\0\0" + message[4:]
            reply = reply[:2] + struct.pack("!H", checksum(reply)) + reply[4:]
            heapq.heappush(due, (time.monotonic() + 0.040 - late, reply, sender[0]))
    while due and due[0][0] <= time.monotonic():
        _, reply, address = heapq.heappop(due)
        icmp.sendto(reply, (address, 0))
