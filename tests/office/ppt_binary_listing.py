#!/usr/bin/env python3
"""Lists what a PowerPoint 97-2003 presentation holds, read with olefile from the format's
public description, one line per item in presentation order:

    slide <slide id> <name>
    tag <name> <value>
    shape <shape id> <name> [<ProgID>]

Names and values are UTF-8 in hex ('-' when empty or absent), so that any text compares as one
word. Shapes are the slide's top-level shapes in stacking order; the shapes inside a group follow
it as "member" lines, depth first. A trailing "edits <n>" line counts the UserEditAtoms of the edit chain. The tests
compare these lines with what our own reading of the same file gives. Exit status 2 when olefile
is not installed, 1 when the file cannot be read."""

import struct
import sys

try:
    import olefile
except ImportError:
    sys.exit(2)


def records(data, start, end):
    """(type, instance, body start, body end) of each record in data[start:end]."""
    at = start
    while at + 8 <= end:
        ver_inst, rtype, length = struct.unpack_from("<HHI", data, at)
        body = at + 8
        yield rtype, ver_inst >> 4, body, min(body + length, end)
        at = body + length


def find(data, start, end, rtype, instance=None):
    for found in records(data, start, end):
        if found[0] == rtype and (instance is None or found[1] == instance):
            return found
    return None


def text(data, rec):
    if rec is None:
        return "-"
    value = data[rec[2]:rec[3]].decode("utf-16-le", "replace")
    return value.encode("utf-8").hex() or "-"


def persist_directory(doc, offset):
    """The newest stream offset of every persist id, walking the edits from the newest."""
    offsets, edits, seen = {}, 0, set()
    while offset and offset not in seen:
        seen.add(offset)
        edits += 1
        _, _, body, _ = next(records(doc, offset, len(doc)))
        last_edit, directory = struct.unpack_from("<II", doc, body + 8)
        _, _, dir_body, dir_end = next(records(doc, directory, len(doc)))
        at = dir_body
        while at < dir_end:
            (entry,) = struct.unpack_from("<I", doc, at)
            first, count = entry & 0xFFFFF, entry >> 20
            for i in range(count):
                offsets.setdefault(first + i, struct.unpack_from("<I", doc, at + 4 + 4 * i)[0])
            at += 4 + 4 * count
        offset = last_edit
    return offsets, edits


def prog_ids(doc, offsets, doc_body, doc_end):
    """exObjId -> ProgID of the document's embedded objects."""
    found = {}
    object_list = find(doc, doc_body, doc_end, 0x0409)
    if object_list is None:
        return found
    for rtype, _, body, end in records(doc, object_list[2], object_list[3]):
        if rtype != 0x0FCC:
            continue
        atom = find(doc, body, end, 0x0FC3)
        prog = find(doc, body, end, 0x0FBA, 2)
        if atom is not None:
            found[struct.unpack_from("<I", doc, atom[2] + 8)[0]] = text(doc, prog)
    return found


def shape_line(doc, body, end, objects):
    fsp = find(doc, body, end, 0xF00A)
    spid = struct.unpack_from("<I", doc, fsp[2])[0] if fsp else 0
    fopt = find(doc, body, end, 0xF00B)
    line = f"{spid} {fopt_name(doc, fopt) if fopt else '-'}"
    client = find(doc, body, end, 0xF011)
    ref = find(doc, client[2], client[3], 0x0BC1) if client else None
    if ref is not None:
        line += " " + objects.get(struct.unpack_from("<I", doc, ref[2])[0], "-")
    return line


def shapes(doc, group, objects, out, word):
    """The shapes of a group container after its first, which is the group's own shape."""
    for index, (rtype, _, body, end) in enumerate(records(doc, group[2], group[3])):
        if index == 0:
            continue
        if rtype == 0xF004:
            out.append(f"{word} {shape_line(doc, body, end, objects)}")
        elif rtype == 0xF003:
            first = find(doc, body, end, 0xF004)
            out.append(f"{word} {shape_line(doc, first[2], first[3], objects)}")
            shapes(doc, (rtype, 0, body, end), objects, out, "member")


def fopt_name(doc, fopt):
    """Property 0x0380 of an OfficeArtFOPT: a complex property whose data follows the table."""
    _, count, body, end = fopt
    complex_at = body + 6 * count
    for i in range(count):
        opid, value = struct.unpack_from("<HI", doc, body + 6 * i)
        number, is_complex = opid & 0x3FFF, opid & 0x8000
        if number == 0x0380 and is_complex:
            raw = doc[complex_at:complex_at + value].decode("utf-16-le", "replace")
            return raw.rstrip("\0").encode("utf-8").hex() or "-"
        if is_complex:
            complex_at += value
    return "-"


def listing(name):
    ole = olefile.OleFileIO(name)
    current = ole.openstream("Current User").read()
    doc = ole.openstream("PowerPoint Document").read()
    offsets, edits = persist_directory(doc, struct.unpack_from("<I", current, 16)[0])
    last_edit = struct.unpack_from("<I", current, 16)[0]
    edit_body = last_edit + 8
    doc_ref = struct.unpack_from("<I", doc, edit_body + 16)[0]
    _, _, doc_body, doc_end = next(records(doc, offsets[doc_ref], len(doc)))
    objects = prog_ids(doc, offsets, doc_body, doc_end)
    out = []
    slide_list = find(doc, doc_body, doc_end, 0x0FF0, 0)
    for rtype, _, body, _ in records(doc, slide_list[2], slide_list[3]) if slide_list else []:
        if rtype != 0x03F3:
            continue
        persist, _, _, slide_id = struct.unpack_from("<IIiI", doc, body)
        _, _, s_body, s_end = next(records(doc, offsets[persist], len(doc)))
        out.append(f"slide {slide_id} {text(doc, find(doc, s_body, s_end, 0x0FBA, 3))}")
        tags = find(doc, s_body, s_end, 0x1388)
        for t_type, _, t_body, t_end in records(doc, tags[2], tags[3]) if tags else []:
            if t_type == 0x1389:
                tag_name = text(doc, find(doc, t_body, t_end, 0x0FBA, 0))
                out.append(f"tag {tag_name} {text(doc, find(doc, t_body, t_end, 0x0FBA, 1))}")
        drawing = find(doc, s_body, s_end, 0x040C)
        dg = find(doc, drawing[2], drawing[3], 0xF002) if drawing else None
        top = find(doc, dg[2], dg[3], 0xF003) if dg else None
        if top is not None:
            shapes(doc, top, objects, out, "shape")
    out.append(f"edits {edits}")
    return out


def main():
    try:
        lines = listing(sys.argv[1])
    except Exception as error:  # any fault of the file: say what it was
        print(f"cannot read {sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
