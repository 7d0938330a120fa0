#!/usr/bin/env python3
"""Writes the small documents and archives that tst_containers reads, into fixtures/.

Each document holds one address split across runs (or spans, or text operators) and one that
only a hyperlink carries. Run it again after changing it and commit what it writes; the zip
entries carry a fixed date so the output only changes when this script does (except the encrypted
zip, whose encryption header is random: keep the committed one unless it must change).
"""
import gzip
import bz2
import io
import lzma
import os
import shutil
import subprocess
import sys
import tarfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "fixtures")
DATE = (2024, 1, 2, 3, 4, 6)


def zip_bytes(members, first_stored=None):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, DATE)
            info.compress_type = zipfile.ZIP_STORED if name == first_stored else zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return buffer.getvalue()


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"


def docx():
    document = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:document {W}><w:body>
<w:p><w:r><w:t xml:space="preserve">Écrire à jean.du</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>pont@exemple.fr</w:t></w:r><w:r><w:t xml:space="preserve"> ou à </w:t></w:r><w:hyperlink r:id="rId9"><w:r><w:t>notre secrétariat</w:t></w:r></w:hyperlink></w:p>
<w:tbl><w:tr><w:tc><w:p><w:r><w:t>cellule@exemple.fr</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>voisine@exemple.fr</w:t></w:r></w:p></w:tc></w:tr></w:tbl>
<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> HYPERLINK "mailto:champ@exemple.fr" </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>le champ</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>
<w:p><w:del><w:r><w:delText>efface@exemple.fr</w:delText></w:r></w:del></w:p>
</w:body></w:document>"""
    header = f"""<?xml version="1.0" encoding="UTF-8"?><w:hdr {W}><w:p><w:r><w:t>entete@exemple.fr</w:t></w:r></w:p></w:hdr>"""
    comments = f"""<?xml version="1.0" encoding="UTF-8"?><w:comments {W}><w:comment w:id="0"><w:p><w:r><w:t>relecteur@exemple.fr</w:t></w:r></w:p></w:comment></w:comments>"""
    rels = f"""<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG_REL}">
<Relationship Id="rId1" Type="{REL}/header" Target="header1.xml"/>
<Relationship Id="rId9" Type="{REL}/hyperlink" Target="mailto:secretariat@exemple.fr?subject=Inscription" TargetMode="External"/>
<Relationship Id="rId10" Type="{REL}/hyperlink" Target="https://exemple.fr/pas@une-adresse.fr" TargetMode="External"/>
</Relationships>"""
    types = """<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>"""
    root = f"""<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG_REL}"><Relationship Id="rId1" Type="{REL}/officeDocument" Target="word/document.xml"/></Relationships>"""
    return zip_bytes([("[Content_Types].xml", types), ("_rels/.rels", root),
                      ("word/document.xml", document), ("word/header1.xml", header),
                      ("word/comments.xml", comments),
                      ("word/_rels/document.xml.rels", rels),
                      ("word/media/image1.png", b"\x89PNG\r\n\x1a\nimage@exemple.fr")])


def xlsx():
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    shared = f"""<?xml version="1.0" encoding="UTF-8"?><sst {ns} count="2" uniqueCount="2">
<si><r><t>marie.cu</t></r><r><rPr><b/></rPr><t>rie@exemple.fr</t></r></si><si><t>Comptabilité</t></si></sst>"""
    sheet = f"""<?xml version="1.0" encoding="UTF-8"?><worksheet {ns} xmlns:r="{REL}"><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1"><v>42</v></c></row>
<row r="2"><c r="A2" t="inlineStr"><is><t>en.ligne@exemple.fr</t></is></c><c r="B2" t="str"><f>"calcul"&amp;"@exemple.fr"</f><v>calcul@exemple.fr</v></c></row>
</sheetData><hyperlinks><hyperlink ref="B1" r:id="rId1"/></hyperlinks></worksheet>"""
    sheet_rels = f"""<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG_REL}"><Relationship Id="rId1" Type="{REL}/hyperlink" Target="mailto:compta@exemple.fr" TargetMode="External"/></Relationships>"""
    types = """<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>"""
    return zip_bytes([("[Content_Types].xml", types), ("xl/sharedStrings.xml", shared),
                      ("xl/worksheets/sheet1.xml", sheet),
                      ("xl/worksheets/_rels/sheet1.xml.rels", sheet_rels)])


