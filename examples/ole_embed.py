"""Adds an embedded spreadsheet object (Excel.Sheet.12, an .xlsx package part) to a slide of a
.pptx, the way an office suite stores one: a graphic frame holding p:oleObj twice, in
mc:Choice and in mc:Fallback with its preview picture, a package relationship to the
embedded workbook and an image relationship to the preview. pptxgenjs cannot make such an
object, so the templates are finished with this after pptxgenjs has written them.

Used by examples/make_example.py and tests/fixtures/engine/make_fixtures.py.
"""
import re
import struct
import zipfile
import zlib

EMU_PER_INCH = 914400
PACKAGE_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/package"
IMAGE_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image"
XLSX_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"


def grid_png(columns, rows, cell_w=64, cell_h=20):
    """A white picture with grey grid lines: a neutral preview until the object is redrawn."""
    width, height = columns * cell_w + 1, rows * cell_h + 1
    lines = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            on_line = x % cell_w == 0 or y % cell_h == 0
            row += bytes((192, 192, 192) if on_line else (255, 255, 255))
        lines.append(bytes(row))
    raw = b"".join(lines)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def _next_rel_id(rels_xml):
    ids = [int(n) for n in re.findall(r'Id="rId(\d+)"', rels_xml)]
    return max(ids, default=0) + 1


def _next_shape_id(slide_xml):
    ids = [int(n) for n in re.findall(r'<p:cNvPr[^>]*\bid="(\d+)"', slide_xml)]
    return max(ids, default=1) + 1


def _free_name(names, folder, stem, extension):
    number = 1
    while f"{folder}{stem}{number}.{extension}" in names:
        number += 1
    return f"{folder}{stem}{number}.{extension}"


def _frame_xml(shape_id, name, package_rid, image_rid, box):
    x, y, cx, cy = (int(v * EMU_PER_INCH) for v in box)
    ole = (f'<p:oleObj name="Worksheet" r:id="{package_rid}" imgW="{cx}" imgH="{cy}" '
           f'progId="Excel.Sheet.12">')
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
        f'{ole[:-1]} spid="_x0000_s{1024 + shape_id}"><p:embed/></p:oleObj></mc:Choice>'
        f'<mc:Fallback>{ole}<p:embed/>{pic}</p:oleObj></mc:Fallback>'
        f'</mc:AlternateContent></a:graphicData></a:graphic></p:graphicFrame>')


def embed_workbook(pptx_path, slide_number, xlsx_bytes, name, box, preview_size=(4, 5)):
    """Adds the workbook xlsx_bytes as an embedded object named name on slide slide_number
    (1-based, the file slideN.xml that pptxgenjs writes); box is (x, y, width, height) in
    inches. Rewrites the file in place."""
    with zipfile.ZipFile(pptx_path) as source:
        entries = [(info, source.read(info.filename)) for info in source.infolist()]
    names = {info.filename for info, _ in entries}
    slide_part = f"ppt/slides/slide{slide_number}.xml"
    rels_part = f"ppt/slides/_rels/slide{slide_number}.xml.rels"
    workbook_part = _free_name(names, "ppt/embeddings/", "Microsoft_Excel_Worksheet", "xlsx")
    image_part = _free_name(names, "ppt/media/", "oleImage", "png")

    parts = {info.filename: data for info, data in entries}
    rels = parts[rels_part].decode()
    package_rid = f"rId{_next_rel_id(rels)}"
    image_rid = f"rId{_next_rel_id(rels) + 1}"
    rels = rels.replace(
        "</Relationships>",
        f'<Relationship Id="{package_rid}" Type="{PACKAGE_REL}" '
        f'Target="../embeddings/{workbook_part.rsplit("/", 1)[1]}"/>'
        f'<Relationship Id="{image_rid}" Type="{IMAGE_REL}" '
        f'Target="../media/{image_part.rsplit("/", 1)[1]}"/></Relationships>')
    parts[rels_part] = rels.encode()

    slide = parts[slide_part].decode()
    frame = _frame_xml(_next_shape_id(slide), name, package_rid, image_rid, box)
    parts[slide_part] = slide.replace("</p:spTree>", frame + "</p:spTree>", 1).encode()

    types = parts["[Content_Types].xml"].decode()
    for extension, content_type in (("xlsx", XLSX_TYPE), ("png", "image/png")):
        if f'Extension="{extension}"' not in types:
            types = types.replace(
                "<Default ", f'<Default Extension="{extension}" ContentType="{content_type}"/>'
                "<Default ", 1)
    parts["[Content_Types].xml"] = types.encode()

    parts[workbook_part] = xlsx_bytes
    parts[image_part] = grid_png(*preview_size)
    order = [info.filename for info, _ in entries] + [workbook_part, image_part]
    with zipfile.ZipFile(pptx_path, "w", zipfile.ZIP_DEFLATED) as target:
        for part in order:
            target.writestr(part, parts[part])
