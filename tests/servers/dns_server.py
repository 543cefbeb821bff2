#!/usr/bin/python3
"""A name server for the name lookup tests, on 127.0.0.1 port 53 (UDP).

"nodata.talvenor.test" exists but has no address record (an empty NOERROR
answer); every name under "example.test" has the address 127.0.0.1 (for
the certificate name tests); every other name does not exist (NXDOMAIN).
Runs until killed.
"""

import socket
import struct

NAMES_WITHOUT_ADDRESS = {"nodata.talvenor.test"}
LOCAL_DOMAIN = ".example.test"
TYPE_A = 1


def answer(query):
    ident, _flags, _qd, _an, _ns, _ar = struct.unpack(">HHHHHH", query[:12])
    pos = 12
    labels = []
    while query[pos] != 0:
        length = query[pos]
        labels.append(query[pos + 1:pos + 1 + length].decode("ascii", "replace"))
        pos += length + 1
    qtype = struct.unpack(">H", query[pos + 1:pos + 3])[0]
    pos += 5  # the root label, QTYPE and QCLASS
    name = ".".join(labels).lower()
    if name.endswith(LOCAL_DOMAIN):
        # 127.0.0.1 for A; an empty NOERROR answer for any other type.
        answers = 1 if qtype == TYPE_A else 0
        header = struct.pack(">HHHHHH", ident, 0x8180, 1, answers, 0, 0)
        record = b""
        if answers:
            record = struct.pack(">HHHIH", 0xC00C, TYPE_A, 1, 60, 4) + bytes([127, 0, 0, 1])
        return header + query[12:pos] + record
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