def pptx():
    a = ('xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
         'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" '
         f'xmlns:r="{REL}"')
    slide = f"""<?xml version="1.0" encoding="UTF-8"?><p:sld {a}><p:cSld><p:spTree><p:sp><p:txBody>
<a:p><a:r><a:t>Inscriptions : claire.fon</a:t></a:r><a:r><a:rPr b="1"/><a:t>taine@exemple.fr</a:t></a:r></a:p>
<a:p><a:r><a:rPr><a:hlinkClick r:id="rId2"/></a:rPr><a:t>nous contacter</a:t></a:r></a:p>
</p:txBody></p:sp></p:spTree></p:cSld></p:sld>"""
    rels = f"""<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG_REL}"><Relationship Id="rId2" Type="{REL}/hyperlink" Target="mailto:diapo@exemple.fr" TargetMode="External"/></Relationships>"""
    notes = f"""<?xml version="1.0" encoding="UTF-8"?><p:notes {a}><p:cSld><p:spTree><p:sp><p:txBody><a:p><a:r><a:t>orateur@exemple.fr</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld></p:notes>"""
    comments = f"""<?xml version="1.0" encoding="UTF-8"?><p:cmLst {a}><p:cm authorId="0"><p:text>avis@exemple.fr</p:text></p:cm></p:cmLst>"""
    types = """<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>"""
    return zip_bytes([("[Content_Types].xml", types), ("ppt/slides/slide1.xml", slide),
                      ("ppt/slides/_rels/slide1.xml.rels", rels),
                      ("ppt/notesSlides/notesSlide1.xml", notes),
                      ("ppt/comments/comment1.xml", comments)])


ODF_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
          'xmlns:xlink="http://www.w3.org/1999/xlink"')


def odf(mimetype, body, styles_body=""):
    content = f"""<?xml version="1.0" encoding="UTF-8"?><office:document-content {ODF_NS} office:version="1.3"><office:body>{body}</office:body></office:document-content>"""
    styles = f"""<?xml version="1.0" encoding="UTF-8"?><office:document-styles {ODF_NS}><office:master-styles>{styles_body}</office:master-styles></office:document-styles>"""
    manifest = """<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"/>"""
    return zip_bytes([("mimetype", mimetype), ("content.xml", content), ("styles.xml", styles),
                      ("META-INF/manifest.xml", manifest)], first_stored="mimetype")


def odt():
    body = """<office:text>
<text:h>Contacts</text:h>
<text:p>Écrire à <text:span>paul.dur</text:span><text:span>and@exemple.fr</text:span> ou <text:a xlink:type="simple" xlink:href="mailto:contact@exemple.fr">nous écrire</text:a>.</text:p>
<text:p>deux<text:s text:c="3"/>espaces<text:tab/>tab<text:line-break/>ligne@exemple.fr</text:p>
<office:annotation><text:p>note@exemple.fr</text:p></office:annotation>
</office:text>"""
    styles = """<style:master-page style:name="Standard"><style:header><text:p>pied@exemple.fr</text:p></style:header></style:master-page>"""
    return odf("application/vnd.oasis.opendocument.text", body, styles)


def odp():
    body = """<office:presentation><draw:page draw:name="p1"><draw:frame><draw:text-box>
<text:p>Salle : <text:span>remi.ga</text:span><text:span>rnier@exemple.fr</text:span></text:p>
<text:p><text:a xlink:href="mailto:projection@exemple.fr">écrire</text:a></text:p>
</draw:text-box></draw:frame>
<presentation:notes><draw:frame><draw:text-box><text:p>notes.odp@exemple.fr</text:p></draw:text-box></draw:frame></presentation:notes>
</draw:page></office:presentation>"""
    return odf("application/vnd.oasis.opendocument.presentation", body)


