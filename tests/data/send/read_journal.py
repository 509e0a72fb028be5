"""Reads a send journal the way a user's script would: Python's csv module
on the UTF-8 text (byte order mark allowed), semicolons between fields.
Prints each row as its fields joined by " | ", after checking that every
row has as many fields as the header."""
import csv
import sys

with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f, delimiter=";"))
header = rows[0]
for row in rows:
    if len(row) != len(header):
        print("field count %d, header has %d" % (len(row), len(header)))
    print(" | ".join(row))
