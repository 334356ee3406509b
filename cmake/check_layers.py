#!/usr/bin/env python3
"""Checks the office host against its table of layers: the includes, or the built libraries.

office/CMakeLists.txt writes the table: for each layer, the layers it uses, its library and every
one of its files, public or internal. A file may include a header of its own layer, or a public
header of a layer that its layer uses, directly or through another. Every other include is a wrong
arrow; each is printed as `file:line: includes "office/x.h", ...` and the check fails with
status 1.

With --libraries, the check reads the symbols of the layers' static libraries instead (with nm):
a layer's library may need only symbols of its own and of the layers it uses, or of libraries
outside the host. A call into a layer above, through a declaration that no include check sees,
fails so, where the linker of a static library would say nothing until some program misses it.

    check_layers.py --root <project root> <table>
    check_layers.py --libraries [--nm <nm>] <table>
"""

import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s*"(office/[^"]+)"')


class TableError(Exception):
    pass


class Layer:
    def __init__(self, name):
        self.name = name
        self.uses = []
        self.files = {}  # path -> True when the header is internal
        self.library = None


def read_table(path):
    """The layers of the table in path, by name, in the order it gives them."""
    layers = {}
    current = None
    for number, line in enumerate(Path(path).read_text().splitlines(), 1):
        words = line.split()
        if not words:
            continue
        key, values = words[0], words[1:]
        if key == "layer" and len(values) == 1:
            current = layers.setdefault(values[0], Layer(values[0]))
        elif current is None:
            raise TableError(f"{path}:{number}: \"{key}\" before the first layer")
        elif key == "uses":
            current.uses.extend(values)
        elif key == "library" and len(values) == 1:
            current.library = values[0]
        elif key in ("public", "internal") and len(values) == 1:
            current.files[values[0]] = key == "internal"
        else:
            raise TableError(f"{path}:{number}: cannot read \"{line}\"")
    for layer in layers.values():
        for used in layer.uses:
            if used not in layers:
                raise TableError(f"{path}: layer {layer.name} uses {used}, which is no layer")
    return layers


def reachable(layers, name):
    """The layers below name that it may use: those it uses and, in turn, theirs."""
    found = set()
    pending = list(layers[name].uses)
    while pending:
        used = pending.pop()
        if used not in found:
            found.add(used)
            pending.extend(layers[used].uses)
    return found


def owners(layers):
    """Each file of the table -> the name of its layer."""
    return {file: layer.name for layer in layers.values() for file in layer.files}


def problem(layers, owner, layer, header, below):
    """What is wrong with layer including header, or None when the arrow is allowed."""
    if header not in owner:
        return "which belongs to no layer"
    target = owner[header]
    if target == layer:
        return None
    internal = layers[target].files[header]
    if target in below and not internal:
        return None
    if target in below:
        return f"an internal header of layer {target}"
    allowed = ", ".join(sorted(below)) or "none"
    return (f"a header of layer {target}, which layer {layer} may not use "
            f"(it may use: {allowed})")


def check(root, layers):
    """Every wrong include of the table's files under root, as messages."""
    owner = owners(layers)
    messages = []
    for layer in layers.values():
        below = reachable(layers, layer.name)
        if layer.name in below:
            messages.append(f"layer {layer.name} uses itself through its layers below")
        for file in sorted(layer.files):
            text = (Path(root) / file).read_text(errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(1)
                wrong = problem(layers, owner, layer.name, header, below)
                if wrong:
                    messages.append(f"{file}:{number}: includes \"{header}\", {wrong}")
    return messages


def symbols(nm, library):
    """The external symbols that a static library defines, and those it needs."""
    listing = subprocess.run([nm, "-P", "-g", library], capture_output=True, text=True, check=True)
    defined, needed = set(), set()
    for line in listing.stdout.splitlines():
        fields = line.split()
        if len(fields) < 2 or line.endswith(":"):
            continue  # an archive member's heading
        name, kind = fields[0], fields[1]
        if kind == "U":
            needed.add(name)
        elif kind not in ("w", "v"):  # a weak reference needs nothing
            defined.add(name)
    return defined, needed - defined


def demangled(names):
    """The names as C++ spells them, where c++filt is there to say."""
    if not shutil.which("c++filt"):
        return list(names)
    result = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True)
    return result.stdout.splitlines() if result.returncode == 0 else list(names)


def check_libraries(nm, layers):
    """Every layer that needs a symbol of a layer it may not use, as messages."""
    defined, needed = {}, {}
    for layer in layers.values():
        if not layer.library:
            raise TableError(f"layer {layer.name} names no library")
        defined[layer.name], needed[layer.name] = symbols(nm, layer.library)
    messages = []
    for layer in layers.values():
        below = reachable(layers, layer.name)
        missing = set(needed[layer.name])
        for used in below:
            missing -= defined[used]
        for other in layers:
            if other == layer.name or other in below:
                continue
            wrong = sorted(missing & defined[other])
            if wrong:
                shown = "; ".join(demangled(wrong[:3])) + ("; ..." if len(wrong) > 3 else "")
                messages.append(f"{layer.library}: layer {layer.name} needs {len(wrong)} "
                                f"symbol(s) of layer {other}, which it may not use: {shown}")
    return messages


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", help="the project's root folder, whose includes are checked")
    parser.add_argument("--libraries", action="store_true",
                        help="check the symbols of the layers' libraries instead")
    parser.add_argument("--nm", default="nm", help="the nm program (default: nm)")
    parser.add_argument("table", help="the table of layers that the build wrote")
    args = parser.parse_args(argv)
    if not args.libraries and not args.root:
        parser.error("give --root, or --libraries")
    try:
        layers = read_table(args.table)
        if args.libraries:
            messages = check_libraries(args.nm, layers)
        else:
            messages = check(args.root, layers)
    except (TableError, OSError, subprocess.CalledProcessError) as error:
        print(f"office layers: {error}", file=sys.stderr)
        return 2
    for message in messages:
        print(message, file=sys.stderr)
    if messages:
        what = "layer(s) needing another's symbols" if args.libraries else "wrong include(s)"
        print(f"office layers: {len(messages)} {what}; the layers and what each may use are in "
              f"office/CMakeLists.txt", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