def ods():
    body = """<office:spreadsheet><table:table table:name="Feuille1">
<table:table-row><table:table-cell><text:p><text:span>luc.mo</text:span>reau@exemple.fr</text:p></table:table-cell>
<table:table-cell><text:p><text:a xlink:href="mailto:tableur@exemple.fr">écrire</text:a></text:p></table:table-cell></table:table-row>
</table:table></office:spreadsheet>"""
    return odf("application/vnd.oasis.opendocument.spreadsheet", body)


def pdf():
    """A one-page PDF: an address drawn by two text operators, one only in a link annotation."""
    # The third line draws "fi" as one ligature glyph, told as U+FB01 by the font's ToUnicode.
    stream = (b"BT /F1 12 Tf 72 720 Td (Ecrire a anne.be) Tj (rnard@exemple.fr) Tj ET\n"
              b"BT /F1 12 Tf 72 700 Td (Cliquer ici) Tj ET\n"
              b"BT /F1 12 Tf 72 680 Td (\\200ona.martin@exemple.fr) Tj ET\n")
    cmap = (b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
            b"/CMapName /Ligature def 1 begincodespacerange <00> <FF> endcodespacerange\n"
            b"1 beginbfchar <80> <FB01> endbfchar\n"
            b"endcmap CMapName currentdict /CMap defineresource pop end end\n")
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 5 0 R >> >> /Annots [6 0 R] >>",
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"endstream",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 7 0 R >>",
        b"<< /Type /Annot /Subtype /Link /Rect [72 695 150 712] /Border [0 0 0] "
        b"/A << /S /URI /URI (mailto:lien@exemple.fr) >> >>",
        b"<< /Length %d >>\nstream\n" % len(cmap) + cmap + b"endstream",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def rc4(key, data):
    box = list(range(256))
    j = 0
    for i in range(256):
        j = (j + box[i] + key[i % len(key)]) & 0xFF
        box[i], box[j] = box[j], box[i]
    i = j = 0
    out = bytearray()
    for byte in data:
        i = (i + 1) & 0xFF
        j = (j + box[i]) & 0xFF
        box[i], box[j] = box[j], box[i]
        out.append(byte ^ box[(box[i] + box[j]) & 0xFF])
    return bytes(out)


def pdf_locked():
    """The one-page PDF above behind a user password (standard security handler, revision 2):
    no reader opens it without the password."""
    import hashlib
    pad = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")
    user, owner, permissions, file_id = b"secret", b"proprio", -4, b"0123456789abcdef"
    owner_key = hashlib.md5((owner + pad)[:32]).digest()[:5]
    o_entry = rc4(owner_key, (user + pad)[:32])
    key = hashlib.md5((user + pad)[:32] + o_entry + permissions.to_bytes(4, "little", signed=True)
                      + file_id).digest()[:5]
    u_entry = rc4(key, pad)
    body = pdf()
    cut = body.index(b"trailer")
    encrypt_at = body.index(b"xref")
    encrypt = (b"8 0 obj\n<< /Filter /Standard /V 1 /R 2 /O <%s> /U <%s> /P %d >>\nendobj\n"
               % (o_entry.hex().encode(), u_entry.hex().encode(), permissions))
    head = body[:encrypt_at] + encrypt
    xref = len(head)
    offsets = [int(line[:10]) for line in body[body.index(b"xref"):cut].split(b"\n")[3:10]]
    table = b"xref\n0 9\n0000000000 65535 f \n" + b"".join(b"%010d 00000 n \n" % o for o in offsets)
    table += b"%010d 00000 n \n" % encrypt_at
    trailer = (b"trailer\n<< /Size 9 /Root 1 0 R /Encrypt 8 0 R /ID [<%s> <%s>] >>\nstartxref\n%d\n%%%%EOF\n"
               % (file_id.hex().encode(), file_id.hex().encode(), xref))
    return head + table + trailer


