#!/usr/bin/python3
"""The yardstick of bench/send_bench.sh: the same personalised run in
Python, with only smtplib and email.

Usage: send_bench_python.py HOST:PORT DIR

DIR holds recipients.csv (Windows-1252; eMail;Name;Vorname;Anrede;Info 1;
Info 2), html.txt and plain.txt (the mail texts with [%Field] placeholders),
logo.gif (inline picture, content id LOGO.GIF) and preise.pdf (attachment).
Each recipient gets its own message (HTML and text, base64, iso-8859-1)
over its own SMTP connection. Prints the count, the time and the rate.
"""
import email.charset
import email.utils
import os
import re
import smtplib
import sys
import time
from email.mime.application import MIMEApplication
from email.mime.image import MIMEImage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

FIELDS = ["EMAIL", "NAME", "VORNAME", "ANREDE", "INFO 1", "INFO 2"]
PLACEHOLDER = re.compile(r"\[%([^\]]*)\]")

# Base64 bodies, as the program writes them.
email.charset.add_charset("iso-8859-1", email.charset.QP, email.charset.BASE64, "iso-8859-1")


def upper_az(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


def merge(text, record):
    def field(match):
        name = upper_az(match.group(1))
        if name in record:
            return record[name]
        return match.group(0)
    return PLACEHOLDER.sub(field, text)


def read_text(folder, name):
    return open(os.path.join(folder, name), encoding="cp1252", newline="").read()


def read_records(folder):
    """The recipients of recipients.csv, one dict of FIELDS each."""
    records = []
    for line in read_text(folder, "recipients.csv").splitlines():
        values = line.split(";")
        records.append({f: (values[i].rstrip(" ") if i < len(values) else "") for i, f in enumerate(FIELDS)})
    return records


def main():
    host, port = sys.argv[1].rsplit(":", 1)
    folder = sys.argv[2]

    def read_bytes(name):
        return open(os.path.join(folder, name), "rb").read()

    html, plain = read_text(folder, "html.txt"), read_text(folder, "plain.txt")
    picture, document = read_bytes("logo.gif"), read_bytes("preise.pdf")
    records = read_records(folder)

    start = time.perf_counter()
    failed = 0
    for record in records:
        alternative = MIMEMultipart("alternative")
        alternative.attach(MIMEText(merge(plain, record), "plain", "iso-8859-1"))
        alternative.attach(MIMEText(merge(html, record), "html", "iso-8859-1"))
        related = MIMEMultipart("related")
        related.attach(alternative)
        image = MIMEImage(picture, "gif")
        image.add_header("Content-ID", "<LOGO.GIF>")
        image.add_header("Content-Disposition", "inline")
        related.attach(image)
        message = MIMEMultipart("mixed")
        message.attach(related)
        attachment = MIMEApplication(document, "pdf", name="preise.pdf")
        attachment.add_header("Content-Disposition", "attachment", filename="preise.pdf")
        message.attach(attachment)
        message["From"] = email.utils.formataddr(("Versand", "versand@example.org"))
        message["Reply-To"] = email.utils.formataddr(("Versand", "antwort@example.org"))
        message["Subject"] = "Angebot Dezember"
        message["Date"] = email.utils.formatdate(localtime=True)
        message["Message-ID"] = email.utils.make_msgid(domain="example.org")
        message["To"] = "<%s>" % record["EMAIL"]
        data = message.as_bytes()
        with smtplib.SMTP(host, int(port)) as session:
            refused = session.sendmail("versand@example.org", [record["EMAIL"]], data)
            failed += len(refused)
    elapsed = time.perf_counter() - start
    print("python: %d messages in %.3f s, %.0f messages/s, %d failed, %d bytes each"
          % (len(records), elapsed, len(records) / elapsed, failed, len(data)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
