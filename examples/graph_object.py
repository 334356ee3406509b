"""Adds a Microsoft Graph chart object (MSGraph.Chart.8) to a slide of a .pptx, the kind of
chart object that older templates hold: a compound file whose "Workbook" stream holds the
data sheet and the chart in binary workbook records, shown by a preview picture until it is
converted. Nothing else makes such objects any more, so the example's template gets one from
this script.

Used by examples/make_example.py.
"""
import struct
import zipfile

from ole_embed import _free_name, _next_rel_id, _next_shape_id, grid_png, EMU_PER_INCH, IMAGE_REL

OLE_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject"
OLE_TYPE = "application/vnd.openxmlformats-officedocument.oleObject"
GRAPH_CLSID = bytes.fromhex("0308020000000000C000000000000046")  # 00020803-...-000046

# ---- the compound file ---------------------------------------------------------------------

SECTOR = 512
MINI = 64
FREE, END, FAT_SECTOR, NO_STREAM = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF


def _entry(name, kind, start, size, child=NO_STREAM, right=NO_STREAM, clsid=bytes(16)):
    encoded = name.encode("utf-16-le") + b"\0\0"
    return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1) +
            struct.pack("<III", NO_STREAM, right, child) + clsid + bytes(4 + 16) +
            struct.pack("<IQ", start, size))