def pdf_object_streams():
    """A PDF 1.5 whose link annotation sits in a compressed object stream, as newer writers
    keep them, with a cross-reference stream."""
    import zlib
    stream = b"BT /F1 12 Tf 72 720 Td (Pour nous joindre, suivre le lien.) Tj ET\n"
    plain = {
        1: b"<< /Type /Catalog /Pages 2 0 R >>",
        2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
           b"/Resources << /Font << /F1 5 0 R >> >> /Annots [6 0 R] >>",
        4: b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"endstream",
        5: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    }
    annotation = (b"<< /Type /Annot /Subtype /Link /Rect [72 715 300 732] "
                  b"/A << /S /URI /URI (mailto:objet.flux@exemple.fr) >> >>")
    header = b"6 0 "
    packed = zlib.compress(header + annotation)
    plain[7] = (b"<< /Type /ObjStm /N 1 /First %d /Filter /FlateDecode /Length %d >>\nstream\n"
                % (len(header), len(packed)) + packed + b"\nendstream")
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for number in sorted(plain):
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + plain[number] + b"\nendobj\n"
    offsets[8] = len(out)
    rows = bytearray()
    for number in range(9):
        if number == 0:
            rows += bytes([0]) + (0).to_bytes(4, "big") + (65535).to_bytes(2, "big")
        elif number == 6:
            rows += bytes([2]) + (7).to_bytes(4, "big") + (0).to_bytes(2, "big")
        else:
            rows += bytes([1]) + offsets[number].to_bytes(4, "big") + (0).to_bytes(2, "big")
    out += (b"8 0 obj\n<< /Type /XRef /Size 9 /W [1 4 2] /Root 1 0 R /Length %d >>\nstream\n"
            % len(rows) + bytes(rows) + b"\nendstream\nendobj\n")
    out += b"startxref\n%d\n%%%%EOF\n" % offsets[8]
    return bytes(out)


def rtf():
    return (rb"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil police@exemple.fr;}}"
            rb"{\colortbl;\red0\green0\blue0;}{\*\generator Ecrivain@exemple.fr;}"
            rb"\pard D\'e9j\'e0 vu : {\b jean.}{\i martin@exemple.fr}\par "
            rb"Pri\u232?re d'\u233?crire \u8364? "
            rb"{\field{\*\fldinst{HYPERLINK \"mailto:rtf.lien@exemple.fr\"}}{\fldrslt{ici}}}\par"
            rb"{\*\inconnu cache@exemple.fr}{\pict\pngblt 89504e47@exemple.fr}fin@exemple.fr\par}")


def nested():
    """A .tar.gz holding a .zip holding a gzipped mailbox."""
    mbox = (b"From marc@exemple.fr Mon Jan  1 00:00:00 2024\n"
            b"From: Marc <marc@exemple.fr>\nTo: liste@exemple.fr\nSubject: essai\n\nbonjour\n")
    inner = zip_bytes([("courrier/boite.mbox.gz", gzip.compress(mbox, mtime=0)),
                       ("lisez-moi.txt", b"zip@exemple.fr\n")])
    return tar_gz([("dossier/archive.zip", inner), ("dossier/a.txt", b"tar@exemple.fr\n")])


def tar_gz(members):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.USTAR_FORMAT) as t:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 0
            t.addfile(info, io.BytesIO(data))
    return gzip.compress(buffer.getvalue(), mtime=0)


def deep(levels):
    data = zip_bytes([("niveau%d.txt" % levels, b"niveau%d@exemple.fr\n" % levels)])
    for level in range(levels - 1, -1, -1):
        data = zip_bytes([("niveau%d.txt" % level, b"niveau%d@exemple.fr\n" % level),
                          ("niveau%d.zip" % (level + 1), data)])
    return data


