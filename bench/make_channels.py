#!/usr/bin/env python3
"""The channels the test wevtapi.dll serves, made from the public description
of the .evtx format: for each channel NAME.evtx (a file header, 64 KiB chunks,
records of binary XML, one resident template per record holding every value,
CRC-32 checksums) and NAME.xml (the same events as EvtRender gives them, one a
line, newest first). NAME is the channel with "/" as "%4", as Windows names
its log files.
  make_channels.py FOLDER [EVENTS]"""
import os, sys, time, zlib
from xml.sax.saxutils import escape, quoteattr

NS = "http://schemas.microsoft.com/win/2004/08/events/event"


def events(channel, provider, count):
    now = int((time.time() + 11644473600) * 10**7)
    for i in range(count):
        t = now - (count - i) * 600000000
        stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(t // 10**7 - 11644473600))
        system = [("Provider", [("Name", provider)], "", []), ("EventID", [], str(100 + i % 3), []),
                  ("Level", [], "2" if i % 3 == 0 else "4", []),
                  ("TimeCreated", [("SystemTime", "%s.%07dZ" % (stamp, t % 10**7))], "", []),
                  ("EventRecordID", [], str(i + 1), []), ("Channel", [], channel, []),
                  ("Computer", [], "TESTPC", []),
                  ("Security", [("UserID", "S-1-5-18")] if i % 2 == 0 else [], "", [])]
        data = [("Data", [("Name", "Script")], "step %d" % (i + 1), []),
                ("Data", [("Name", "Path")], 'C:\\a, "b" & <c>', [])]
        yield i + 1, t, ("Event", [("xmlns", NS)], "", [("System", [], "", system), ("EventData", [], "", data)])


def text(node):
    name, attrs, value, children = node
    out = "<" + name + "".join(" %s=%s" % (k, quoteattr(v)) for k, v in attrs)
    if not value and not children:
        return out + "/>"
    return out + ">" + escape(value) + "".join(map(text, children)) + "</" + name + ">"


class Chunk:
    def __init__(self):
        self.b = bytearray(512)

    def put(self, value, size):
        self.b += value.to_bytes(size, "little")

    def set(self, at, value, size=4):
        self.b[at:at + size] = value.to_bytes(size, "little")

    def name(self, name):  # where it is used, at its chunk offset
        h = 0
        for c in name:
            h = (h * 65599 + ord(c)) & 0xFFFF
        self.put(len(self.b) + 4, 4); self.put(0, 4); self.put(h, 2); self.put(len(name), 2)
        self.b += name.encode("utf-16-le") + b"\0\0"

    def value(self, v):
        self.put(0x0105, 2); self.put(len(v), 2); self.b += v.encode("utf-16-le")

    def element(self, node):
        name, attrs, value, children = node
        start = len(self.b)
        self.put(0xFFFF41 if attrs else 0xFFFF01, 3); self.put(0, 4); self.name(name)
        if attrs:
            at = len(self.b); self.put(0, 4)
            for i, (k, v) in enumerate(attrs):
                self.put(0x46 if i + 1 < len(attrs) else 0x06, 1); self.name(k); self.value(v)
            self.set(at, len(self.b) - at - 4)
        empty = not value and not children
        self.put(3 if empty else 2, 1)
        if value:
            self.value(value)
        for child in children:
            self.element(child)
        if not empty:
            self.put(4, 1)
        self.set(start + 3, len(self.b) - start - 7)

    def record(self, rid, t, tree):
        start = len(self.b)
        self.put(0x2A2A, 4); self.put(0, 4); self.put(rid, 8); self.put(t, 8)
        self.put(0x0001010F, 4); self.put(0x010C, 2); self.put(rid, 4); self.put(len(self.b) + 4, 4)
        self.put(0, 4); self.put(rid, 16)  # next template, GUID
        size = len(self.b); self.put(0, 4); self.put(0x0001010F, 4)
        self.element(tree); self.put(0, 1)
        self.set(size, len(self.b) - size - 4)
        self.put(0, 4)  # no substitution values
        self.b += bytes((4 - (len(self.b) - start)) % 8)
        self.put(len(self.b) - start + 4, 4); self.set(start + 4, len(self.b) - start)

    def close(self, first, last, last_at):
        free = len(self.b)
        self.b[0:8] = b"ElfChnk\0"
        for i, v in enumerate((first, last, first, last)):
            self.set(8 + 8 * i, v, 8)
        self.set(40, 128); self.set(44, last_at); self.set(48, free)
        self.set(52, zlib.crc32(self.b[512:free]))
        self.b += bytes(65536 - free)
        self.set(124, zlib.crc32(self.b[128:512], zlib.crc32(self.b[:120])))
        return bytes(self.b)


def evtx(records):
    chunks, chunk, first, last, last_at = [], Chunk(), 0, 0, 0
    for rid, t, tree in records:
        at = len(chunk.b)
        chunk.record(rid, t, tree)
        if len(chunk.b) > 65536:
            del chunk.b[at:]
            chunks.append(chunk.close(first, last, last_at))
            chunk, at = Chunk(), 512
            chunk.record(rid, t, tree)
        first, last, last_at = first if at > 512 else rid, rid, at
    if len(chunk.b) > 512:
        chunks.append(chunk.close(first, last, last_at))
    h = bytearray(b"ElfFile\0")
    for v in (0, max(len(chunks) - 1, 0), last + 1):
        h += v.to_bytes(8, "little")
    h += (0x0003000100000080).to_bytes(8, "little") + (4096 | len(chunks) << 16).to_bytes(4, "little")
    h += bytes(120 - len(h)) + bytes(4)
    h += zlib.crc32(h[:120]).to_bytes(4, "little")
    return bytes(h) + bytes(4096 - 128) + b"".join(chunks)


folder, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3
os.makedirs(folder, exist_ok=True)
for channel, provider, n in (("Brindle-Test/Operational", "Brindle-Test", count),
                             ("Brindle-Orphan/Operational", "Brindle-Gone", 2)):
    records = list(events(channel, provider, n))
    base = os.path.join(folder, channel.replace("/", "%4"))
    open(base + ".evtx", "wb").write(evtx(records))
    open(base + ".xml", "w", encoding="utf-8").write("".join(text(r[2]) + "\n" for r in reversed(records)))
