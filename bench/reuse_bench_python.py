#!/usr/bin/python3
"""The Python yardstick of bench/reuse_bench.sh: the same personalised
messages (text and HTML, fields merged) with smtplib, all over one
connection with STARTTLS and AUTH, as a well-written script would send.

Usage: reuse_bench_python.py HOST:PORT DIR CAFILE USER PASSWORD
DIR holds recipients.csv, html.txt and plain.txt as for send_bench_python.py.
"""
import email.policy
import email.utils
import os
import smtplib
import ssl
import sys
import time
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from send_bench_python import merge, read_records, read_text  # noqa: E402


def main():
    host, port = sys.argv[1].rsplit(":", 1)
    folder, cafile, user, password = sys.argv[2:6]

    html, plain = read_text(folder, "html.txt"), read_text(folder, "plain.txt")
    records = read_records(folder)

    start = time.perf_counter()
    failed = 0
    with smtplib.SMTP(host, int(port)) as session:
        session.starttls(context=ssl.create_default_context(cafile=cafile))
        session.login(user, password)
        for record in records:
            message = MIMEMultipart("alternative")
            message.attach(MIMEText(merge(plain, record), "plain", "iso-8859-1"))
            message.attach(MIMEText(merge(html, record), "html", "iso-8859-1"))
            message["From"] = email.utils.formataddr(("Versand", "versand@example.org"))
            message["Subject"] = "Angebot Dezember"
            message["Date"] = email.utils.formatdate(localtime=True)
            message["Message-ID"] = email.utils.make_msgid(domain="example.org")
            message["To"] = "<%s>" % record["EMAIL"]
            refused = session.sendmail("versand@example.org", [record["EMAIL"]], message.as_bytes(policy=email.policy.SMTP))
            failed += len(refused)
    elapsed = time.perf_counter() - start
    print("%.3f" % (len(records) / elapsed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
