#!/usr/bin/env python3
"""Writes the seed inputs of server_fuzz from the request frames of the documented examples.

Layout of an input: 4 setting bytes, then chunks [control][length][bytes] (see server_fuzz.cpp).
Run from anywhere; the files go to fuzz/seeds/server/.
"""
import pathlib

OUT = pathlib.Path(__file__).resolve().parent / "seeds" / "server"

def frame(hexes):
    return bytes.fromhex(hexes)

def data(frame_bytes, connection=1):
    return bytes([0 if connection == 1 else 1, len(frame_bytes)]) + frame_bytes

def op(code, connection=1):
    return bytes([(code << 1) | (0 if connection == 1 else 1), 0])

FC3 = frame("00 01 00 00 00 06 01 03 00 00 00 02")
SEEDS = {
    "fc3": (b"\x80\0\0\0", data(FC3)),
    "fc3_wrong_ti": (b"\x82\0\0\0", data(frame("12 AD 00 00 00 06 01 03 00 00 00 02"))),
    "fc3_all_header_faults": (b"\x8e\0\0\0", data(FC3)),
    "fc6_offset": (b"\x01\0\0\0", data(frame("00 06 00 00 00 06 01 06 00 0A 12 34"))),
    "fc6_forced_4": (b"\x10\3\0\0", data(frame("00 06 00 00 00 06 01 06 00 0A 12 34"))),
    "fc22": (b"\0\0\0\0", data(frame("00 16 00 00 00 08 01 16 00 05 00 F2 00 25"))),
    "fc23": (b"\0\0\0\0", data(frame("00 17 00 00 00 0F 01 17 00 63 00 04 00 64 00 02 04 AA AA BB BB"))),
    "fc16": (b"\0\0\0\0", data(frame("00 10 00 00 00 0B 01 10 00 64 00 02 04 11 11 22 22"))),
    "fc8_clear_then_count": (b"\0\0\0\0", data(frame("00 08 00 00 00 06 01 08 00 0A 00 00"))
                             + data(frame("00 09 00 00 00 06 01 08 00 0E 00 00"))),
    "fc8_subs": (b"\x80\0\0\0", b"".join(data(frame("00 08 00 00 00 06 01 08 00 %02X 00 00" % s))
                                           for s in (0, 2, 13, 15))),
    "fc7": (b"\x80\0\0\0", data(frame("00 07 00 00 00 02 01 07"))),
    "unserved": (b"\0\0\0\0", data(frame("00 01 00 00 00 02 01 41")) + data(frame("00 01 00 00 00 02 01 83"))),
    "quantity_edges": (b"\0\0\0\0", b"".join(data(frame("00 01 00 00 00 06 01 03 00 00 00 %02X" % q))
                                                 for q in (0, 125, 126, 127))),
    "address_edges": (b"\x01\0\0\0", data(frame("00 01 00 00 00 06 01 03 FF 83 00 7D"))
                      + data(frame("00 01 00 00 00 06 01 03 FF 84 00 7D"))),
    "out_of_synch": (b"\x20\0\0\0", data(FC3) + data(FC3) + data(FC3) + op(4) + data(FC3)),
    "uid_mismatch_unserved": (b"\0\0\0\x11", data(frame("00 01 00 00 00 02 01 41"))),
    "two_frames_one_piece": (b"\x40\0\0\0", data(FC3 + FC3, 2)),
    "split_frame": (b"\0\0\0\0", data(FC3[:5]) + data(FC3[5:])),
    "bad_protocol": (b"\0\0\0\0", data(frame("00 01 00 01 00 06 01 03 00 00 00 02")) + data(FC3)),
    "length_high": (b"\x10\0\0\0", data(frame("00 01 00 00 01 06 01 03 00 00 00 02"))),
}

OUT.mkdir(parents=True, exist_ok=True)
for name, (settings, chunks) in SEEDS.items():
    (OUT / name).write_bytes(settings + chunks)
