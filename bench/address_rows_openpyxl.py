#!/usr/bin/python3
"""The workbook of AddressRowsBench, written and read by python3-openpyxl.

    /usr/bin/python3 bench/address_rows_openpyxl.py write FILE ROWS   (AddressRowsBench calls this)
    /usr/bin/python3 bench/address_rows_openpyxl.py read [FILE]

"read" times one pass in openpyxl's read-only mode over every cell, as the
yardstick for AddressRowsBench's ReadXlsx (the target: at least 10 times
faster).
"""
import datetime
import sys
import time

import openpyxl

if sys.argv[1] == "write":
    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet("Kunden")
    ws.append(["E-Mail", "Nachname", "Vorname", "Anrede", "Firma", "PLZ", "Kunde seit", "Umsatz"])
    for i in range(int(sys.argv[3])):
        ws.append([f"kunde{i}@example.org", f"Müller{i % 997}", "Eva", "Frau" if i % 2 else "Herr",
                   f"Schmidt, Groß & Partner {i % 101}", f"{10000 + i % 89999:05d}",
                   datetime.date(1990 + i % 30, 1 + i % 12, 1 + i % 28), i * 1.25])
    wb.save(sys.argv[2])
    sys.exit(0)

path = sys.argv[2] if len(sys.argv) > 2 else "/tmp/postello-bench/address-rows-100000.xlsx"
best = None
for _ in range(3):
    start = time.perf_counter()
    wb = openpyxl.load_workbook(path, read_only=True)
    cells = 0
    for row in wb.worksheets[0].iter_rows(values_only=True):
        cells += sum(1 for v in row if v is not None)
    wb.close()
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
print(f"openpyxl read-only: {cells} cells, best of 3: {best * 1000:.0f} ms")
