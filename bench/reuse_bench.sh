#!/usr/bin/env bash
# Throughput against a distant server: COUNT (1000) personalised messages
# (text and HTML, fields merged) over STARTTLS with AUTH, through a proxy
# that adds 20 ms in each direction (bench/latency_proxy.py). Postfix's
# smtp-sink speaks no TLS, so the server is an aiosmtpd sink offering
# STARTTLS, AUTH and PIPELINING (bench/tls_sink.py). Four figures:
#   Postello, one connection per message (the default);
#   Postello, up to 100 messages per connection;
#   Postello, the same on 4 parallel sessions;
#   Python's smtplib sending all messages over one connection.
# Usage: bench/reuse_bench.sh [build-dir]   (COUNT and DELAY_MS override 1000 and 20;
# PIPELINING=0 makes the server leave PIPELINING out of its EHLO reply)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
count="${COUNT:-1000}"
delay="${DELAY_MS:-20}"
sink_mode=()
[ "${PIPELINING:-1}" = 0 ] && sink_mode=(nopipelining)

cmake --build "$build" -j2 --target SendRunBench >/dev/null

work="$(mktemp -d /tmp/postello-reuse-bench.XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
  -addext "subjectAltName=IP:127.0.0.1" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

# Starts a helper that prints "PORT <n>" first; sets $port.
start() {
  local out="$1"; shift
  "$@" >"$out" 2>"$out.err" &
  pids+=($!)
  for _ in $(seq 1 100); do
    if grep -q '^PORT ' "$out" 2>/dev/null; then
      port="$(sed -n 's/^PORT //p' "$out" | head -1)"
      return
    fi
    sleep 0.1
  done
  echo "helper did not start: $*" >&2
  cat "$out.err" >&2
  exit 1
}
start "$work/sink.out" /usr/bin/python3 "$here/bench/tls_sink.py" 0 "$work/cert.pem" "$work/key.pem" versand geheim "${sink_mode[@]}"
sink_port="$port"
start "$work/proxy.out" /usr/bin/python3 "$here/bench/latency_proxy.py" 0 "127.0.0.1:$sink_port" "$delay"
proxy_port="$port"

/usr/bin/python3 - "$work" "$count" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
with open(os.path.join(folder, "recipients.csv"), "w", encoding="cp1252", newline="") as f:
    for i in range(count):
        f.write("kunde%d@example.org;M\u00fcller %d;Eva;Frau;Kunde seit %d;\r\n" % (i, i, 1990 + i % 30))
with open(os.path.join(folder, "html.txt"), "w", encoding="cp1252", newline="") as f:
    f.write("<html><body><p>Sehr geehrte [%Anrede] [%Vorname] [%Name],</p>"
            "<p>unser Angebot f\u00fcr Sie ([%Info 1]):</p>" + "<p>Zeile mit Inhalt.</p>" * 40 + "</body></html>")
with open(os.path.join(folder, "plain.txt"), "w", encoding="cp1252", newline="") as f:
    f.write("Sehr geehrte [%Anrede] [%Vorname] [%Name],\r\n\r\nunser Angebot f\u00fcr Sie ([%Info 1]):\r\n"
            + "Zeile mit Inhalt.\r\n" * 40)
PY

: >"$work/rates"
for args in "0/parallel:1" "100/parallel:1" "100/parallel:4"; do
  SSL_CERT_FILE="$work/cert.pem" POSTELLO_SEND_BENCH_SERVER="127.0.0.1:$proxy_port" POSTELLO_SEND_BENCH_DIR="$work" \
    POSTELLO_SEND_BENCH_USER=versand POSTELLO_SEND_BENCH_PASSWORD=geheim \
    "$build/bin/SendRunBench" --benchmark_filter="Sessions/reuse:$args/" \
    --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
  rate="$(/usr/bin/python3 -c 'import json,sys; b=json.load(open(sys.argv[1]))["benchmarks"][0]; print(b.get("messages_per_s", 0))' "$work/ours.json")"
  echo "reuse:$args $rate" | tee -a "$work/rates"
done
echo "python $(/usr/bin/python3 "$here/bench/reuse_bench_python.py" "127.0.0.1:$proxy_port" "$work" "$work/cert.pem" versand geheim)" \
  | tee -a "$work/rates"

/usr/bin/python3 - "$work/rates" "$count" "$delay" "${PIPELINING:-1}" <<'PY'
import sys
rate = dict(line.split() for line in open(sys.argv[1]))
one, reuse, four, py = (float(rate[k]) for k in ("reuse:0/parallel:1", "reuse:100/parallel:1",
                                                  "reuse:100/parallel:4", "python"))
print("== Summary: %s personalised messages, STARTTLS and AUTH, %s ms added each way%s"
      % (sys.argv[2], sys.argv[3], "" if sys.argv[4] != "0" else ", server without PIPELINING"))
print("one connection per message: %7.1f messages/s" % one)
print("reuse (100 per connection): %7.1f messages/s" % reuse)
print("reuse, 4 sessions:          %7.1f messages/s   %.1f x one connection, %.1f x Python" % (four, four / one, four / py))
print("Python smtplib, one conn.:  %7.1f messages/s" % py)
PY
