#!/usr/bin/env python3
"""Writes tests/fixtures/Incubator A 4711.csv: a lab day of one incubator as the logger writes
it under en_US (M/d/yy h:mm:ss AP, lines ended by CR), five-minute blocks, with a lid opening
on each side, a purge, a set-point change, a temperature error, a CO2 error and an hour
without a link."""
import datetime
import math
import os

OUT = os.path.join(os.path.dirname(__file__), "..", "tests", "fixtures", "Incubator A 4711.csv")
T0 = datetime.datetime(2026, 12, 7, 8, 0, 0)
SEC = datetime.timedelta(seconds=1)
lines = []


def stamp(t):
    d = f"{t.month}/{t.day}/{t.year % 100:02d}"
    if t.hour == 0 and t.minute == 0 and t.second == 0:
        return d
    return f"{d} {t.hour % 12 or 12}:{t.minute:02d}:{t.second:02d} {'AM' if t.hour < 12 else 'PM'}"


def num(v, dec):
    s = f"{v:.{dec}f}"
    return s.rstrip("0").rstrip(".") if "." in s else s


def line(t, text):
    lines.append(f"{stamp(t)}, {text}")


def connect(t):
    for text in ("Connected", "Left Chamber On", "Left Lid Closed", "Right Chamber On",
                 "Right Lid Closed", "Gas Flow On"):
        line(t, text)


EVENTS = {95: "Left Lid Open", 97: "Left Lid Closed", 200: "Gas Purge Start",
          203: "Gas Purge Stop", 300: "Right Lid Open", 301: "Right Lid Closed",
          420: "Left Set-Point Adjusted, 37.5", 640: "Left Temperature Error",
          652: "Left Lid Closed", 900: "Gas CO2 Error", 905: "Gas Flow On"}
DOWN, UP = 1000, 1060
lsp, rsp, gsp = 37.0, 37.0, 20
connect(T0)
for m in range(0, 1440):
    t = T0 + datetime.timedelta(minutes=m)
    if m == DOWN:
        line(t, "Disconnected")
    if DOWN <= m < UP:
        continue
    if m == UP:
        connect(t)
    if m in EVENTS:
        line(t + 20 * SEC, EVENTS[m])
        if EVENTS[m].startswith("Left Set-Point Adjusted"):
            lsp = 37.5
    if m % 5:
        continue
    left = lsp + 0.1 * math.sin(m / 37.0)
    if 95 <= m < 110:
        left = lsp - 0.8 + (m - 95) * 0.05
    if 640 <= m < 652:
        left = lsp + 0.9
    right = rsp - 0.6 if 300 <= m < 310 else rsp + 0.1 * math.cos(m / 53.0)
    flow = 9 if 900 <= m < 905 else gsp + (2 if m % 60 == 0 else 0)
    for name, v, d in (("Left Temperature", left, 1), ("Left Set-Point", lsp, 1),
                       ("Right Temperature", right, 1), ("Right Set-Point", rsp, 1),
                       ("Gas Flow", flow, 0), ("Gas Set-Point", gsp, 0)):
        line(t + SEC, f"{name}, {num(round(v, d), d)}")
line(T0 + datetime.timedelta(minutes=1440), "Disconnected")
with open(OUT, "wb") as f:
    f.write(("\r".join(lines) + "\r").encode())
