#!/usr/bin/env python3
"""Lists a compound file as olefile reads it, one line per entry, sorted:

    <kind> <class id> <size> <sha256 of the stream> <path as UTF-8 in hex>

kind is R (the root), S (a storage) or T (a stream); the class id is in braces, or '-' when it
is zero; storages have size 0 and the hash '-'. The tests compare these lines with what our
own reading of the same file gives. Exit status 2 when olefile is not installed, 1 when the
file cannot be read."""

import hashlib
import sys

try:
    import olefile
except ImportError:
    sys.exit(2)


def class_id(text):
    return "{" + text + "}" if text else "-"


def line(kind, clsid, size, digest, path):
    return f"{kind} {class_id(clsid)} {size} {digest} {path.encode('utf-8').hex() or '-'}"


def listing(name):
    ole = olefile.OleFileIO(name)
    lines = [line("R", ole.root.clsid, 0, "-", "")]
    for parts in ole.listdir(streams=True, storages=True):
        path = "/".join(parts)
        if ole.get_type(parts) == olefile.STGTY_STORAGE:
            lines.append(line("S", ole.getclsid(parts), 0, "-", path))
        else:
            data = ole.openstream(parts).read()
            lines.append(line("T", "", len(data), hashlib.sha256(data).hexdigest(), path))
    ole.close()
    return sorted(lines)


def main():
    try:
        print("\n".join(listing(sys.argv[1])))
    except Exception as error:  # any failure to read is the answer "cannot be read"
        print(f"{sys.argv[1]}: {error}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
