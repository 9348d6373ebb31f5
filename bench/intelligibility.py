#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How well an offline recognizer understands each candidate English voice.

    intelligibility.py OUT.md [ENGINE:VOICE:PACE ...]

PACE is espeak-ng's words per minute or flite's and festival's @stretch. Each candidate is built
by voices/make-voice.sh from voices/en-us.tsv with its settings in place of the table's, so the
clips go through the same trimming and levelling as the real folder. pocketsphinx (US-English
model, 16 kHz, pocketsphinx_continuous) then recognizes the 68 spoken clips and 20 announcements, seeded so that every run
hears the same ones, once with the open language model and once with a grammar of the clock's
words; word error rate = (substitutions + deletions + insertions) / reference words.
"""
import concurrent.futures
import os
import random
import re
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
TABLE = os.path.join(ROOT, "voices", "en-us.tsv")
MODEL = "/usr/share/pocketsphinx/model/en-us"
SEED = 15
ANNOUNCEMENTS = 20
CANDIDATES = [
    "espeak-ng:en-us+f3:160", "espeak-ng:en-us:140",
    "flite:kal:1", "flite:kal16:1", "flite:awb:1", "flite:rms:1", "flite:slt:1",
    "flite:rms:0.95", "flite:rms:1.05", "flite:rms:1.1",
    "flite:kal16:1.15", "flite:awb:1.15", "flite:rms:1.15", "flite:slt:1.15",
    "festival:kal_diphone:1", "festival:ked_diphone:1", "festival:cmu_us_slt_arctic_hts:1",
    "festival:kal_diphone:1.15", "festival:ked_diphone:1.15", "festival:cmu_us_slt_arctic_hts:1.15",
]
# The same word heard either way: the letter "o" is "oh", "am" is "a.m.".
SAME = {"o": "oh", "am": "a.m.", "pm": "p.m."}


def table_words():
    """{stem: the words as written} from the table; normalise() gives the words heard."""
    words = {}
    with open(TABLE, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith(("#", "@")):
                stem, text = line.split("\t", 1)
                words[stem] = text
    return words


def normalise(text):
    tokens = re.sub(r"[-,]", " ", text.lower()).replace("a.m.", " a.m. ").replace("p.m.", " p.m. ")
    return [SAME.get(t, t) for t in tokens.split()]


def announcements(rng):
    """The window's four styles at random: 24 or 12 hour, "hours"/"minutes" or not, a greeting
    (chosen by the 24-hour hour, as the program does) or not, AM/PM or not."""
    out = []
    for _ in range(ANNOUNCEMENTS):
        hour, minute = rng.randrange(24), rng.randrange(60)
        twelve, long_form, greet, am_pm = (rng.random() < 0.5 for _ in range(4))
        stems = [("GoodMorning", "GoodEvening", "GoodAfternoon")[0 if hour < 12 else 1 if hour < 18 else 2]] if greet else []
        shown = (hour % 12 or 12) if twelve else hour
        stems += ["TheTimeIs", f"{shown:02d}"] + (["Hour"] if long_form else []) + [f"{minute:02d}"]
        stems += (["Minutes"] if long_form else []) + ([("AM", "PM")[hour >= 12]] if am_pm else [])
        out.append(stems)
    return out


def grammars(words, folder):
    def alt(stems):
        return " | ".join(" ".join(normalise(words[s])) for s in stems)
    numbers = alt(f"{n:02d}" for n in range(60))
    head = "#JSGF V1.0;\ngrammar clock;\n"
    rules = (f"<greeting> = {alt(['GoodMorning', 'GoodEvening', 'GoodAfternoon'])};\n"
             f"<number> = {numbers};\n<ampm> = {alt(['AM', 'PM'])};\n")
    clip = head + "public <clip> = <greeting> | the time is | hours | minutes | <number> | <ampm>;\n" + rules
    full = head + ("public <announcement> = [<greeting>] the time is <number> [hours] <number> [minutes]"
                   " [<ampm>];\n") + rules
    paths = []
    for name, text in (("clip", clip), ("announcement", full)):
        paths.append(os.path.join(folder, name + ".gram"))
        with open(paths[-1], "w") as f:
            f.write(text)
    return paths


def distance(ref, hyp):
    row = list(range(len(hyp) + 1))
    for i, r in enumerate(ref, 1):
        prev, row[0] = row[0], i
        for j, h in enumerate(hyp, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (r != h))
    return row[-1]


def recognise(folder, names, extra):
    """pocketsphinx_continuous on each FOLDER/NAME.wav (16 kHz mono), as a listener hears one
    clip or one announcement at a time; {name: words}."""
    heard = {}
    for name in names:
        run = subprocess.run(["pocketsphinx_continuous", "-infile", os.path.join(folder, name + ".wav"),
                              "-hmm", os.path.join(MODEL, "en-us"),
                              "-dict", os.path.join(MODEL, "cmudict-en-us.dict")] + extra,
                             check=True, capture_output=True, text=True)
        heard[name] = normalise(run.stdout.replace("\n", " "))
    return heard


def measure(candidate, words, plays, gram_clip, gram_full):
    engine, voice, pace = candidate.split(":")
    with tempfile.TemporaryDirectory() as tmp:
        table = os.path.join(tmp, "voice.tsv")
        with open(table, "w", encoding="utf-8") as f:
            f.write(f"@engine\t{engine}\n@voice\t{voice}\n")
            f.write(f"@speed\t{pace}\n" if engine == "espeak-ng" else f"@stretch\t{pace}\n")
            f.writelines(f"{s}\t{w}\n" for s, w in words.items())
        subprocess.run(["bash", os.path.join(ROOT, "voices", "make-voice.sh"), table, tmp, "v"],
                       check=True, stdout=subprocess.DEVNULL)
        clips = os.path.join(tmp, "v")
        audio = os.path.join(tmp, "16k")
        os.mkdir(audio)
        # Silence on both sides, as on the air, so the recognizer finds the start and end.
        for stem in words:
            subprocess.run(["sox", "-R", os.path.join(clips, stem + ".wav"), "-r", "16000",
                            os.path.join(audio, stem + ".wav"), "pad", "0.3", "0.3"], check=True)
        gap = os.path.join(tmp, "gap.wav")
        subprocess.run(["sox", "-R", "-n", "-r", "44100", "-c", "1", "-b", "16", gap, "trim", "0", "0.015"], check=True)
        for i, stems in enumerate(plays):
            parts = []
            for s in stems:
                parts += [os.path.join(clips, s + ".wav"), gap]
            subprocess.run(["sox", "-R"] + parts[:-1] + ["-r", "16000", os.path.join(audio, f"a{i:02d}.wav"),
                                                          "pad", "0.3", "0.3"], check=True)
        names = [f"a{i:02d}" for i in range(len(plays))]
        refs = {s: normalise(w) for s, w in words.items()}
        refs.update({n: sum((refs[s] for s in p), []) for n, p in zip(names, plays)})
        lm = ["-lm", os.path.join(MODEL, "en-us.lm.bin")]
        result = {}
        for mode, clip_extra, full_extra in (("open", lm, lm), ("grammar", ["-jsgf", gram_clip], ["-jsgf", gram_full])):
            heard = recognise(audio, list(words), clip_extra)
            heard.update(recognise(audio, names, full_extra))
            for kind, keys in (("clips", list(words)), ("announcements", names)):
                errors = sum(distance(refs[k], heard[k]) for k in keys)
                total = sum(len(refs[k]) for k in keys)
                exact = sum(distance(refs[k], heard[k]) == 0 for k in keys)
                wrong = [f"{k}: {' '.join(refs[k])} -> {' '.join(heard[k])}" for k in keys if refs[k] != heard[k]]
                result[mode, kind] = (100.0 * errors / total, 100.0 * exact / len(keys), wrong)
        return result


def main():
    out, candidates = sys.argv[1], sys.argv[2:] or CANDIDATES
    words = table_words()
    plays = announcements(random.Random(SEED))
    with tempfile.TemporaryDirectory() as tmp:
        gram_clip, gram_full = grammars(words, tmp)
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
            results = dict(zip(candidates, pool.map(lambda c: measure(c, words, plays, gram_clip, gram_full), candidates)))
    lines = [f"intelligibility: pocketsphinx en-us, {len(words)} clips, {ANNOUNCEMENTS} announcements (seed {SEED})", "",
             "| voice | pace | clips, open | announcements, open | clips, grammar | announcements, grammar (exactly right) |",
             "|---|---|---|---|---|---|"]
    details = []
    for c in candidates:
        engine, voice, pace = c.split(":")
        r = results[c]
        pace = f"{pace} wpm" if engine == "espeak-ng" else f"stretch {pace}"
        lines.append(f"| {engine} `{voice}` | {pace} | {r['open', 'clips'][0]:.1f} % | {r['open', 'announcements'][0]:.1f} % "
                     f"| {r['grammar', 'clips'][0]:.1f} % | {r['grammar', 'announcements'][0]:.1f} % "
                     f"({r['grammar', 'announcements'][1]:.0f} %) |")
        details += [f"{c}, grammar: {w}" for kind in ("clips", "announcements") for w in r["grammar", kind][2]]
    text = "\n".join(lines) + "\n"
    with open(out, "w") as f:
        f.write(text + "\nMisheard with the grammar:\n\n" + "".join(f"    {d}\n" for d in details))
    print(text)


if __name__ == "__main__":
    main()
