#!/usr/bin/env python3
"""Lists what a PowerPoint 97-2003 presentation holds, read with olefile from the format's
public description, one line per item in presentation order:

    slide <slide id> <name>
    tag <name> <value>
    shape <shape id> <name> [<ProgID>]

Names and values are UTF-8 in hex ('-' when empty or absent), so that any text compares as one
word. Shapes are the slide's top-level shapes in stacking order; the shapes inside a group follow
it as "member" lines, depth first. A trailing "edits <n>" line counts the UserEditAtoms of the edit chain. The tests
compare these lines with what our own reading of the same file gives. "objects FILE" and
"cells FILE" list the embedded objects instead (see object_lines). Exit status 2 when olefile
is not installed, 1 when the file cannot be read."""

import hashlib
import struct
import sys
import zlib

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


def persist_directory(doc, offset, limit=None):
    """The newest stream offset of every persist id, walking the edits from the newest (at most
    `limit` of them)."""
    offsets, edits, seen = {}, 0, set()
    while offset and offset not in seen and edits != limit:
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
        if rtype not in (0x0FCC, 0x0FCE):  # embedded and linked objects
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


def current_state(name):
    """The file's streams, the newest offset of every persist id, the ids that the newest edit
    wrote, and the body of the current DocumentContainer."""
    ole = olefile.OleFileIO(name)
    edit = struct.unpack_from("<I", ole.openstream("Current User").read(), 16)[0]
    doc = ole.openstream("PowerPoint Document").read()
    offsets, _ = persist_directory(doc, edit)
    newest, _ = persist_directory(doc, edit, 1)
    document = offsets[struct.unpack_from("<I", doc, edit + 24)[0]]
    return ole, doc, offsets, set(newest), next(records(doc, document, len(doc)))[2:]


def object_shapes(doc, body, end):
    """(spid, exObjId, pib) of every shape in the records of body..end that shows an object."""
    for rtype, _, inner, stop in records(doc, body, end):
        if rtype in (0x040C, 0xF002, 0xF003):
            yield from object_shapes(doc, inner, stop)
        client = find(doc, inner, stop, 0xF011) if rtype == 0xF004 else None
        ref = find(doc, client[2], client[3], 0x0BC1) if client else None
        if ref is not None:
            fopt = find(doc, inner, stop, 0xF00B)
            props = [struct.unpack_from("<HI", doc, fopt[2] + 6 * i) for i in range(fopt[1])]
            yield (struct.unpack_from("<I", doc, find(doc, inner, stop, 0xF00A)[2])[0],
                   struct.unpack_from("<I", doc, ref[2])[0],
                   next((value for opid, value in props if opid & 0x3FFF == 0x0104), 0))


def embedded(state):
    """(slide, shape id, pib, ProgID, storage, whether the newest edit wrote the storage) of
    every shape that shows an embedded object, in slide order; the storage inflated."""
    _, doc, offsets, newest, (doc_body, doc_end) = state
    progs, storages = prog_ids(doc, offsets, doc_body, doc_end), {}
    object_list = find(doc, doc_body, doc_end, 0x0409)
    for rtype, _, body, end in records(doc, *object_list[2:]) if object_list else []:
        atom = find(doc, body, end, 0x0FC3)
        if rtype == 0x0FCC and atom is not None:
            object_id, persist = struct.unpack_from("<I4xI", doc, atom[2] + 8)
            ver_inst, _, length = struct.unpack_from("<HHI", doc, offsets[persist])
            data = doc[offsets[persist] + 8:offsets[persist] + 8 + length]
            storages[object_id] = (zlib.decompress(data[4:]) if ver_inst >> 4 else data,
                                   persist in newest)
    slide_list = find(doc, doc_body, doc_end, 0x0FF0, 0)
    slides = [r for r in records(doc, *slide_list[2:]) if r[0] == 0x03F3]
    for index, (_, _, body, _) in enumerate(slides):
        _, _, s_body, s_end = next(records(doc, offsets[struct.unpack_from("<I", doc, body)[0]],
                                           len(doc)))
        for spid, object_id, pib in object_shapes(doc, s_body, s_end):
            if object_id in storages:
                prog = bytes.fromhex(progs[object_id]).decode() if progs[object_id] != "-" else ""
                yield (index + 1, spid, pib, prog) + storages[object_id]


