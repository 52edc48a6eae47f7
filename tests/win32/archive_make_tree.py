"""Writes the folder tree that the extraction tests pack with Info-ZIP zip: text that deflates
well, bytes that do not (zip stores them), an empty file, nested folders and an empty folder.
The contents are fixed, so every build packs the same tree."""
import os
import sys

root = sys.argv[1]


def write(relative, data):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def noise(count, seed):
    # A 32-bit xorshift: deterministic bytes that deflate cannot shrink.
    out = bytearray()
    x = seed
    while len(out) < count:
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out += x.to_bytes(4, "little")
    return bytes(out[:count])


lines = b"".join(b"Line %05d of the read-me: Kavlin measures traffic.\r\n" % i for i in range(60))
write("ReadMe.txt", lines)
write("Kavlin.exe", noise(40000, 0x2545F491))
write("empty.txt", b"")
write("x", b"one-character name\n")
write("sub/file.txt", b"a file in a folder\n" * 30)
write("sub/deeper/notes.txt", b"".join(b"note %06d, " % i for i in range(20000)))
write("sub/deeper/random.bin", noise(70000, 0x9E3779B9))
os.makedirs(os.path.join(root, "docs", "empty"), exist_ok=True)
