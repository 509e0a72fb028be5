#!/usr/bin/python3
"""Writes the workbook samples the reader tests read.

kunden_openpyxl.xlsx is written here by openpyxl. The LibreOffice files were
made from it once by hand and committed:
  soffice --headless --convert-to xlsx --outdir lo kunden_openpyxl.xlsx  -> kunden_libreoffice.xlsx
  soffice --headless --convert-to ods kunden_openpyxl.xlsx               -> kunden_libreoffice.ods
  soffice --headless --convert-to 'csv:Text - txt - csv (StarCalc):59,34,1,1' ...   -> kunden_excel.csv
  soffice --headless --convert-to 'txt:Text - txt - csv (StarCalc):9,34,65535,1' ... -> kunden_unicode.txt
(59 = ';', 9 = Tab, 34 = '"', 1 = Windows-1252, 65535 = UTF-16 LE with BOM:
the forms of Excel's "CSV (Trennzeichen-getrennt)" and "Unicode-Text".)
"""
import datetime
import sys

import openpyxl

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Kunden"
ws.append(["E-Mail", "Nachname", "Vorname", "Anrede", "Firma", "PLZ", "Geburtstag", "Umsatz"])
ws.append(["anna.schmidt@beispiel.de", "Schmidt", "Anna", "Frau", "Schmidt, Groß & Partner", "01067",
           datetime.date(1980, 3, 1), 1234.5])
ws.append(["hans-joachim.mueller-luedenscheidt@stadtverwaltung-beispiel.de", "Müller-Lüdenscheidt",
           "Hans-Joachim", "Herr", "Meier; Söhne", "80331", datetime.date(1975, 12, 24), 42])
ws.append([])
ws.append(["o.brien@example.com", "O'Brien", "Seán", "Herr", 'Der "Laden"\nzweite Zeile', "10115", None, -0.25])
ws.append(["lukasz@example.pl", "Łukasz", None, None, "Preis 5 €", None, None, 1e20])
for row in ws.iter_rows(min_row=2, min_col=7, max_col=7):
    for cell in row:
        cell.number_format = "DD.MM.YYYY"
notes = wb.create_sheet("Notizen")
notes["B2"] = "zweites Blatt"
notes["A3"] = 7
wb.save(sys.argv[1] if len(sys.argv) > 1 else "kunden_openpyxl.xlsx")