def compound_file(streams, clsid):
    """A version 3 compound file holding `streams` (name -> bytes, each under 4096 bytes, so
    all of them live in the mini stream) in its root storage."""
    names = sorted(streams, key=lambda n: (len(n), n.upper()))
    mini, minifat, starts = b"", [], {}
    for name in names:
        data = streams[name]
        assert len(data) < 4096, name
        count = max(1, -(-len(data) // MINI))
        starts[name] = len(minifat)
        minifat += [len(minifat) + i + 1 for i in range(count - 1)] + [END]
        mini += data.ljust(count * MINI, b"\0")
    # Sectors: the mini stream, the mini FAT, the directory, then the FAT.
    mini_sectors = -(-len(mini) // SECTOR)
    minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
    minifat_sectors = -(-len(minifat_bytes) // SECTOR)
    directory = _entry("Root Entry", 5, 0 if mini else END, len(mini),
                       child=1 if names else NO_STREAM, clsid=clsid)
    for i, name in enumerate(names):
        right = i + 2 if i + 1 < len(names) else NO_STREAM
        directory += _entry(name, 2, starts[name], len(streams[name]), right=right)
    directory = directory.ljust(-(-len(directory) // SECTOR) * SECTOR, b"\0")
    dir_sectors = len(directory) // SECTOR
    used = mini_sectors + minifat_sectors + dir_sectors
    fat_sectors = -(-(used + 1) * 4 // SECTOR)
    while -(-(used + fat_sectors) * 4 // SECTOR) > fat_sectors:
        fat_sectors += 1
    fat = []
    for first, count in ((0, mini_sectors), (mini_sectors, minifat_sectors),
                         (mini_sectors + minifat_sectors, dir_sectors)):
        fat += [first + i + 1 for i in range(count - 1)] + ([END] if count else [])
    fat += [FAT_SECTOR] * fat_sectors
    fat += [FREE] * (fat_sectors * SECTOR // 4 - len(fat))
    difat = [used + i for i in range(fat_sectors)] + [FREE] * (109 - fat_sectors)
    header = (bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16) +
              struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + bytes(6) +
              struct.pack("<IIIIIIIII", 0, fat_sectors, mini_sectors + minifat_sectors, 0, 4096,
                          mini_sectors if minifat else END, minifat_sectors, END, 0) +
              b"".join(struct.pack("<I", v) for v in difat))
    return (header + mini.ljust(mini_sectors * SECTOR, b"\0") +
            minifat_bytes.ljust(minifat_sectors * SECTOR, b"\0") + directory +
            b"".join(struct.pack("<I", v) for v in fat))

# ---- the Graph records ---------------------------------------------------------------------


def _record(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def _begin(rid, body, inner):
    return _record(rid, body) + _record(0x1033) + b"".join(inner) + _record(0x1034)


def _label(row, col, text):
    raw = text.encode("latin-1")
    return _record(0x0004, struct.pack("<HH", row, col) + bytes(3) + struct.pack("<H", len(raw)) +
                   raw)


def _number(row, col, value, fmt=3):
    return _record(0x0003, struct.pack("<HHBBBd", row, col, 0, fmt, 0, value))


def _text(link, caption):
    raw = caption.encode("utf-16-le")
    return _begin(0x1025, bytes(32), [
        _record(0x100D, struct.pack("<HBB", 0, len(caption), 1) + raw),
        _record(0x1027, struct.pack("<HHH", link, 0, 0)),
    ])


def graph_workbook(categories, series, title):
    """The Workbook stream of a clustered column chart: series (name, values) in rows, the
    categories along the first row, a title, a legend on the right and value gridlines."""
    bof = struct.pack("<HHHHII", 0x0680, 0x0005, 0x0DBB, 0x07CD, 0x40C1, 0x0106)
    chart_bof = struct.pack("<HHHHII", 0x0680, 0x8000, 0x0DBB, 0x07CD, 0x40C1, 0x0106)
    cells = [_label(0, c + 1, name) for c, name in enumerate(categories)]
    for r, (name, values) in enumerate(series, start=1):
        cells.append(_label(r, 0, name))
        cells += [_number(r, c + 1, float(v)) for c, v in enumerate(values)]
    records = [_record(0x0809, bof), _record(0x000A), _record(0x0809, chart_bof)]
    records += cells
    records.append(_record(0x1055, struct.pack("<BHHB", 1, 0, 0, 1)))
    for i in range(len(series)):
        records.append(_begin(0x1003, struct.pack("<HHHHHH", 3, 1, len(categories),
                                                  len(categories), 1, 0), [
            _begin(0x1006, struct.pack("<HHHH", 0xFFFF, i, i, 0), [
                _record(0x100A, bytes(8) + struct.pack("<HHHH", 1, 1, 24 + i, 9)),
            ]),
        ]))
    records.append(_text(1, title))
    records.append(_begin(0x101D, struct.pack("<H", 0) + bytes(16), []))
    records.append(_begin(0x101D, struct.pack("<H", 1) + bytes(16), [
        _record(0x1021, struct.pack("<H", 1)),
        _record(0x1007, bytes(4) + struct.pack("<HHHH", 0, 0, 1, 8)),
    ]))
    records.append(_begin(0x1014, bytes(20), [
        _record(0x1017, struct.pack("<hHH", 0, 150, 0)),
        _record(0x1015, bytes(16) + struct.pack("<BBH", 3, 1, 0)),
    ]))
    records.append(_record(0x000A))
    return b"".join(records)

# ---- the slide -----------------------------------------------------------------------------


def _frame_xml(shape_id, name, object_rid, image_rid, box):
    x, y, cx, cy = (int(v * EMU_PER_INCH) for v in box)
    ole = (f'<p:oleObj name="Chart" r:id="{object_rid}" imgW="{cx}" imgH="{cy}" '
           f'progId="MSGraph.Chart.8">')
    pic = (f'<p:pic><p:nvPicPr><p:cNvPr id="0" name=""/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>'
           f'<p:blipFill><a:blip r:embed="{image_rid}"/><a:stretch><a:fillRect/></a:stretch>'
           f'</p:blipFill><p:spPr><a:xfrm><a:off x="{x}" y="{y}"/><a:ext cx="{cx}" cy="{cy}"/>'
           f'</a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr></p:pic>')
    return (
        f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{shape_id}" name="{name}"/>'
        f'<p:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect="1"/></p:cNvGraphicFramePr>'
        f'<p:nvPr/></p:nvGraphicFramePr>'
        f'<p:xfrm><a:off x="{x}" y="{y}"/><a:ext cx="{cx}" cy="{cy}"/></p:xfrm>'
        f'<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/presentationml/2006/ole">'
        f'<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
        f'<mc:Choice xmlns:v="urn:schemas-microsoft-com:vml" Requires="v">'
        f'{ole[:-1]} spid="_x0000_s{1024 + shape_id}"><p:embed followColorScheme="full"/>'
        f'</p:oleObj></mc:Choice>'
        f'<mc:Fallback>{ole}<p:embed followColorScheme="full"/>{pic}</p:oleObj></mc:Fallback>'
        f'</mc:AlternateContent></a:graphicData></a:graphic></p:graphicFrame>')


def embed_graph(pptx_path, slide_number, name, box, categories, series, title):
    """Adds a Graph column chart named name on slide slide_number (1-based); box is (x, y,
    width, height) in inches. Rewrites the file in place."""
    with zipfile.ZipFile(pptx_path) as source:
        entries = [(info, source.read(info.filename)) for info in source.infolist()]
    parts = {info.filename: data for info, data in entries}
    slide_part = f"ppt/slides/slide{slide_number}.xml"
    rels_part = f"ppt/slides/_rels/slide{slide_number}.xml.rels"
    object_part = _free_name(parts, "ppt/embeddings/", "oleObject", "bin")
    image_part = _free_name(parts, "ppt/media/", "graphImage", "png")

    rels = parts[rels_part].decode()
    object_rid = f"rId{_next_rel_id(rels)}"
    image_rid = f"rId{_next_rel_id(rels) + 1}"
    rels = rels.replace(
        "</Relationships>",
        f'<Relationship Id="{object_rid}" Type="{OLE_REL}" '
        f'Target="../embeddings/{object_part.rsplit("/", 1)[1]}"/>'
        f'<Relationship Id="{image_rid}" Type="{IMAGE_REL}" '
        f'Target="../media/{image_part.rsplit("/", 1)[1]}"/></Relationships>')
    parts[rels_part] = rels.encode()

    slide = parts[slide_part].decode()
    frame = _frame_xml(_next_shape_id(slide), name, object_rid, image_rid, box)
    parts[slide_part] = slide.replace("</p:spTree>", frame + "</p:spTree>", 1).encode()

    types = parts["[Content_Types].xml"].decode()
    for extension, content_type in (("bin", OLE_TYPE), ("png", "image/png")):
        if f'Extension="{extension}"' not in types:
            types = types.replace(
                "<Default ", f'<Default Extension="{extension}" ContentType="{content_type}"/>'
                "<Default ", 1)
    parts["[Content_Types].xml"] = types.encode()

    workbook = graph_workbook(categories, series, title)
    parts[object_part] = compound_file({"Workbook": workbook}, GRAPH_CLSID)
    parts[image_part] = grid_png(len(categories) + 1, len(series) + 1)
    order = [info.filename for info, _ in entries] + [object_part, image_part]
    with zipfile.ZipFile(pptx_path, "w", zipfile.ZIP_DEFLATED) as target:
        for part in order:
            target.writestr(part, parts[part])
