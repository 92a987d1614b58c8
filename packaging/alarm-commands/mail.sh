#!/bin/sh
# Mails every alarm the DOVA-300 Logger announces, through the computer's own mail system.
#
#   dova300-logger --headless --alarm-command /usr/share/dova300-logger/alarm-commands/mail.sh
#
# DOVA300_MAIL_TO (in the logger's environment) names the recipients; root by default.
# Needs a sendmail program (any mail transfer agent provides one).
set -eu

# Device text may hold anything: no line breaks or control characters into the headers.
clean() { printf '%s' "$1" | tr -d '\000-\037\177'; }

to=$(clean "${DOVA300_MAIL_TO:-root}")
name=$(clean "${DOVA300_ALARM_NAME:-}")
serial=$(clean "${DOVA300_ALARM_SERIAL:-}")
kind=$(clean "${DOVA300_ALARM_KIND:-}")
side=$(clean "${DOVA300_ALARM_SIDE:-}")
what=$(clean "${DOVA300_ALARM_TRANSITION:-}")
priority=$(clean "${DOVA300_ALARM_PRIORITY:-}")

{
  printf 'To: %s\n' "$to"
  printf 'Subject: [%s] %s %s%s: %s (%s)\n' "$priority" "$kind" "$what" "${side:+, $side}" "$name" "$serial"
  printf 'Content-Type: text/plain; charset=UTF-8\n\n'
  printf 'Incubator: %s (%s)\n' "$name" "$serial"
  printf 'Alarm:     %s%s, %s priority\n' "$kind" "${side:+, $side}" "$priority"
  printf 'What:      %s at %s\n' "$what" "$(clean "${DOVA300_ALARM_TIME:-}")"
  printf 'Value:     %s (limit %s)\n' "$(clean "${DOVA300_ALARM_VALUE:-}")" "$(clean "${DOVA300_ALARM_LIMIT:-}")"
  printf 'State:     %s\n' "$(clean "${DOVA300_ALARM_STATE:-}")"
  if [ -n "${DOVA300_ALARM_USER:-}" ]; then
    printf 'By:        %s: %s\n' "$(clean "$DOVA300_ALARM_USER")" "$(clean "${DOVA300_ALARM_COMMENT:-}")"
  fi
} | sendmail -t