def blip(state, pib):
    """The kind (btWin32: 6 for PNG) of the blip-store entry that pib names and the MD5 of a
    PNG's bytes in the Pictures stream."""
    ole, doc, _, _, (doc_body, doc_end) = state
    group = find(doc, doc_body, doc_end, 0x040B)
    dgg = find(doc, group[2], group[3], 0xF000)
    store = find(doc, dgg[2], dgg[3], 0xF001)
    entries = list(records(doc, store[2], store[3])) if store else []
    assert store is None or store[1] == len(entries), "the blip store's count is wrong"
    if not 0 < pib <= len(entries) or doc[entries[pib - 1][2]] != 6:
        return "-", "-"
    size, offset = struct.unpack_from("<I4xI", doc, entries[pib - 1][2] + 20)
    png = ole.openstream("Pictures").read()[offset:offset + size]
    assert struct.unpack_from("<HH", png) == (0x6E00, 0xF01E), "no PNG blip"
    return 6, hashlib.md5(png[25:]).hexdigest()


def graph_cells(stream):
    """{(row, column): text} of a Graph data sheet: the BIFF2 cells Graph writes (Number 0x0003,
    Label 0x0004: row, column, three attribute bytes, the value)."""
    cells, at = {}, 0
    while at + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, at)
        body, at = stream[at + 4:at + 4 + length], at + 4 + length
        if rtype == 0x0003:
            cells[struct.unpack_from("<HH", body)] = "%g" % struct.unpack_from("<d", body, 7)[0]
        elif rtype == 0x0004:
            count, chars = struct.unpack_from("<H", body, 7)[0], body[9:]
            wide = len(chars) != count and chars[0] & 1
            chars = chars if len(chars) == count else chars[1:]
            cells[struct.unpack_from("<HH", body)] = chars.decode("utf-16-le" if wide else "cp1252")
    return cells


def object_lines(name, cells):
    """Per shape that shows an embedded object, in slide order:
        object <slide> <shape id> <new|old> blip <kind> <md5> storage <md5>
    new when the newest edit wrote its storage; the kind of the blip its pib names and the MD5
    of a PNG's bytes; the MD5 of the storage. With cells, the cells (zero-based) of its Graph data
    sheet or of its workbook's first sheet (read with xlrd) follow: " <row>,<column>=<value>"."""
    state = current_state(name)
    found = {}
    for slide, spid, pib, prog, storage, new in embedded(state):
        line = (f"object {slide} {spid} {'new' if new else 'old'} blip %s %s storage "
                f"{hashlib.md5(storage).hexdigest()}") % blip(state, pib)
        if cells and prog.startswith("Excel.Sheet"):
            import xlrd
            sheet = xlrd.open_workbook(file_contents=storage).sheet_by_index(0)
            found = {(r, c): "%g" % v if isinstance(v, float) else v for r in range(sheet.nrows)
                     for c, v in enumerate(sheet.row_values(r)) if v != ""}
        elif cells and prog.startswith("MSGraph"):
            found = graph_cells(olefile.OleFileIO(storage).openstream("Workbook").read())
        yield line + "".join(f" {r},{c}={v}" for (r, c), v in sorted(found.items()))


def main():
    try:
        if sys.argv[1] in ("objects", "cells"):
            sys.stdout.writelines(f"{line}\n" for line in object_lines(sys.argv[2], sys.argv[1] == "cells"))
            return 0
        lines = listing(sys.argv[1])

    except Exception as error:  # any fault of the file: say what it was
        print(f"cannot read {sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