def truncated():
    # The cut falls well inside the second member; libarchive hands decompressed bytes on in
    # blocks of 64 KiB, so the first member lies in a block completed before the cut.
    lines = b"".join(b"ligne %06d du second membre\n" % i for i in range(12_000))
    whole = tar_gz([("premier.txt", b"avant@exemple.fr\n"), ("second.txt", lines)])
    return whole[: len(whole) * 2 // 3]


def encrypted():
    zip_program = shutil.which("zip")
    if zip_program is None:
        sys.exit("make_fixtures: the zip program is needed for the encrypted archive")
    work = os.path.join(OUT, "chiffre")
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "secret.txt"), "wb") as f:
        f.write(b"secret@exemple.fr\n")
    with open(os.path.join(work, "clair.txt"), "wb") as f:
        f.write(b"clair@exemple.fr\n")
    target = os.path.join(OUT, "chiffre.zip")
    if os.path.exists(target):
        os.remove(target)
    for name in ("secret.txt", "clair.txt"):
        os.utime(os.path.join(work, name), (1704164646, 1704164646))
    subprocess.run([zip_program, "-q", "-X", "-P", "motdepasse", target, "secret.txt"], cwd=work, check=True)
    subprocess.run([zip_program, "-q", "-X", target, "clair.txt"], cwd=work, check=True)
    shutil.rmtree(work)


def compressed():
    """The same short text under every single-file compression."""
    text = b"Objet : essai\nsimple@exemple.fr\n"
    write("simple.txt.gz", gzip.compress(text, mtime=0))
    write("simple.txt.bz2", bz2.compress(text))
    write("simple.txt.xz", lzma.compress(text))
    for program, suffix in (("zstd", "zst"), ("lzip", "lz")):
        path = shutil.which(program)
        if path is None:
            sys.exit("make_fixtures: the %s program is needed" % program)
        out = subprocess.run([path, "-c"], input=text, stdout=subprocess.PIPE, check=True).stdout
        write("simple.txt." + suffix, out)
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:xz", format=tarfile.USTAR_FORMAT) as t:
        info = tarfile.TarInfo("dans/simple.txt")
        info.size = len(text)
        t.addfile(info, io.BytesIO(text))
    write("simple.tar.xz", buffer.getvalue())


# A 7z archive of two members (un.txt: sept@exemple.fr, deux/deux.txt: zip7@exemple.fr), as
# libarchive's 7-Zip writer made it: Python has no 7z writer.
SEVEN_ZIP = bytes.fromhex(
    "377abcaf271c00039b5a86e17c000000000000002000000000000000526b6e690039994a682143a86fd63fba38388937"
    "2e96e7e7d46530308dcc4fffffee0b00000000813307ae0fd01dd27c9f3f47416737d676e65eeeea04e9e42fdbfeeabf"
    "074d5f9cc6adf66d4adc012eb8276793ecfd2023a4f8a2a9d03f71cac21e4e965b07b6a08130b26d98ccf312ec3c34c0"
    "5b98c04408381ffffe05b00017062101095b00070b01000123030101055d000080000c680a01561b431d0000")


def main():
    os.makedirs(OUT, exist_ok=True)
    write("document.docx", docx())
    write("classeur.xlsx", xlsx())
    write("texte.odt", odt())
    write("tableur.ods", ods())
    write("diaporama.pptx", pptx())
    write("diaporama.odp", odp())
    write("brochure.pdf", pdf())
    write("flux.pdf", pdf_object_streams())
    write("verrou.pdf", pdf_locked())
    write("lettre.rtf", rtf())
    write("imbrique.tar.gz", nested())
    write("profond.zip", deep(6))
    write("tronque.tar.gz", truncated())
    # A bomb one level down: 16 MiB of zeros gzipped inside a zip, between two small members.
    write("bombe.zip", zip_bytes([("avant.txt", b"avant.bombe@exemple.fr\n"),
                                  ("zeros.gz", gzip.compress(bytes(16 << 20), 9, mtime=0)),
                                  ("apres.txt", b"apres.bombe@exemple.fr\n")]))
    write("noms.zip", zip_bytes([("../../etc/hors.txt", b"hors@exemple.fr\n"),
                                 ("/absolu/chemin.txt", b"absolu@exemple.fr\n")]))
    write("sept.7z", SEVEN_ZIP)
    compressed()
    encrypted()


if __name__ == "__main__":
    main()
