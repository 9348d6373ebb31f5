# SPDX-License-Identifier: GPL-3.0-or-later
"""Announcements through a PulseAudio null sink, heard from its monitor.

Usage: pulse_bench.py SOCKET COUNT LABEL

Tempovox must already run on SOCKET with a voice of steady tones (clip i: 300 + 20 i Hz for
120 + 2 i ms, see pulse.sh) and
the null sink "bench" as its output. Records the sink's monitor with parec while COUNT DTMF
requests are answered one after the other, then prints one Markdown row: the silence between
clips (median, p99, worst), the delay from PTT 1 to the first sound, the clips cut short and
the sound heard after PTT 0.
"""
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time

RATE = 48000
THRESHOLD = 300  # a 1 ms block is sound when its peak is above this (the tones peak near 16000)


def main():
    path, count, label = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    recorder = subprocess.Popen(
        ["parec", "-d", "bench.monitor", f"--rate={RATE}", "--channels=1", "--format=s16le", "--raw",
         "--latency-msec=5"], stdout=subprocess.PIPE)
    audio = bytearray()
    first_byte = []

    def record():
        while chunk := recorder.stdout.read(4096):
            if not first_byte:
                first_byte.append(time.monotonic() - len(chunk) / 2 / RATE)
            audio.extend(chunk)

    reader = threading.Thread(target=record, daemon=True)
    reader.start()
    link = socket.socket(socket.AF_UNIX)
    link.connect(path)
    lines = link.makefile("rb")
    keyed = []  # when each announcement's first PTT 1 came
    released = []  # and when its PTT 0 came
    # parec takes a while to connect: nothing is asked for before the recording has begun, or
    # the first announcement after the server started would go unheard.
    while not first_byte:
        time.sleep(0.01)
    time.sleep(0.2)
    for _ in range(count):
        link.sendall(b"DTMF 123\n")
        keyed_at = None
        while True:
            line = lines.readline().strip()
            if line == b"PTT 1" and keyed_at is None:
                keyed_at = time.monotonic()
            if line == b"PTT 0" and keyed_at is not None:
                released.append(time.monotonic())
                break
        keyed.append(keyed_at)
        time.sleep(0.4)
    time.sleep(0.3)
    recorder.terminate()
    reader.join()

    samples = struct.unpack(f"<{len(audio) // 2}h", bytes(audio[: len(audio) // 2 * 2]))
    block = RATE // 1000
    sound = [max(map(abs, samples[i:i + block])) > THRESHOLD for i in range(0, len(samples) - block, block)]
    runs, start = [], 0  # (first ms, length ms, is sound)
    for i in range(1, len(sound) + 1):
        if i == len(sound) or sound[i] != sound[start]:
            runs.append((start, i - start, sound[start]))
            start = i
    gaps = sorted(length for k, (_, length, is_sound) in enumerate(runs)
                  if not is_sound and 0 < k < len(runs) - 1 and length < 300)
    clips = [(first, length) for first, length, is_sound in runs if is_sound]

    # A clip is known by its pitch, counted in zero crossings, and so is the length it should have.
    def expected_ms(first, length):
        part = samples[first * block:(first + length) * block]
        crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
        return 120 + 2 * round((crossings / 2 / (len(part) / RATE) - 300) / 20)

    cut = sum(1 for first, length in clips if length < expected_ms(first, length) - 5)
    # The first sound after each PTT 1, on the recording's clock.
    onsets = [first for first, _, is_sound in runs if is_sound]
    delays = []
    for at in keyed:
        ms = (at - first_byte[0]) * 1000
        later = [o for o in onsets if o >= ms - 5]
        if later:
            delays.append(later[0] - ms)

    # Sound heard between each PTT 0 and the next PTT 1 (or the end of the recording).
    after_release = 0
    for k, at in enumerate(released):
        start_ms = (at - first_byte[0]) * 1000
        end_ms = (keyed[k + 1] - first_byte[0]) * 1000 if k + 1 < len(keyed) else len(sound)
        after_release += sum(1 for ms in range(max(int(start_ms), 0), min(int(end_ms), len(sound))) if sound[ms])

    def spread(values):
        if not values:
            return "–"
        values = sorted(values)
        return f"{statistics.median(values):.0f} / {values[int(0.99 * (len(values) - 1))]:.0f} / {values[-1]:.0f}"

    print(f"| {label} | {count} | {len(gaps)} | {spread(gaps)} | {spread(delays)} | {cut} of {len(clips)} "
          f"| {after_release} |")


main()
