#!/usr/bin/env python3
"""Makes a result folder for the benchmarks. Deterministic (fixed seed), so
runs compare.   make_pack_data.py FOLDER [small | onefolder | wide N]
Default: about 250 MB of compressible logs, incompressible blobs and
thousands of files of 2-18 KB. "small": about 120 MB in about 3,000 files,
most of them under 1 KB, beside MB-sized logs and blobs, as customer
machines have them. "onefolder": 3,000 files under 1 KB in one folder
beside 20 text logs of 4 MB and 32 MB that does not compress. "wide N": N
files under 1 KB in one folder, nothing else."""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(20240601)
words = ("INFO WARN ERROR service started stopped request user session disk "
         "network timeout retry connected driver registry policy update").split()


def log_text(size):
    lines = []
    total = 0
    n = 0
    while total < size:
        line = "%02d/%02d/2024 %02d:%02d:%02d,%s,%s id=%08x count=%d\r\n" % (
            rng.randint(1, 28), rng.randint(1, 12), rng.randint(0, 23), rng.randint(0, 59),
            rng.randint(0, 59), rng.choice(words), " ".join(rng.choice(words) for _ in range(6)),
            rng.getrandbits(32), n)
        lines.append(line)
        total += len(line)
        n += 1
    return "".join(lines).encode()[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def small_files(folder, count):
    for i in range(count):
        size = rng.randint(60, 1000)
        data = log_text(size) if i % 4 else rng.randbytes(size)
        write(os.path.join(root, folder, "s%05d.ini" % i), data)


kind = sys.argv[2] if len(sys.argv) > 2 else ""
if kind == "onefolder":
    small_files("Sessions", 3000)
    for i in range(20):
        write(os.path.join(root, "Logs", "app%02d.log" % i), log_text(4 * 1000 * 1000))
    write(os.path.join(root, "Dumps", "blob.bin"), rng.randbytes(32 * 1000 * 1000))
    sys.exit(0)
if kind == "wide":
    small_files("Cache", int(sys.argv[3]))
    sys.exit(0)
if kind == "small":
    for i in range(2930):  # about 1.7 MB in files under 1 KB, 30 folders
        size = rng.randint(60, 1000)
        data = log_text(size) if i % 4 else rng.randbytes(size)
        write(os.path.join(root, "Config", "c%02d" % (i % 30), "s%05d.ini" % i), data)
    for i in range(40):  # 60 MB of logs
        write(os.path.join(root, "Logs", "app%02d.log" % i), log_text(1500 * 1000))
    for i in range(6):  # 60 MB that gzip cannot shrink
        write(os.path.join(root, "Dumps", "blob%02d.bin" % i), rng.randbytes(10 * 1000 * 1000))
    sys.exit(0)

for i in range(40):  # 100 MB of logs
    write(os.path.join(root, "Logs", "app%02d.log" % i), log_text(2500 * 1000))
for i in range(10):  # 100 MB that gzip cannot shrink
    write(os.path.join(root, "Dumps", "blob%02d.bin" % i), rng.randbytes(10 * 1000 * 1000))
for i in range(5000):  # 50 MB in small files, 50 folders
    size = rng.randint(2000, 18000)
    data = log_text(size) if i % 3 else rng.randbytes(size)
    write(os.path.join(root, "Files", "d%02d" % (i % 50), "f%05d.txt" % i), data)
write(os.path.join(root, "Activity Log.csv"), log_text(200000))
write(os.path.join(root, "FileList.csv"), log_text(400000))
