#!/usr/bin/env bash
# End-to-end speed of a personalised run: COUNT (2000) messages with HTML
# and text, a 20 KB inline picture and a 200 KB attachment, each over its
# own connection to Postfix's smtp-sink on loopback. Three figures:
#   Postello's send run (merge, composition, SMTP),
#   a Python script doing the same with smtplib and email,
#   smtp-source sending as many messages of the same size (the practical
#   limit of one connection per message).
# Usage: bench/send_bench.sh [build-dir]   (COUNT and ROUNDS override 2000 and 3)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
count="${COUNT:-2000}"

# Postfix only serves the benchmark; it is not a dependency of the program.
if ! command -v smtp-sink >/dev/null 2>&1 && [ ! -x /usr/sbin/smtp-sink ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y postfix >/dev/null
fi
export PATH="$PATH:/usr/sbin"

cmake --build "$build" -j2 --target SendRunBench >/dev/null

work="$(mktemp -d /tmp/postello-send-bench.XXXXXX)"
port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
smtp-sink -u root "127.0.0.1:$port" 256 &
sink=$!
trap 'kill "$sink" 2>/dev/null || true; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$count" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
with open(os.path.join(folder, "recipients.csv"), "w", encoding="cp1252", newline="") as f:
    for i in range(count):
        f.write("kunde%d@example.org;M\u00fcller %d;Eva;Frau;Kunde seit %d;\r\n" % (i, i, 1990 + i % 30))
with open(os.path.join(folder, "html.txt"), "w", encoding="cp1252", newline="") as f:
    f.write("<html><body><p>Sehr geehrte [%Anrede] [%Vorname] [%Name],</p>"
            "<p>unser Angebot f\u00fcr Sie ([%Info 1]):</p>" + "<p>Zeile mit Inhalt.</p>" * 100 +
            "<img src=\"cid:LOGO.GIF\"></body></html>")
with open(os.path.join(folder, "plain.txt"), "w", encoding="cp1252", newline="") as f:
    f.write("Sehr geehrte [%Anrede] [%Vorname] [%Name],\r\n\r\nunser Angebot f\u00fcr Sie ([%Info 1]):\r\n"
            + "Zeile mit Inhalt.\r\n" * 100)
with open(os.path.join(folder, "logo.gif"), "wb") as f:
    f.write(b"GIF89a" + bytes(rnd.getrandbits(8) for _ in range(20 * 1024 - 6)))
with open(os.path.join(folder, "preise.pdf"), "wb") as f:
    f.write(b"%PDF-1.4\n" + bytes(rnd.getrandbits(8) for _ in range(200 * 1024 - 9)))
PY
sleep 0.3

# The machine may be shared: each contender runs ROUNDS times, taking turns,
# and its best round counts.
rounds="${ROUNDS:-3}"
size=""
: >"$work/rates"
for round in $(seq 1 "$rounds"); do
  echo "== round $round of $rounds"
  POSTELLO_SEND_BENCH_SERVER="127.0.0.1:$port" POSTELLO_SEND_BENCH_DIR="$work" \
    "$build/bin/SendRunBench" --benchmark_filter='EndToEnd/smtp:1/journal:0/' \
    --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
  ours="$(/usr/bin/python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print(b["messages_per_s"])' "$work/ours.json")"
  size="$(cat "$work/size.txt")"
  echo "postello $ours" | tee -a "$work/rates"

  # The same run writing its journal, as every run of the program does.
  POSTELLO_SEND_BENCH_SERVER="127.0.0.1:$port" POSTELLO_SEND_BENCH_DIR="$work" \
    "$build/bin/SendRunBench" --benchmark_filter='EndToEnd/smtp:1/journal:1/' \
    --benchmark_out="$work/journal.json" --benchmark_out_format=json >/dev/null
  journal="$(/usr/bin/python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print(b["messages_per_s"])' "$work/journal.json")"
  echo "postello+journal $journal" | tee -a "$work/rates"

  python_line="$(/usr/bin/python3 "$here/bench/send_bench_python.py" "127.0.0.1:$port" "$work")"
  echo "python $(echo "$python_line" | sed -E 's/.* s, ([0-9.]+) messages\/s.*/\1/')" | tee -a "$work/rates"

  start="$(date +%s.%N)"
  smtp-source -s 1 -m "$count" -l "$size" -f versand@example.org -t kunde@example.org "127.0.0.1:$port"
  end="$(date +%s.%N)"
  echo "smtp-source $(/usr/bin/python3 -c 'import sys; print(int(sys.argv[3]) / (float(sys.argv[2]) - float(sys.argv[1])))' "$start" "$end" "$count")" | tee -a "$work/rates"
done

/usr/bin/python3 - "$work/rates" "$count" "$size" <<'PY'
import sys
best = {}
for line in open(sys.argv[1]):
    name, rate = line.split()
    best[name] = max(best.get(name, 0.0), float(rate))
count, size = int(sys.argv[2]), int(sys.argv[3])
ours, py, limit = best["postello"], best["python"], best["smtp-source"]
print("== Summary: %d personalised messages of about %d bytes, one connection each (best of each)" % (count, size))
print("Postello:    %8.0f messages/s" % ours)
print("Python:      %8.0f messages/s   Postello is %.1f times as fast" % (py, ours / py))
print("smtp-source: %8.0f messages/s   Postello reaches %.0f %% of it" % (limit, 100 * ours / limit))
journal = best["postello+journal"]
print("With journal:%8.0f messages/s   the journal costs %.1f %% of the run's time" %
      (journal, 100 * (ours / journal - 1)))
PY
