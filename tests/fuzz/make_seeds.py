#!/usr/bin/env python3
"""Writes the seed corpus of datagram_fuzz: the hostile cases of the network suite as chunk
lists (see datagram_fuzz.cpp for the layout). Run from this folder; the output is committed."""
import calendar
import os
import struct

NTP = 2208988800
START = calendar.timegm((2026, 12, 6, 1, 5, 7)) + NTP  # the test rig's UTC start


def ts(sec):
    whole = int(sec)
    return struct.pack('>II', whole & 0xFFFFFFFF, int((sec - whole) * 2**32) & 0xFFFFFFFF)


def reply(first=0x24, stratum=2, offset=3.25, t=0.0, zero_tx=False, refid=b'TEST', tx_ahead=0.0001,
          zero_rx=False):
    r = bytes([first, stratum, 0, 0xEC]) + bytes(8) + refid + ts(START + offset - 10)
    r += bytes(8) + (bytes(4) + ts(START)[4:] if zero_rx else ts(START + t + offset))
    r += bytes(8) if zero_tx else ts(START + t + offset + tx_ahead)
    return r


def chunk(data, index=0, server=True, patch=True, wait=False):
    control = (1 if server else 0) | (2 if patch else 0) | (index << 2 & 0x7C) | (0x80 if wait else 0)
    return bytes([control]) + struct.pack('>H', len(data)) + data


def burst(n, first_index=0, **kw):
    return b''.join(chunk(reply(t=0.1 * i, **kw), index=i, wait=True)
                    for i in range(first_index, first_index + n))


def clock_step(seconds):
    """A chunk from another host with the originate bit: the local clock steps instead."""
    return chunk(b'', index=seconds + 16, server=False)


def flagged(count):
    return b''.join(chunk(reply(first=0xE4 if i < count else 0x24), index=i, wait=True)
                    for i in range(25))


def sized(n):
    return reply()[:n] if n <= 48 else reply() + bytes(n - 48)


SEEDS = {
    'burst25': burst(25),
    'burst10': burst(10),
    'leap3_on_3': flagged(3),
    'leap3_on_4': flagged(4),
    'sizes': b''.join(chunk(sized(n), index=i) for i, n in enumerate([0, 47, 49, 68, 1500])),
    'mode3': burst(25, first=0x23),
    'mode5': burst(25, first=0x25),
    'kod_rate': burst(25, stratum=0, refid=b'RATE'),
    'kod_deny': burst(25, stratum=0, refid=b'DENY'),
    'stratum16': burst(25, stratum=16),
    'zero_transmit': burst(25, zero_tx=True),
    'other_host': b''.join(chunk(reply(), index=i, server=False, patch=False) for i in range(25)),
    'zero_receive': burst(25, zero_rx=True),
    'transmit_100s_after_receive': burst(2, tx_ahead=100) + burst(23, first_index=2),
    'clock_step': burst(12) + clock_step(5) + burst(13, first_index=12, offset=-1.75),
    'no_originate': b''.join(chunk(reply(), index=i, patch=False) for i in range(25)),
    'duplicates': b''.join(chunk(reply(), index=i // 2) for i in range(50)),
    'one_hour_behind': burst(25, offset=-3600),
    'era_boundary': burst(25, offset=(2**32 - START) - 1.5),
}

os.makedirs('corpus', exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join('corpus', name), 'wb') as out:
        out.write(data)
