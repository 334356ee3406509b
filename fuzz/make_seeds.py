#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/.

Every seed is made here from nothing but this script (and, for the targets that patch a fixture,
the fixture's own parts): small well-formed files of each kind, and the crafted shapes that once
cost far more than their size (shared strings over many Continue records, nested Graph blocks,
a compound directory of many entries, a sheet list naming one sheet twice, rows claiming more
cells than they hold, Graph cells far apart, zip packages that lie). The first byte of a seed
picks the target's mode, as each fuzz_*.cpp describes.

Run: /usr/bin/python3 fuzz/make_seeds.py   (needs python3-openpyxl; writes the seed folders anew)
"""

import io
import os
import shutil
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SEEDS = os.path.join(HERE, "seeds")

# ---------------------------------------------------------------------------------------------
# Compound files (512-byte sectors, a mini stream for the streams under 4096 bytes)

FREE, END, FAT_SECTOR = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD
NONE = 0xFFFFFFFF


def _order(name):
    return (len(name), name.upper())


class _Node:
    def __init__(self, name, kind, data=b""):
        self.name, self.kind, self.data = name, kind, data
        self.children = {}
        self.left = self.right = self.child = NONE
        self.start, self.size = END, 0


def compound(streams):
    """A compound file holding `streams` ({"Storage/Stream": bytes})."""
    root = _Node("Root Entry", 5)
    for path, data in streams.items():
        node = root
        parts = path.split("/")
        for part in parts[:-1]:
            node = node.children.setdefault(part, _Node(part, 1))
        node.children[parts[-1]] = _Node(parts[-1], 2, data)
    entries = []

    def number(node):
        entries.append(node)
        for child in node.children.values():
            number(child)

    number(root)
    index = {id(n): i for i, n in enumerate(entries)}

    def tree(children):
        if not children:
            return NONE
        mid = len(children) // 2
        node = children[mid]
        node.left = tree(children[:mid])
        node.right = tree(children[mid + 1:])
        return index[id(node)]

    for node in entries:
        node.child = tree(sorted(node.children.values(), key=lambda n: _order(n.name)))

    sectors, fat = [], []

    def chain(data, size=512):
        count = (len(data) + size - 1) // size
        first = len(sectors)
        for i in range(count):
            sectors.append(data[i * size:(i + 1) * size].ljust(size, b"\0"))
            fat.append(first + i + 1 if i + 1 < count else END)
        return first if count else END

    mini, minifat = b"", []
    for node in entries:
        if node.kind != 2:
            continue
        node.size = len(node.data)
        if len(node.data) >= 4096:
            node.start = chain(node.data)
        elif node.data:
            count = (len(node.data) + 63) // 64
            node.start = len(mini) // 64
            minifat += [node.start + i + 1 if i + 1 < count else END for i in range(count)]
            mini += node.data.ljust(64 * count, b"\0")
    root.start, root.size = (chain(mini), len(mini)) if mini else (END, 0)
    minifat_start = chain(b"".join(struct.pack("<I", v) for v in minifat)) if minifat else END
    directory = b""
    for node in entries:
        name = node.name.encode("utf-16-le")
        directory += name.ljust(64, b"\0") + struct.pack(
            "<HBBIII16sIQQIII", len(name) + 2, node.kind, 1, node.left, node.right, node.child,
            b"\0" * 16, 0, 0, 0, node.start, node.size, 0)
    empty = b"\0" * 68 + struct.pack("<III", NONE, NONE, NONE) + b"\0" * 48
    directory += empty * (-len(entries) % 4)
    directory_start = chain(directory)
    fat_count = 1
    while 128 * fat_count < len(fat) + fat_count:
        fat_count += 1
    fat_start = len(sectors)
    fat += [FAT_SECTOR] * fat_count
    fat += [FREE] * (128 * fat_count - len(fat))
    table = b"".join(struct.pack("<I", v) for v in fat)
    for i in range(fat_count):
        sectors.append(table[512 * i:512 * (i + 1)])
    difat = [fat_start + i for i in range(fat_count)] + [FREE] * (109 - fat_count)
    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16 + struct.pack(
        "<HHHHH6sIIIIIIIII", 0x3E, 3, 0xFFFE, 9, 6, b"\0" * 6, 0, fat_count, directory_start,
        0, 4096, minifat_start, len(minifat) and (len(minifat) * 4 + 511) // 512, END, 0)
    header += b"".join(struct.pack("<I", v) for v in difat)
    return header + b"".join(sectors)


def balanced_directory(count):
    """A compound file whose root holds `count` empty streams as a balanced tree."""
    return compound({"S%d" % i: b"" for i in range(1, count + 1)})


def fat_loop():
    """A compound file whose one stream's chain of sectors loops back on itself."""
    data = bytearray(compound({"Big": bytes(range(256)) * 20}))
    fat_at = 512 + 512 * (struct.unpack_from("<I", data, 0x4C)[0])
    struct.pack_into("<I", data, fat_at + 4 * 2, 0)  # the third sector leads back to the first
    return bytes(data)


# ---------------------------------------------------------------------------------------------
# Binary workbook streams (BIFF8)


def record(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def bof(kind):
    return record(0x0809, struct.pack("<HHHHII", 0x0600, kind, 0x0DBB, 0x07CC, 0, 6))


def xl_string(text, length_bytes=2):
    wide = any(ord(c) > 0xFF for c in text)
    chars = text.encode("utf-16-le") if wide else text.encode("latin-1")
    return struct.pack("<H" if length_bytes == 2 else "<B", len(text)) + bytes([wide]) + chars


def workbook(globals_, sheets):
    """A Workbook stream: BOF, `globals_` records, the sheet list, then each sheet's records."""
    out = bytearray(bof(0x0005) + b"".join(globals_))
    offsets = []
    for name, _ in sheets:
        offsets.append(len(out) + 4)
        out += record(0x0085, b"\0\0\0\0\0\0" + xl_string(name, 1))
    out += record(0x000A)
    for (name, records), at in zip(sheets, offsets):
        struct.pack_into("<I", out, at, len(out))
        out += bof(0x0010) + b"".join(records) + record(0x000A)
    return bytes(out)


def number(row, column, value, xf=0):
    return record(0x0203, struct.pack("<HHHd", row, column, xf, value))


def sst_cell(row, column, index):
    return record(0x00FD, struct.pack("<HHHI", row, column, 0, index))


def plain_book():
    strings = ["Region", "North", "South", "东部"]
    sst = record(0x00FC, struct.pack("<II", len(strings), len(strings)) +
                 b"".join(xl_string(s) for s in strings))
    formats = record(0x041E, struct.pack("<H", 164) + xl_string("0.00%"))
    cells = [record(0x0200, struct.pack("<IIHHH", 0, 4, 0, 3, 0))]
    cells += [sst_cell(r, 0, r) for r in range(4)]
    cells += [number(r, 1, r * 1.5) for r in range(1, 4)]
    cells += [record(0x027E, struct.pack("<HHHI", 1, 2, 0, (25 << 2) | 2))]  # RK 25
    cells += [record(0x0205, struct.pack("<HHHBB", 2, 2, 0, 1, 0))]  # TRUE
    cells += [record(0x0006, struct.pack("<HHHdHI", 3, 2, 0, 7.0, 0, 0) +
                     struct.pack("<H", 3) + b"\x1E\x07\x00")]  # =7
    return workbook([sst, formats], [("Data", cells), ("Second", [number(0, 0, 1)])])


def continued_strings(count):
    """A shared-string table over `count` Continue records, one string in each."""
    text = [xl_string("s" + chr(ord("a") + i % 26)) for i in range(count)]
    globals_ = [record(0x00FC, struct.pack("<II", count, count) + text[0])]
    globals_ += [record(0x003C, t) for t in text[1:]]
    return workbook(globals_, [("Data", [sst_cell(0, 0, count - 1)])])


def one_sheet_twice():
    """A sheet list whose second entry gives the first one's offset."""
    stream = bytearray(workbook([], [("A", [number(0, 0, 1)]), ("B", [number(0, 0, 2)])]))
    sheets, at = [], 0
    while at + 4 <= len(stream):
        rid, length = struct.unpack_from("<HH", stream, at)
        if rid == 0x0085:
            sheets.append(at + 4)
        at += 4 + length
    stream[sheets[1]:sheets[1] + 4] = stream[sheets[0]:sheets[0] + 4]
    return bytes(stream)


def claimed_rows():
    """Row and dimension records that claim a grid of 65,535 x 256 cells over a few cells."""
    records_ = [record(0x0200, struct.pack("<IIHHH", 0, 65535, 0, 256, 0))]
    records_ += [record(0x0208, struct.pack("<HHHHHHI", r, 0, 256, 0x0F, 0, 0, 0x100))
                 for r in range(0, 65535, 1024)]
    records_ += [number(65534, 255, 9), number(0, 0, 1)]
    return workbook([], [("Tall", records_)])


# ---------------------------------------------------------------------------------------------
# Graph chart objects' Workbook streams


class Graph:
    def __init__(self):
        self.out = record(0x0809, struct.pack("<HH12x", 0x0680, 0x0005)) + record(0x000A)
        self.out += record(0x0809, struct.pack("<HH12x", 0x0680, 0x8000))

    def add(self, rid, body=b""):
        self.out += record(rid, body)
        return self

    def begin(self):
        return self.add(0x1033)

    def end(self):
        return self.add(0x1034)

    def number(self, row, column, value):
        return self.add(0x0003, struct.pack("<HHBBBd", row, column, 0, 0, 0, value))

    def label(self, row, column, text):
        return self.add(0x0004, struct.pack("<HH3xH", row, column, len(text)) + text.encode())

    def kind(self, rid, body):
        return self.add(0x1014, bytes(20)).begin().add(rid, body).end()

    def bytes(self):
        return self.out + record(0x000A)


def graph_table(g, rows=3, columns=3):
    for c in range(1, columns + 1):
        g.label(0, c, chr(ord("A") + c - 1))
    for r in range(1, rows + 1):
        g.label(r, 0, "S%d" % r)
        for c in range(1, columns + 1):
            g.number(r, c, r * 10 + c)
    return g


def graph_line_with_look():
    g = graph_table(Graph())
    g.add(0x0031, struct.pack("<HHHH6x", 200, 0, 0x7FFF, 400) + b"\x05\x01" +
          "Arial".encode("utf-16-le"))
    g.add(0x1053, struct.pack("<HHHH", 0, 2, 3, 4)).add(0x1055, b"\x01\0\0\0\0\x01")
    g.add(0x1003, bytes(12)).begin()
    g.add(0x1006, struct.pack("<HHHH", 0xFFFF, 0, 0, 0)).begin()
    g.add(0x1007, b"\x12\x34\x56\0" + struct.pack("<HHHH", 1, 2, 0, 8))
    g.add(0x1009, b"\x11\x22\x33\0\x44\x55\x66\0" + struct.pack("<HHHHI", 8, 0, 8, 9, 200))
    g.end().end()
    g.add(0x1025, bytes(32)).begin().add(0x100D, b"\0\0\x04\x01" + "Look".encode("utf-16-le"))
    g.add(0x1027, struct.pack("<HHH", 1, 0, 0)).end()
    g.add(0x101D, struct.pack("<H16x", 1)).begin()
    g.add(0x101F, struct.pack("<dddddH", 1, 1000, 10, 0, 0, 0x38)).end()
    return g.kind(0x1018, struct.pack("<H", 0)).bytes()


def graph_nested(depth):
    g = Graph().kind(0x1017, bytes(6))
    for _ in range(depth):
        g.begin().add(0x105D, struct.pack("<H", 1))
    for _ in range(depth):
        g.end()
    return g.bytes()


def graph_spread_pie(count):
    """A pie whose values lie 16 rows apart, with an exclusion record of many change points."""
    g = Graph()
    for i in range(1, count + 1):
        g.number(16 * i, 1, i)
    g.add(0x1053, struct.pack("<H", 0) + struct.pack("<HH", 1, 1) * (count // 2))
    g.add(0x1055, b"\0" * 6)
    return g.kind(0x1019, bytes(6)).bytes()


def graph_far_cell(row, column):
    return Graph().number(row, column, 7).kind(0x1017, bytes(6)).bytes()


# ---------------------------------------------------------------------------------------------
# PowerPoint 97-2003 presentations


def atom(rtype, body=b"", instance=0, version=0):
    return struct.pack("<HHI", (instance << 4) | version, rtype, len(body)) + body


def container(rtype, children, instance=0):
    return atom(rtype, b"".join(children), instance, 0xF)


def cstring(text, instance):
    return atom(0x0FBA, text.encode("utf-16-le"), instance)


def shape(spid, name, flags=0x0A00):
    fopt = struct.pack("<HI", 0x8380, len(name) * 2 + 2) + (name + "\0").encode("utf-16-le")
    return container(0xF004, [atom(0xF00A, struct.pack("<II", spid, flags), 0x001, 2),
                              atom(0xF00B, fopt, 1, 3),
                              container(0xF011, [atom(0x0BC1, struct.pack("<I", 1))])])


def slide(name, shapes):
    group = container(0xF004, [atom(0xF009, bytes(16), 0, 1),
                               atom(0xF00A, struct.pack("<II", 1024, 0x0005), 0, 2)])
    drawing = container(0x040C, [container(0xF002, [
        atom(0xF008, struct.pack("<II", len(shapes) + 1, 1024 + len(shapes)), 1),
        container(0xF003, [group] + shapes)])])
    tags = container(0x1388, [container(0x1389, [cstring("NAME", 0), cstring("Sales", 1)])])
    return container(0x03EE, [atom(0x03EF, bytes(24), 0, 2), drawing, atom(0x07F0, bytes(32)),
                              cstring(name, 3), tags])


def presentation(slides=1, graph=b"", prefix=0):
    """Current User and PowerPoint Document streams of a deck of `slides` slides; with `graph`,
    an embedded Graph chart object holding it as its Workbook stream. The stream begins with
    `prefix` bytes that give the edit's offset."""
    stream = b"\0" * prefix
    offsets = {}
    objects = []
    if graph:
        objects = [container(0x0409, [atom(0x040A, struct.pack("<I", 1)), container(0x0FCC, [
            atom(0x0FCD, struct.pack("<iBBBB", 0, 0, 0, 0, 0)),
            atom(0x0FC3, struct.pack("<IIIIII", 0, 0, 1, 0, 2 + slides, 0), 0, 1),
            cstring("Chart", 1), cstring("MSGraph.Chart.8", 2), cstring("Graph", 3)])])]
    persist_atoms = [atom(0x03F3, struct.pack("<IIiII", 2 + i, 0, 0, 256 + i, 0))
                     for i in range(slides)]
    document = container(0x03E8, [atom(0x03E9, bytes(40), 0, 1),
                                  container(0x0FF0, persist_atoms)] + objects +
                         [atom(0x03EA)])
    offsets[1] = len(stream)
    stream += document
    for i in range(slides):
        offsets[2 + i] = len(stream)
        stream += slide("Slide %d" % (i + 1), [shape(1025 + i, "Chart %d" % (i + 1))])
    if graph:
        offsets[2 + slides] = len(stream)
        stream += atom(0x1011, compound({"Workbook": graph}))
    ids = sorted(offsets)
    directory_at = len(stream)
    stream += atom(0x1772, struct.pack("<I", ids[0] | (len(ids) << 20)) +
                   b"".join(struct.pack("<I", offsets[i]) for i in ids))
    edit_at = len(stream)
    stream += atom(0x0FF5, struct.pack("<IHBBIIIIHH", 256, 0, 0, 3, 0, directory_at, 1,
                                       len(ids) + 1, 1, 0))
    stream = struct.pack("<I", edit_at)[:prefix] + stream[prefix:]
    user = atom(0x0FF6, struct.pack("<IIIHHBBH", 20, 0xE391C05F, edit_at, 0, 0x03F4, 3, 0, 0))
    return user, stream


def ppt_file(**kwargs):
    user, stream = presentation(**kwargs)
    return compound({"Current User": user, "PowerPoint Document": stream})


def ppt_stream_mode(**kwargs):
    """The target's mode 1: the edit's offset, then the PowerPoint Document stream."""
    return presentation(prefix=4, **kwargs)[1]


# ---------------------------------------------------------------------------------------------
# Zip packages


def zip_bytes(entries, order=None):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in (order or list(entries.items())):
            z.writestr(name, data)
    return out.getvalue()


def read_zip(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist()}


def duplicated(entries, part, case=False):
    """The package with `part` stored twice (the second time in other letters with `case`)."""
    second = part.upper() if case else part
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return zip_bytes(entries, list(entries.items()) + [(second, entries[part])])


def lying_header(entries, part):
    """The package with the local header of `part` naming another part of the same length."""
    data = bytearray(zip_bytes(entries))
    name = part.encode()
    at = data.find(b"PK\x03\x04")
    while at >= 0:
        length = struct.unpack_from("<H", data, at + 26)[0]
        if data[at + 30:at + 30 + length] == name:
            data[at + 30 + length - 1] ^= 0x01
            break
        at = data.find(b"PK\x03\x04", at + 4)
    return bytes(data)


def workbook_xlsx():
    import openpyxl
    from openpyxl.worksheet.table import Table
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Data"
    for row in [["Region", "Sales", "Share"], ["North", 12.5, 0.25], ["南方", 30, 0.75]]:
        sheet.append(row)
    sheet["C2"].number_format = "0.00%"
    sheet.merge_cells("A5:B5")
    sheet["A5"] = "merged"
    sheet.add_table(Table(displayName="Sales", ref="A1:C3"))
    out = io.BytesIO()
    book.save(out)
    return out.getvalue()


# ---------------------------------------------------------------------------------------------


def write(target, name, mode, data):
    folder = os.path.join(SEEDS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes([mode]) + data)


def compound_seeds():
    small = compound({"Package": b"PK\x03\x04" + bytes(60), "\x02OlePres000": bytes(range(200)),
                      "Box/Inner": b"inner" * 20, "Big": bytes(5000)})
    write("fuzz_compound", "small", 0, small)
    write("fuzz_compound", "small-body", 1, small[8:])
    write("fuzz_compound", "balanced-directory", 0, balanced_directory(300))
    write("fuzz_compound", "fat-loop", 0, fat_loop())
    write("fuzz_compound", "object-stream", 2, b"Workbook" + bytes(100))


def xls_seeds():
    plain = plain_book()
    write("fuzz_xls", "plain-file", 0, compound({"Workbook": plain}))
    write("fuzz_xls", "plain-stream", 1, plain)
    write("fuzz_xls", "continued-strings", 1, continued_strings(400))
    write("fuzz_xls", "one-sheet-twice", 1, one_sheet_twice())
    write("fuzz_xls", "claimed-rows", 1, claimed_rows())
    write("fuzz_xls", "claimed-rows-file", 0, compound({"Workbook": claimed_rows()}))
    write("fuzz_xls", "patch-bof", 2, struct.pack("<H", 0) + b"\x09\x08\x10\x00\x00\x05")
    write("fuzz_xls", "patch-cell", 2, struct.pack("<H", 1200) + b"\x03\x02\x0E\x00\xFF\xFF")
    write("fuzz_xls", "graph-line", 3, graph_line_with_look())
    write("fuzz_xls", "graph-nested", 3, graph_nested(500))
    write("fuzz_xls", "graph-spread-pie", 3, graph_spread_pie(64))
    write("fuzz_xls", "graph-far-row", 3, graph_far_cell(65534, 1))
    write("fuzz_xls", "graph-last-column", 3, graph_far_cell(3, 16383))


def workbook_seeds():
    base = workbook_xlsx()
    entries = read_zip(io.BytesIO(base))
    write("fuzz_workbook", "table-book", 0, base)
    write("fuzz_workbook", "twice-stored-part", 0, duplicated(entries, "xl/workbook.xml"))
    write("fuzz_workbook", "case-variant-part", 0,
          duplicated(entries, "xl/worksheets/sheet1.xml", case=True))
    write("fuzz_workbook", "lying-local-header", 0, lying_header(entries, "xl/styles.xml"))
    parts = {1: "xl/worksheets/sheet1.xml", 2: "xl/sharedStrings.xml", 3: "xl/styles.xml",
             4: "xl/workbook.xml", 5: "xl/tables/table1.xml"}
    for mode, part in parts.items():
        if part in entries:
            write("fuzz_workbook", os.path.basename(part), mode, entries[part])
    codes = ["0.00%", "#,##0.00;[Red]-#,##0.00", "yyyy-mm-dd hh:mm:ss", "[$-409]mmmm d, yyyy",
             "0.0E+00", "# ?/?", '"Total "@', "[h]:mm:ss.00", "[<100]0;0.00", "_(* #,##0_)"]
    for i, code in enumerate(codes):
        write("fuzz_workbook", "format-%d" % i, 6, code.encode())


def presentation_seeds():
    # The target replaces the parts of three_charts.pptx; the whole decks are the smaller
    # tables.pptx, damaged.
    parts = read_zip(os.path.join(ROOT, "tests", "fixtures", "pptx", "three_charts.pptx"))
    entries = read_zip(os.path.join(ROOT, "tests", "fixtures", "pptx", "tables.pptx"))
    write("fuzz_presentation", "twice-stored-part", 0,
          duplicated(entries, "ppt/slides/slide1.xml"))
    write("fuzz_presentation", "case-variant-part", 0,
          duplicated(entries, "ppt/presentation.xml", case=True))
    write("fuzz_presentation", "lying-local-header", 0,
          lying_header(entries, "ppt/presentation.xml"))
    write("fuzz_presentation", "slide", 1, parts["ppt/slides/slide1.xml"])
    write("fuzz_presentation", "presentation", 2, parts["ppt/presentation.xml"])
    write("fuzz_presentation", "slide-rels", 3, parts["ppt/slides/_rels/slide1.xml.rels"])
    write("fuzz_presentation", "tags", 4,
          b'<p:tagLst xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">'
          b'<p:tag name="NAME" val="Sales bar"/><p:tag name="TYPE" val="chart"/></p:tagLst>')


def ppt_seeds():
    write("fuzz_ppt_binary", "one-slide", 0, ppt_file())
    write("fuzz_ppt_binary", "graph-object", 0, ppt_file(slides=2, graph=graph_line_with_look()))
    write("fuzz_ppt_binary", "stream-one-slide", 1, ppt_stream_mode())
    write("fuzz_ppt_binary", "stream-three-slides", 1, ppt_stream_mode(slides=3))


def main():
    shutil.rmtree(SEEDS, ignore_errors=True)
    compound_seeds()
    xls_seeds()
    workbook_seeds()
    presentation_seeds()
    ppt_seeds()


if __name__ == "__main__":
    main()
