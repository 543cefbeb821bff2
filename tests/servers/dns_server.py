#!/usr/bin/python3
"""A name server for the name lookup tests, on 127.0.0.1 port 53 (UDP).

"nodata.talvenor.test" exists but has no address record (an empty NOERROR
answer); every other name does not exist (NXDOMAIN). Runs until killed.
"""

import socket
import struct

NAMES_WITHOUT_ADDRESS = {"nodata.talvenor.test"}


def answer(query):
    ident, _flags, _qd, _an, _ns, _ar = struct.unpack(">HHHHHH", query[:12])
    pos = 12
    labels = []
    while query[pos] != 0:
        length = query[pos]
        labels.append(query[pos + 1:pos + 1 + length].decode("ascii", "replace"))
        pos += length + 1
    pos += 5  # the root label, QTYPE and QCLASS
    name = ".".join(labels).lower()
    rcode = 0 if name in NAMES_WITHOUT_ADDRESS else 3
    header = struct.pack(">HHHHHH", ident, 0x8180 | rcode, 1, 0, 0, 0)
    return header + query[12:pos]


def main():
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 53))
    while True:
        query, peer = server.recvfrom(512)
        try:
            server.sendto(answer(query), peer)
        except (IndexError, struct.error):
            pass


if __name__ == "__main__":
    main()
