#!/bin/sh
# Posts every alarm the DOVA-300 Logger announces to a web hook as JSON (chat rooms, paging
# services, home-made dashboards).
#
#   DOVA300_WEBHOOK_URL=https://chat.example.org/hooks/abc \
#     dova300-logger --headless --alarm-command /usr/share/dova300-logger/alarm-commands/webhook.sh
#
# Needs curl. The logger ends a command after 30 s; curl gives up after 20.
set -eu

: "${DOVA300_WEBHOOK_URL:?set DOVA300_WEBHOOK_URL to the hook address}"

# A JSON string: backslashes and quotes escaped, control characters left out.
json() { printf '%s' "$1" | tr -d '\000-\037\177' | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }

text="$(json "${DOVA300_ALARM_PRIORITY:-}: ${DOVA300_ALARM_KIND:-} ${DOVA300_ALARM_TRANSITION:-}${DOVA300_ALARM_SIDE:+, $DOVA300_ALARM_SIDE}, ${DOVA300_ALARM_NAME:-} (${DOVA300_ALARM_SERIAL:-}): ${DOVA300_ALARM_VALUE:-}")"
body=$(printf '{"text":"%s","kind":"%s","transition":"%s","serial":"%s","name":"%s","side":"%s","value":"%s","limit":"%s","priority":"%s","time":"%s","user":"%s","comment":"%s"}' \
  "$text" \
  "$(json "${DOVA300_ALARM_KIND:-}")" "$(json "${DOVA300_ALARM_TRANSITION:-}")" \
  "$(json "${DOVA300_ALARM_SERIAL:-}")" "$(json "${DOVA300_ALARM_NAME:-}")" \
  "$(json "${DOVA300_ALARM_SIDE:-}")" "$(json "${DOVA300_ALARM_VALUE:-}")" \
  "$(json "${DOVA300_ALARM_LIMIT:-}")" "$(json "${DOVA300_ALARM_PRIORITY:-}")" \
  "$(json "${DOVA300_ALARM_TIME:-}")" "$(json "${DOVA300_ALARM_USER:-}")" \
  "$(json "${DOVA300_ALARM_COMMENT:-}")")

exec curl --silent --show-error --fail --max-time 20 \
  --header 'Content-Type: application/json' --data-binary "$body" "$DOVA300_WEBHOOK_URL"
