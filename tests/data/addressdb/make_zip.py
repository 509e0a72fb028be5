#!/usr/bin/python3
"""Writes the zip packages the reader tests and the benchmark need that no
office program would make: make_zip.py OUT KIND [ROWS].

bomb     an .xlsx whose sheet unpacks to 300 MB (blanks), a few hundred KB packed
bomb2    an .xlsx whose shared strings and sheet unpack to 150 MB each
rows     an .xlsx of ROWS rows of one address each (inline strings)
repeats  an .ods whose cells and rows repeat up to the sheet's limits and beyond
docx     a zip package that is a text document
dtd      an .xlsx whose sheet declares entities (the "billion laughs")
disorder an .xlsx whose rows and cells claim places out of order
"""
import sys
import zipfile

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
ODF = 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" ' \
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" ' \
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'


def xlsx(out, write_sheet, write_shared=None):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/'
                   'package/2006/content-types"/>')
        z.writestr("_rels/.rels", f'<Relationships xmlns="{PKG}"><Relationship Id="rId1" Type="{REL}/officeDocument"'
                   ' Target="xl/workbook.xml"/></Relationships>')
        z.writestr("xl/workbook.xml", f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets><sheet name="S" sheetId="1"'
                   ' r:id="rId1"/></sheets></workbook>')
        z.writestr("xl/_rels/workbook.xml.rels", f'<Relationships xmlns="{PKG}"><Relationship Id="rId1" '
                   f'Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" '
                   f'Type="{REL}/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
        if write_shared:
            with z.open("xl/sharedStrings.xml", "w", force_zip64=True) as f:
                write_shared(f)
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as f:
            write_sheet(f)


def blanks(root, inner, megabytes):
    def write(f):
        f.write(f'<{root} xmlns="{MAIN}"><{inner}>'.encode())
        chunk = b" " * (1 << 20)
        for _ in range(megabytes):
            f.write(chunk)
        f.write(f"</{inner}></{root}>".encode())
    return write


def rows(count):
    def write(f):
        f.write(f'<worksheet xmlns="{MAIN}"><sheetData>'.encode())
        chunk = []
        for r in range(1, count + 1):
            chunk.append(f'<row r="{r}"><c r="A{r}" t="inlineStr"><is><t>a{r}@x.de</t></is></c></row>')
            if len(chunk) == 10000:
                f.write("".join(chunk).encode())
                chunk = []
        f.write(("".join(chunk) + "</sheetData></worksheet>").encode())
    return write


def dtd(f):
    f.write(f'<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;'
            f'&a;&a;&a;&a;">]><worksheet xmlns="{MAIN}"><sheetData><row r="1"><c t="inlineStr"><is><t>&b;</t>'
            '</is></c></row></sheetData></worksheet>'.encode())


def disorder(f):
    f.write(f'<worksheet xmlns="{MAIN}"><sheetData><row r="5"><c r="C5"><v>1</v></c><c r="A5"><v>2</v></c></row>'
            '<row r="3"><c><v>3</v></c></row><row><c r="B9"><v>4</v></c></row><row r="0"><c><v>5</v></c></row>'
            '</sheetData></worksheet>'.encode())


def repeats(out):
    content = (f'<office:document-content {ODF}><office:body><office:spreadsheet><table:table table:name="R">'
               '<table:table-row><table:table-cell office:value-type="string"><text:p>a</text:p></table:table-cell>'
               '<table:table-cell table:number-columns-repeated="1000"/>'
               '<table:table-cell office:value-type="string"><text:p>b</text:p></table:table-cell>'
               '<table:table-cell table:number-columns-repeated="16000"/></table:table-row>'
               '<table:table-row table:number-rows-repeated="3"><table:table-cell office:value-type="float" '
               'office:value="2.5" table:number-columns-repeated="2"><text:p>2,5</text:p></table:table-cell>'
               '</table:table-row>'
               '<table:table-row table:number-rows-repeated="1048570"><table:table-cell '
               'table:number-columns-repeated="1024"/></table:table-row>'
               '<table:table-row><table:table-cell office:value-type="string"><text:p>last</text:p>'
               '</table:table-cell></table:table-row>'
               '<table:table-row table:number-rows-repeated="1000000000"><table:table-cell '
               'office:value-type="string" table:number-columns-repeated="99999999"><text:p>z</text:p>'
               '</table:table-cell></table:table-row>'
               '</table:table></office:spreadsheet></office:body></office:document-content>')
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", content)


def docx(out):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("_rels/.rels", f'<Relationships xmlns="{PKG}"><Relationship Id="rId1" Type="{REL}/officeDocument"'
                   ' Target="word/document.xml"/></Relationships>')
        z.writestr("word/document.xml", "<document/>")


out, kind = sys.argv[1], sys.argv[2]
if kind == "bomb":
    xlsx(out, blanks("worksheet", "sheetData", 300))
elif kind == "bomb2":
    xlsx(out, blanks("worksheet", "sheetData", 150), blanks("sst", "si", 150))
elif kind == "rows":
    xlsx(out, rows(int(sys.argv[3])))
elif kind == "dtd":
    xlsx(out, dtd)
elif kind == "disorder":
    xlsx(out, disorder)
elif kind == "repeats":
    repeats(out)
elif kind == "docx":
    docx(out)
else:
    sys.exit("unknown kind " + kind)
