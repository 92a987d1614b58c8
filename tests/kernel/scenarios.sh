#!/bin/bash
# The kernel-path scenarios, run inside the guest machine (chrooted into the host's root,
# as root): simulated incubators behind the kernel's own vhci_hcd, cp210x, tty layer, sysfs
# and usbfs, and the logger's real Linux code. One line per scenario goes to
# RESULTS/verdicts: "PASS name what was measured" or "FAIL name why"; each scenario's
# simulator trace, logger console and log files are kept under RESULTS/name/.
#
#   scenarios.sh RESULTS BUILD_DIR [SET]
#
# SET "default" runs every scenario.
set -u
R="$1"
B="$2"
SET="${3:-default}"
SIM="$B/dova300-sim"
LOGGER="$B/dova300-logger"
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run LC_ALL=C.UTF-8 TZ=UTC
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
: >"$R/verdicts"
exec >"$R/scenarios.log" 2>&1

# A process start costs about a second in the guest, so everything that polls is made of
# shell builtins: no date, sleep, grep or tr in a loop.
verdict() { echo "$*" >>"$R/verdicts"; echo "== $*"; }
now() { local t=${EPOCHREALTIME/./}; NOW=$((t / 1000)); }  # milliseconds, into NOW
rm -f /tmp/nap; mkfifo /tmp/nap; exec 9<>/tmp/nap
nap() { read -r -t "$1" -u 9 _ || true; }  # sleeps without starting a process
slurp() { TEXT=""; [ -f "$1" ] && IFS= read -r -d '' TEXT <"$1"; return 0; }
has() { slurp "$1"; [[ $TEXT == *"$2"* ]]; }
# Occurrences of a text in a file (a log line's end is a carriage return).
occurrences() {
  slurp "$1"
  local rest=$TEXT
  COUNT=0
  while [[ $rest == *"$2"* ]]; do rest=${rest#*"$2"}; COUNT=$((COUNT + 1)); done
}
at_least() { occurrences "$1" "$2"; [ "$COUNT" -ge "$3" ]; }
CR=$'\r'
CONNECTED=", Connected$CR"
DISCONNECTED=", Disconnected$CR"
STATE_END=", Gas Flow On$CR"  # the last line of a steady incubator's state after Connected
# Waits until CMD succeeds, polling every 20 ms; false after TIMEOUT seconds.
wait_until() {
  local timeout="$1"; shift
  now
  local end=$((NOW + timeout * 1000))
  until "$@"; do
    now
    [ "$NOW" -ge "$end" ] && return 1
    nap 0.02
  done
}
tty_of() {  # the tty of the bridge with USB serial $1, into TTY
  local t s
  for t in /sys/bus/usb-serial/devices/ttyUSB*; do
    [ -e "$t" ] || continue
    s=""
    read -r s <"$t/../../serial" 2>/dev/null
    [ "$s" = "$1" ] && { TTY=${t##*/}; return 0; }
  done
  return 1
}
tty_present() { tty_of "$1"; }
tty_gone() { ! [ -e "/sys/class/tty/$1" ] && ! [ -e "/dev/$1" ]; }
# A log file as lines (the logger ends its lines with a carriage return alone).
log_lines() { tr '\r' '\n' <"$1" 2>/dev/null; }

# A scenario's folder, into D: its traces, console and data folder go there.
scenario_dir() { D="$R/$1"; mkdir -p "$D/data"; }
start_sim() {  # name, options
  scenario_dir "$1"; shift
  rm -f /tmp/sim.in
  mkfifo /tmp/sim.in
  "$SIM" --usbip "$@" </tmp/sim.in >"$D/sim.out" 2>&1 &
  SIM_PID=$!
  exec 7>/tmp/sim.in
}
sim() { echo "$*" >&7; }
stop_sim() {
  sim quit
  exec 7>&-
  wait "$SIM_PID"
}
start_logger() {
  "$LOGGER" --headless --data-dir "$D/data" --log-interval 1 "$@" >"$D/logger.out" 2>&1 &
  LOGGER_PID=$!
}
stop_logger() {
  kill -TERM "$LOGGER_PID" 2>/dev/null
  wait "$LOGGER_PID"
}
# The Connected/Disconnected lines of a log, one letter each: "CDCD...".
pairs() { log_lines "$1" | sed -n 's/.*, Connected$/C/p; s/.*, Disconnected$/D/p' | tr -d '\n'; }
# Lines that are not "<date> <time>, <text>": torn, merged or empty.
bad_lines() {
  log_lines "$1" | grep -avcE '^[0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}, [^,]'
}

LOG1="DOVA 1 1.csv"
LOG2="DOVA 2 2.csv"

scenario_two_bridges() {
  start_sim bridges --count 2 --quiet
  if ! wait_until 30 tty_present dova300-0001 || ! wait_until 30 tty_present dova300-0002; then
    verdict FAIL two-bridges "the kernel made no tty for the bridges"
    return 1
  fi
  tty_of dova300-0001
  TTY1=$TTY
  start_logger
  if ! wait_until 40 has "$D/data/$LOG1" "Right Set-Point" ||
    ! wait_until 20 has "$D/data/$LOG2" "Right Set-Point"; then
    verdict FAIL two-bridges "no state logged: $(tail -n 3 "$D/logger.out" | tr '\n' '|')"
    return 1
  fi
  sim state
  wait_until 5 has "$D/sim.out" "^state 2 "
  local want="enabled=1 baud=57600 line=0x0800 dtr=1 rts=1 crtscts=0" n
  for n in 1 2; do
    if ! grep -q "^state $n .*$want" "$D/sim.out"; then
      verdict FAIL two-bridges "bridge $n: $(grep "^state $n " "$D/sim.out")"
      return 1
    fi
  done
  verdict PASS two-bridges "found through sysfs, both logged; bridge set to $want"
}

scenario_unplug() {
  local t0 t1 t2
  occurrences "$D/data/$LOG1" "$CONNECTED"
  local before=$COUNT
  now; t0=$NOW
  local uptime
  read -r uptime _ </proc/uptime
  echo "unplug 1 at uptime $uptime (the kernel log's clock)"
  sim unplug 1
  wait_until 10 has "$D/data/$LOG1" "$DISCONNECTED"
  now; t1=$NOW
  wait_until 10 tty_gone "$TTY1"
  now; t2=$NOW
  local console_ok=0
  wait_until 5 has "$D/logger.out" "DOVA 1: 1: disconnected" && console_ok=1
  sim replug 1
  local back=0
  wait_until 20 at_least "$D/data/$LOG1" "$CONNECTED" $((before + 1)) && back=1
  local dt=$((t1 - t0)) dtty=$((t2 - t0))
  if ! has "$D/data/$LOG1" "$DISCONNECTED" || [ "$dt" -gt 1000 ] || [ "$console_ok" != 1 ] ||
    [ "$back" != 1 ] || [ "$dtty" -gt 1000 ]; then
    verdict FAIL unplug "Disconnected after ${dt} ms, tty gone after ${dtty} ms," \
      "tile closed $console_ok, found again $back"
    return 1
  fi
  verdict PASS unplug "Disconnected ${dt} ms after the cable, tty gone after ${dtty} ms," \
    "tile closed, found again after replug"
}

scenario_cycles() {
  local i n fast_ms slow_ms t
  occurrences "$D/data/$LOG2" "$CONNECTED"
  n=$COUNT
  now; t=$NOW
  # Each cable is pulled once the incubator's state is in the log: a cable pulled before
  # that leaves a Connected without a state, which says nothing about lost lines.
  for i in $(seq 1 15); do  # fast: the cable is back before the logger has noticed
    wait_until 15 at_least "$D/data/$LOG2" "$STATE_END" "$n"
    sim unplug 2
    nap 0.2
    sim replug 2
    n=$((n + 1))
    if ! wait_until 15 at_least "$D/data/$LOG2" "$CONNECTED" "$n"; then
      verdict FAIL cycles "fast cycle $i: no new Connected (pairs $(pairs "$D/data/$LOG2"))"
      return 1
    fi
  done
  now; fast_ms=$((NOW - t)); t=$NOW
  for i in $(seq 1 15); do  # slow: out until the log says so, then in until it says so
    wait_until 15 at_least "$D/data/$LOG2" "$STATE_END" "$n"
    sim unplug 2
    if ! wait_until 10 at_least "$D/data/$LOG2" "$DISCONNECTED" "$n"; then
      verdict FAIL cycles "slow cycle $i: no Disconnected"
      return 1
    fi
    nap 0.2
    sim replug 2
    n=$((n + 1))
    if ! wait_until 15 at_least "$D/data/$LOG2" "$CONNECTED" "$n"; then
      verdict FAIL cycles "slow cycle $i: no new Connected"
      return 1
    fi
  done
  now; slow_ms=$((NOW - t))
  CYCLES_NOTE="15 fast cycles in ${fast_ms} ms, 15 slow in ${slow_ms} ms"
}

scenario_sigterm() {
  stop_logger
  local f last ok=1 why=""
  for f in "$D/data/$LOG1" "$D/data/$LOG2"; do
    last="$(log_lines "$f" | tail -n 1)"
    case "$last" in *", Disconnected") ;; *) ok=0; why="$why $(basename "$f") ends '$last';" ;; esac
  done
  [ "$ok" = 1 ] && verdict PASS sigterm "every log ends with Disconnected" ||
    verdict FAIL sigterm "$why"
  # The cycles are judged on the finished log: strictly alternating pairs, the state after
  # every Connected, no torn line, every connection on the console too.
  local p expect bad states console
  p="$(pairs "$D/data/$LOG2")"
  expect="$(printf 'CD%.0s' $(seq 1 31))"
  bad="$(bad_lines "$D/data/$LOG2")"
  states="$(log_lines "$D/data/$LOG2" | grep -A1 ', Connected$' | grep -c ', Left Chamber')"
  console="$(grep -c 'DOVA 2: 2: connected' "$D/logger.out")"
  if [ -n "${CYCLES_NOTE:-}" ] && [ "$p" = "$expect" ] && [ "$bad" = 0 ] && [ "$states" = 31 ] &&
    [ "$console" = 31 ]; then
    verdict PASS cycles "$CYCLES_NOTE; 31 Connected/Disconnected pairs in order, each with its state, no torn line"
  elif [ -n "${CYCLES_NOTE:-}" ]; then
    verdict FAIL cycles "$CYCLES_NOTE; pairs $p, bad lines $bad, states after Connected $states, console $console"
  fi
  stop_sim
}

# The bridge is plugged in a moment after the logger started, while the converter still
# searches (it stops after twenty empty searches, a second apart). No udev daemon runs in the
# guest, so the USB side must see a device that came after the program started without
# being told.
scenario_convert() {
  scenario_dir convert
  now; local started=$NOW
  start_logger
  wait_until 20 has "$D/logger.out" "Logging into" || { verdict FAIL convert "the logger did not start"; stop_logger; return 1; }
  start_sim convert --count 0 --ea60 1 --quiet
  wait_until 30 tty_present VCP0001 || { verdict FAIL convert "no tty for the ea60 bridge"; stop_logger; stop_sim; return 1; }
  now; local t0=$NOW
  local ok=1 why=""
  wait_until 60 has "$D/sim.out" "new identity: product 0xea61, serial DOVA300-" ||
    { ok=0; why="the bridge was not reprogrammed;"; }
  wait_until 40 has "$D/data/$LOG1" "Right Set-Point" || { ok=0; why="$why not logged after it;"; }
  now; local t1=$NOW
  local serial
  serial="$(sed -n 's/.*new identity: product 0xea61, serial \(DOVA300-[^ ]*\).*/\1/p' "$D/sim.out" | head -n 1)"
  grep -q "Converted to USBXpress: USB serial No VCP0001 -> $serial" "$D/logger.out" ||
    { ok=0; why="$why no conversion line on the console;"; }
  dmesg | grep -q "idProduct=ea61" || { ok=0; why="$why the kernel never saw ea61;"; }
  stop_logger
  stop_sim
  [ "$ok" = 1 ] && verdict PASS convert "plugged in while running (tty $((t0 - started)) ms after the" \
    "logger's start), probed on ttyUSB, reprogrammed through usbfs to ea61 $serial," \
    "re-enumerated by the kernel and logged $((t1 - t0)) ms after its tty came" ||
    verdict FAIL convert "$why"
}

# The converter asks only the bridges that are candidates for conversion. Two incubators
# are logged while the converter converts a third, all three there before the logger starts;
# the bridges in use must have heard the part-number request only from the kernel's probe
# (twice each).
scenario_probe_in_use() {
  start_sim probe-in-use --count 2 --ea60 1 --quiet
  if ! wait_until 30 tty_present dova300-0002 || ! wait_until 30 tty_present VCP0003; then
    verdict FAIL probe-in-use "no tty"; stop_sim; return 1
  fi
  start_logger
  wait_until 60 has "$D/sim.out" "bridge 3: new identity" ||
    { verdict FAIL probe-in-use "the third bridge was not converted"; stop_logger; stop_sim; return 1; }
  wait_until 40 has "$D/data/DOVA 3 3.csv" "Right Set-Point"
  sim state
  wait_until 5 has "$D/sim.out" "^state 3 "
  stop_logger
  stop_sim
  local reads
  reads="$(sed -n 's/^state \([12]\) .*partnum_reads=\([0-9]*\).*/\2/p' "$D/sim.out" | tr '\n' ' ')"
  if [ "$reads" = "2 2 " ]; then
    verdict PASS probe-in-use "bridges in use asked for their part number only by the kernel"
  else
    verdict FAIL probe-in-use "part-number requests per bridge in use: $reads(the kernel's probe makes 2)"
  fi
}

# A tty the logger may not open is reported once, by name, with the fix.
scenario_permission() {
  start_sim permission --count 1 --quiet
  wait_until 30 tty_present dova300-0001 || { verdict FAIL permission "no tty"; stop_sim; return 1; }
  tty_of dova300-0001
  local tty=$TTY
  chown root:root "/dev/$tty"
  chmod 0600 "/dev/$tty"
  mkdir -p /tmp/nobody/run "$D/data"
  chown -R 65534:65534 /tmp/nobody
  chmod 700 /tmp/nobody/run
  chmod 777 "$D/data"
  HOME=/tmp/nobody XDG_RUNTIME_DIR=/tmp/nobody/run setpriv --reuid=65534 --regid=65534 \
    --clear-groups "$LOGGER" --headless --data-dir "$D/data" >"$D/logger.out" 2>&1 &
  LOGGER_PID=$!
  wait_until 20 has "$D/logger.out" "70-dova300.rules"
  nap 5  # long enough for several scans: the report must stay a single one
  stop_logger
  stop_sim
  local n
  n="$(grep -c "70-dova300.rules" "$D/logger.out")"
  if [ "$n" = 1 ] && grep -q "70-dova300.rules.*unplug and plug in again" "$D/logger.out" &&
    grep "70-dova300.rules" "$D/logger.out" | grep -qiE "dova300-0001|$tty"; then
    verdict PASS permission "reported once, by name, with the fix"
  else
    verdict FAIL permission "reported $n times: $(tr '\n' '|' <"$D/logger.out" | cut -c1-300)"
  fi
}

# A bridge that refuses the converter's writes is tried a bounded number of times, never
# reported as converted.
scenario_bad_bridge() {  # name, fault command, what the trace shows per attempt
  local name="$1" fault="$2" mark="$3"
  start_sim "$name" --count 0 --ea60 1 --quiet
  wait_until 30 tty_present VCP0001 || { verdict FAIL "$name" "no tty"; stop_sim; return 1; }
  sim "$fault 1 on"
  start_logger
  nap 40  # room for many more tries than the bound
  stop_logger
  stop_sim
  local tries lines
  tries="$(grep -c "$mark" "$D/sim.out")"
  lines="$(grep -ci "VCP0001" "$D/logger.out")"
  if grep -q "Converted to USBXpress" "$D/logger.out"; then
    verdict FAIL "$name" "reported as converted; $tries tries; console: $(grep -i VCP0001 "$D/logger.out" | head -n 3 | tr '\n' '|')"
  elif [ "$tries" -lt 1 ] || [ "$tries" -gt 3 ] || [ "$lines" -lt 1 ] || [ "$lines" -gt 4 ]; then
    verdict FAIL "$name" "$tries tries, $lines console lines about the bridge"
  else
    verdict PASS "$name" "$tries tries, then left alone; $lines console lines"
  fi
}

case "$SET" in
  default)
    if scenario_two_bridges; then
      scenario_unplug
      scenario_cycles
      scenario_sigterm
    else
      stop_logger; stop_sim
    fi
    scenario_convert
    scenario_probe_in_use
    scenario_permission
    # The converter's first write (self power) is refused; it must stop there each try.
    scenario_bad_bridge stalled-writes stallwrites "configuration write 0x3705 stalled"
    scenario_bad_bridge kept-identity keepidentity "identity kept"
    ;;
esac
dmesg >"$R/dmesg.txt"
echo "done" >>"$R/verdicts.done"
