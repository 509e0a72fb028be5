#!/usr/bin/env bash
# SMTP delivery rate, one connection per message: Postello's SendRawMail
# and Postfix's smtp-source, each against smtp-sink on loopback.
# Usage: bench/smtp_bench.sh [build-dir]   (COUNT and SIZE override 2000 x 51200)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
count="${COUNT:-2000}"
size="${SIZE:-51200}"

# Postfix only serves the benchmark; it is not a dependency of the program.
if ! command -v smtp-sink >/dev/null 2>&1 && [ ! -x /usr/sbin/smtp-sink ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y postfix >/dev/null
fi
export PATH="$PATH:/usr/sbin"

cmake --build "$build" -j2 --target SmtpBench >/dev/null

port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
smtp-sink -u root "127.0.0.1:$port" 256 &
sink=$!
trap 'kill "$sink" 2>/dev/null || true' EXIT
sleep 0.5

echo "== Postello SendRawMail: $count messages of $size bytes, one connection each"
POSTELLO_SMTP_BENCH_SERVER="127.0.0.1:$port" POSTELLO_SMTP_BENCH_COUNT="$count" \
POSTELLO_SMTP_BENCH_SIZE="$size" "$build/bin/SmtpBench"

echo "== smtp-source: $count messages of $size bytes, one connection each"
start="$(date +%s.%N)"
smtp-source -s 1 -m "$count" -l "$size" -f absender@example.org -t empfaenger@example.org \
  "127.0.0.1:$port"
end="$(date +%s.%N)"
/usr/bin/python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); n=int(sys.argv[3]); print(f'smtp-source: {t:.3f} s, {n/t:.0f} messages/s')" "$start" "$end" "$count"
