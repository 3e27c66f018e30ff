#!/usr/bin/python3
"""Measures an Impulse Tracker module the way the soundtrack is judged.

Usage: scripts/music_measure.py MODULE.it [--spectrogram OUT.png] [--placements] [--score-only] [--stems]

Score figures come from the file itself: effect commands by kind, sample
count, distinct drum bars, the most similar pair of patterns, and the notes of
instruments 1 and 6 per order (--placements lists every one of them as
order:row:channel:delay, for comparing two versions of the score).

Drum bars are the 32-row bars of the instruments named like drums, compared
note for note; similarity counts the identical cells among those that hold
something in either pattern.

Sound figures (skipped with --score-only) come from an openmpt123 render at 44.1 kHz: spectral centroid,
share of energy below 150 Hz, side against mid, integrated loudness and true
peak (ffmpeg ebur128), and loudness per order (an order is 128 rows of 60 ms).

Per order, from the score: which carol each order's tune plays (found by
matching every channel's line against the carols' notes below, written in C
major), the tune's notes and durations beside the carol's, the tune notes on
beats 1 and 3 outside the chord of the pads and bass under them and the
clashes (minor second, major seventh, tritone) with the bass there; per drum
part the number of volume levels and the hits moved off the grid by a note
delay.

--stems also renders one stem per channel (a copy of the module with every
other channel's volume at 0; the stems must add back to the full render) and
prints per order: the tune channel's level in 300-1500 Hz against everything
else combined, its left/right balance, its echo against it on each side, and
every stem's loudness and spectral centroid; then per stem its loudness
against the mix, the bass's energy below 100 Hz, the hats' centroid, the
snare's share above 5 kHz and the peak of the risers where they play.

Needs openmpt123, ffmpeg and python3-numpy (measurement tools only; the
project does not depend on them).
"""
import collections
import os
import struct
import subprocess
import sys
import tempfile

ORDER_SECONDS = 128 * 0.06


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def read_module(path):
    b = open(path, "rb").read()
    if b[:4] != b"IMPM":
        sys.exit(f"{path}: not an Impulse Tracker module")
    orders, instruments, samples, patterns = u16(b, 0x20), u16(b, 0x22), u16(b, 0x24), u16(b, 0x26)
    order_list = list(b[0xC0:0xC0 + orders])
    tables = 0xC0 + orders
    names = []
    for i in range(instruments):
        at = u32(b, tables + 4 * i)
        names.append(b[at + 0x20:at + 0x3A].split(b"\0")[0].decode("latin-1"))
    pattern_cells = []
    for i in range(patterns):
        at = u32(b, tables + 4 * (instruments + samples) + 4 * i)
        cells = collections.defaultdict(dict)  # (row, channel) -> fields
        if at == 0:
            pattern_cells.append((64, cells))
            continue
        length, rows = u16(b, at), u16(b, at + 2)
        data, p, row = b[at + 8:at + 8 + length], 0, 0
        last_mask, last = [0] * 64, [dict() for _ in range(64)]
        while row < rows and p < len(data):
            marker = data[p]
            p += 1
            if marker == 0:
                row += 1
                continue
            ch = (marker - 1) & 63
            if marker & 0x80:
                last_mask[ch] = data[p]
                p += 1
            mask, cell = last_mask[ch], {}
            if mask & 1:
                cell["note"] = last[ch]["note"] = data[p]
                p += 1
            if mask & 2:
                cell["ins"] = last[ch]["ins"] = data[p]
                p += 1
            if mask & 4:
                cell["vol"] = last[ch]["vol"] = data[p]
                p += 1
            if mask & 8:
                cell["fx"] = last[ch]["fx"] = (data[p], data[p + 1])
                p += 2
            for bit, key in ((16, "note"), (32, "ins"), (64, "vol"), (128, "fx")):
                if mask & bit and key in last[ch]:
                    cell[key] = last[ch][key]
            cells[(row, ch)] = cell
        pattern_cells.append((rows, cells))
    return dict(orders=order_list, names=names, samples=samples, patterns=pattern_cells)


def score_figures(mod, placements):
    fx_kinds = collections.Counter()
    vol_codes = collections.Counter()
    for rows, cells in mod["patterns"]:
        for cell in cells.values():
            if "fx" in cell:
                letter, param = cell["fx"]
                name = chr(ord("A") + letter - 1)
                if name == "S":
                    name += "%X" % (param >> 4)
                fx_kinds[name] += 1
            v = cell.get("vol")
            if v is not None and 65 <= v <= 212 and not 128 <= v <= 192:
                vol_codes["volume-column slide/porta"] += 1
    notes = sum(1 for _, cells in mod["patterns"] for c in cells.values() if 1 <= c.get("note", 0) <= 120)
    print(f"effect commands: {sum(fx_kinds.values())} in {notes} notes  " +
          ", ".join(f"{k} {n}" for k, n in sorted(fx_kinds.items())))
    if vol_codes:
        print("volume-column effects: " + ", ".join(f"{k} {n}" for k, n in vol_codes.items()))
    volumes = collections.Counter(c["vol"] for _, cells in mod["patterns"] for c in cells.values() if 0 <= c.get("vol", -1) <= 64)
    print(f"samples: {mod['samples']}, instruments: {len(mod['names'])}, distinct note volumes: {len(volumes)}")

    drums = {i + 1 for i, n in enumerate(mod["names"]) if any(w in n.lower() for w in ("kick", "snare", "hat", "tom", "clap", "rim", "shaker", "crash", "ride"))}
    bars, total_bars = set(), 0
    for pattern in mod["orders"]:
        rows, cells = mod["patterns"][pattern]
        for bar in range(rows // 32):
            events = tuple(sorted((r - bar * 32, c.get("ins"), c.get("note")) for (r, ch), c in cells.items()
                                  if bar * 32 <= r < bar * 32 + 32 and c.get("ins") in drums and c.get("note", 0) < 120))
            if events:
                total_bars += 1
                bars.add(events)
    print(f"distinct drum bars: {len(bars)} of {total_bars} bars with drums")

    best = (0.0, None, None)
    for i in range(len(mod["patterns"])):
        for j in range(i + 1, len(mod["patterns"])):
            (ri, a), (rj, b) = mod["patterns"][i], mod["patterns"][j]
            keys = set(a) | set(b)
            if not keys:
                continue
            # identical cells among those that hold something in either pattern
            share = sum(1 for k in keys if a.get(k) == b.get(k)) / len(keys)
            best = max(best, (share, i, j))
    print(f"most similar patterns: {best[1]} and {best[2]}, {100 * best[0]:.1f} % of cells identical")

    counts = []
    for order, pattern in enumerate(mod["orders"]):
        rows, cells = mod["patterns"][pattern]
        per = {1: 0, 6: 0}
        last_ins = {}
        for (r, ch) in sorted(cells, key=lambda k: (k[0], k[1])):
            c = cells[(r, ch)]
            if "ins" in c:
                last_ins[ch] = c["ins"]
            ins = c.get("ins", last_ins.get(ch))
            if 1 <= c.get("note", 0) <= 120 and ins in per:
                per[ins] += 1
                if placements:
                    fx = c.get("fx", (0, 0))
                    delay = fx[1] & 15 if fx[0] == 19 and fx[1] >> 4 == 0xD else 0
                    print(f"place {ins} {order}:{r}:{ch}:{delay}")
        counts.append(f"{order}: {per[1]}/{per[6]}")
    print("instrument 1 / instrument 6 notes per order: " + ", ".join(counts))


# The carols as sung, in C major (60 = middle C), as (pitch, rows) with 8 rows a beat.
B3, C4, D4, E4, F4, FS4, G4, A4, B4, C5 = 59, 60, 62, 64, 65, 66, 67, 69, 71, 72
CAROLS = {
    "Deck the Halls: Deck the halls with boughs of holly, fa la la":
        [(G4, 12), (F4, 4), (E4, 8), (D4, 8), (C4, 8), (D4, 8), (E4, 8), (C4, 8),
         (D4, 4), (E4, 4), (F4, 4), (D4, 4), (E4, 12), (D4, 4), (C4, 8), (B3, 8), (C4, 16)],
    "Deck the Halls: Don we now our gay apparel, fa la la":
        [(D4, 12), (E4, 4), (F4, 8), (D4, 8), (E4, 12), (F4, 4), (G4, 8), (D4, 8),
         (E4, 4), (FS4, 4), (G4, 8), (A4, 4), (B4, 4), (C5, 8), (B4, 8), (A4, 8), (G4, 16)],
    "Deck the Halls: Troll the ancient Yuletide carol, fa la la":
        [(G4, 12), (F4, 4), (E4, 8), (D4, 8), (C4, 8), (D4, 8), (E4, 8), (C4, 8),
         (A4, 4), (A4, 4), (A4, 4), (A4, 4), (G4, 12), (F4, 4), (E4, 8), (D4, 8), (C4, 16)],
    "Deck the Halls: fa la la la la, la la la la":
        [(A4, 4), (A4, 4), (A4, 4), (A4, 4), (G4, 12), (F4, 4), (E4, 8), (D4, 8), (C4, 16)],
    "Jingle Bells: Jingle bells, jingle bells, jingle all the way":
        [(E4, 8), (E4, 8), (E4, 16), (E4, 8), (E4, 8), (E4, 16), (E4, 8), (G4, 8), (C4, 12), (D4, 4), (E4, 32)],
    "Jingle Bells: Oh what fun it is to ride in a one-horse open sleigh, hey!":
        [(F4, 8), (F4, 8), (F4, 12), (F4, 4), (F4, 8), (E4, 8), (E4, 8), (E4, 4), (E4, 4),
         (E4, 8), (D4, 8), (D4, 8), (E4, 8), (D4, 16), (G4, 16)],
    "Jingle Bells: Oh what fun it is to ride in a one-horse open sleigh":
        [(F4, 8), (F4, 8), (F4, 8), (F4, 8), (F4, 8), (E4, 8), (E4, 8), (E4, 4), (E4, 4),
         (G4, 8), (G4, 8), (F4, 8), (D4, 8), (C4, 32)],
    "Joy to the World: Joy to the world, the Lord is come":
        [(C5, 8), (B4, 6), (A4, 2), (G4, 12), (F4, 4), (E4, 8), (D4, 8), (C4, 16)],
}
NOTE_NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
TONAL = ("bell", "bass", "lead", "string", "choir", "stab", "chip", "arpeggio")
PAD = ("string", "choir")
DRUM_WORDS = ("kick", "snare", "hat", "tom", "clap", "shaker", "crash", "sleigh")


def note_name(pitch):
    return f"{NOTE_NAMES[pitch % 12]}{pitch // 12 - 1}"


def channel_events(mod):
    """Per channel, the song's events in order: (song row, note, instrument, volume, delay ticks)."""
    events = collections.defaultdict(list)
    last_ins = {}
    for order, pattern in enumerate(mod["orders"]):
        rows, cells = mod["patterns"][pattern]
        for (r, ch) in sorted(cells, key=lambda k: (k[0], k[1])):
            c = cells[(r, ch)]
            if "ins" in c:
                last_ins[ch] = c["ins"]
            if "note" not in c:
                continue
            fx = c.get("fx", (0, 0))
            delay = fx[1] & 15 if fx[0] == 19 and fx[1] >> 4 == 0xD else 0
            events[ch].append((order * 128 + r, c["note"], c.get("ins", last_ins.get(ch)), c.get("vol"), delay))
    return events


def lines(mod, events):
    """Per channel, its tonal notes as (song row, pitch, rows until the next event, instrument)."""
    out = {}
    for ch, ev in events.items():
        notes = []
        for i, (at, note, ins, _, _) in enumerate(ev):
            name = mod["names"][ins - 1].lower() if ins else ""
            if note > 119 or not any(w in name for w in TONAL) or "sleigh" in name:
                continue
            end = ev[i + 1][0] if i + 1 < len(ev) else len(mod["orders"]) * 128
            notes.append((at, note, end - at, ins))
        out[ch] = notes
    return out


def match_carol(notes, start):
    """The carol excerpt that best fits the notes from index `start`: (name, pitch hits, duration hits, shift)."""
    best = None
    for name, carol in CAROLS.items():
        if start + len(carol) > len(notes):
            continue
        shift = notes[start][1] - carol[0][0]
        pitches = sum(1 for k, (p, _) in enumerate(carol) if notes[start + k][1] == p + shift)
        durations = sum(1 for k, (_, d) in enumerate(carol)
                        if notes[start + k][2] == d or (k == len(carol) - 1 and notes[start + k][2] >= d))
        rank = (pitches / len(carol), durations / len(carol))
        if best is None or rank > best[0]:
            best = (rank, (name, pitches, durations, shift))
    return best[1] if best else None


def find_tunes(mod, note_lines):
    """Per order: the tune channel and the carol excerpts it plays there (start row, name, hits, notes)."""
    tunes = {}
    for order in range(len(mod["orders"])):
        candidates = []
        for ch, notes in note_lines.items():
            idx = [i for i, n in enumerate(notes) if order * 128 <= n[0] < order * 128 + 128]
            found, i = [], idx[0] if idx else 0
            while idx and i <= idx[-1]:
                m = match_carol(notes, i)
                if m and m[1] >= 0.6 * len(CAROLS[m[0]]):
                    length = len(CAROLS[m[0]])
                    found.append((notes[i][0] - order * 128, m, notes[i:i + length]))
                    i += length
                else:
                    i += 1
            if found:
                # Whole excerpts count most, then matching notes.
                score = sum(1000 * (f[1][1] == len(CAROLS[f[1][0]])) + f[1][1] + f[1][2] for f in found)
                candidates.append((score, -ch, ch, found))
        if candidates:
            _, _, ch, found = max(candidates)
            tunes[order] = (ch, found)
    return tunes


def sounding(notes, at):
    """The pitch a line sounds at song row `at`, or None."""
    for start, pitch, rows, _ in notes:
        if start <= at < start + rows:
            return pitch
    return None


def carol_figures(mod, tunes, note_lines):
    pads = [ch for ch, notes in note_lines.items()
            if notes and all(any(w in mod["names"][n[3] - 1].lower() for w in PAD) for n in notes)]
    bass = [ch for ch, notes in note_lines.items() if notes and "bass" in mod["names"][notes[0][3] - 1].lower()]
    print("tunes (tune's notes as name:rows | the carol's, transposed):")
    for order in range(len(mod["orders"])):
        if order not in tunes:
            print(f"  order {order:2}: no tune")
            continue
        ch, found = tunes[order]
        for row, (name, pitches, durations, shift), notes in found:
            carol = CAROLS[name]
            print(f"  order {order:2} ch {ch:2} row {row:3}: {name}: pitches {pitches}/{len(carol)}, "
                  f"durations {durations}/{len(carol)}")
            print("      tune:  " + " ".join(f"{note_name(n[1])}:{n[2]}" for n in notes))
            print("      carol: " + " ".join(f"{note_name(p + shift)}:{d}" for p, d in carol))
        outside, clashes = [], []
        for beat_row in range(0, 128, 16):
            at = order * 128 + beat_row
            tune = sounding(note_lines[ch], at)
            if tune is None:
                continue
            chord = {p % 12 for c in pads + bass for p in [sounding(note_lines[c], at)] if p is not None}
            if chord and tune % 12 not in chord:
                outside.append(f"{note_name(tune)}@{beat_row} over {'/'.join(NOTE_NAMES[p] for p in sorted(chord))}")
            low = [sounding(note_lines[c], at) for c in bass]
            for b in low:
                if b is not None and (tune - b) % 12 in (1, 6, 11):
                    clashes.append(f"{note_name(tune)}@{beat_row} over bass {note_name(b)}")
        print(f"      beats 1 and 3: {len(outside)} outside the chord{': ' + ', '.join(outside) if outside else ''}; "
              f"{len(clashes)} clashes with the bass{': ' + ', '.join(clashes) if clashes else ''}")


def groove_figures(mod, events):
    drums = {i + 1: n for i, n in enumerate(mod["names"]) if any(w in n.lower() for w in DRUM_WORDS)}
    hits = [(at, ins, vol, delay) for ev in events.values() for at, note, ins, vol, delay in ev
            if note <= 119 and ins in drums]
    off_grid = sum(1 for h in hits if h[3] and h[1] not in (1, 6))
    print(f"drum hits: {len(hits)}, {off_grid} moved off the grid by a note delay (instruments 1 and 6: "
          f"{sum(1 for ev in events.values() for e in ev if e[1] <= 119 and e[2] in (1, 6) and e[4])} delayed)")
    print("volume levels per drum part and order (parts with at least 4 hits):")
    for order in range(len(mod["orders"])):
        parts = []
        for ins, name in drums.items():
            vols = [h[2] for h in hits if h[1] == ins and order * 128 <= h[0] < order * 128 + 128]
            if len(vols) >= 4:
                parts.append(f"{name.lower()} {len(set(vols))}")
        print(f"  order {order:2}: " + ", ".join(parts))


def sound_figures(path, spectrogram):
    import numpy as np
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "render.f32")
        with open(raw, "wb") as out:
            subprocess.run(["openmpt123", "--batch", "--quiet", "--samplerate", "44100", "--float", "--stdout", path],
                           check=True, stdout=out, stderr=subprocess.DEVNULL)
        wav = os.path.join(tmp, "render.wav")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "f32le", "-ar", "44100", "-ac", "2", "-i", raw,
                        "-c:a", "pcm_f32le", wav], check=True)
        x = np.fromfile(raw, dtype="<f4").astype(np.float64)
        x = x[: len(x) // 2 * 2].reshape(-1, 2)
        rate = 44100
        print(f"render: {len(x) / rate:.2f} s")
        mid, side = (x[:, 0] + x[:, 1]) / 2, (x[:, 0] - x[:, 1]) / 2
        print(f"side vs mid: {10 * np.log10(np.sum(side ** 2) / np.sum(mid ** 2)):.1f} dB, "
              f"L/R correlation {np.corrcoef(x[:, 0], x[:, 1])[0, 1]:.2f}")
        n = 4096
        frames = mid[: len(mid) // n * n].reshape(-1, n) * np.hanning(n)
        power = np.abs(np.fft.rfft(frames, axis=1)) ** 2
        hz = np.fft.rfftfreq(n, 1 / rate)
        total = power.sum()
        print(f"spectral centroid: {(power.sum(axis=0) * hz).sum() / total:.0f} Hz, "
              f"energy below 150 Hz: {100 * power[:, hz < 150].sum() / total:.0f} %")
        per_order = []
        frames_per_order = int(ORDER_SECONDS * rate / n)
        for o in range(17):
            p = power[o * frames_per_order:(o + 1) * frames_per_order]
            if p.size:
                per_order.append(f"{o}: {(p.sum(axis=0) * hz).sum() / p.sum():.0f}")
        print("centroid per order (Hz): " + ", ".join(per_order))
        samples_per_order = int(ORDER_SECONDS * rate)
        peaks = [20 * np.log10(np.abs(x[o * samples_per_order:(o + 1) * samples_per_order]).max() + 1e-12)
                 for o in range(17)]
        print("sample peak per order (dBFS): " + ", ".join(f"{o}: {p:.1f}" for o, p in enumerate(peaks)))

        out = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-i", wav, "-af", "ebur128=peak=true", "-f", "null", "-"],
                             capture_output=True, text=True).stderr
        summary = out[out.rfind("Summary:"):]
        integrated = [l.strip() for l in summary.splitlines() if l.strip().startswith(("I:", "Peak:", "LRA:"))]
        print("ebur128: " + "; ".join(integrated))
        lufs = []
        for o in range(17):
            seg = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-ss", f"{o * ORDER_SECONDS:.2f}", "-t",
                                  f"{ORDER_SECONDS:.2f}", "-i", wav, "-af", "ebur128", "-f", "null", "-"],
                                 capture_output=True, text=True).stderr
            seg = seg[seg.rfind("Summary:"):]
            value = [l.split()[1] for l in seg.splitlines() if l.strip().startswith("I:")]
            lufs.append(f"{o}: {value[0] if value else '?'}")
        print("LUFS per order: " + ", ".join(lufs))
        if spectrogram:
            subprocess.run(["ffmpeg", "-y", "-loglevel", "error", "-i", wav, "-lavfi",
                            "showspectrumpic=s=1152x384:mode=combined:scale=log:fscale=log:legend=1", spectrogram],
                           check=True)
            print(f"spectrogram: {spectrogram}")


def render(path, out):
    with open(out, "wb") as f:
        subprocess.run(["openmpt123", "--batch", "--quiet", "--samplerate", "44100", "--float", "--stdout", path],
                       check=True, stdout=f, stderr=subprocess.DEVNULL)


def k_weighting(x, rate):
    """The K-weighting of the loudness meter applied by its magnitude response (phase does not change the energy
    of a 400 ms block measurably)."""
    import numpy as np
    f0, gain, q = 1681.974450955533, 3.999843853973347, 0.7071752369554196
    k = np.tan(np.pi * f0 / rate)
    vh, vb = 10 ** (gain / 20), (10 ** (gain / 20)) ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    shelf_b = [(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0]
    shelf_a = [1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]
    f0, q = 38.13547087602444, 0.5003270373238773
    k = np.tan(np.pi * f0 / rate)
    high_b = [1, -2, 1]
    high_a = [1, 2 * (k * k - 1) / (1 + k / q + k * k), (1 - k / q + k * k) / (1 + k / q + k * k)]
    n = 1 << int(np.ceil(np.log2(len(x))))
    z = np.exp(-1j * np.pi * np.arange(n // 2 + 1) / (n // 2))
    response = np.ones_like(z)
    for b, a in ((shelf_b, shelf_a), (high_b, high_a)):
        response *= (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z)
    return np.fft.irfft(np.fft.rfft(x, n, axis=0) * np.abs(response)[:, None], n, axis=0)[: len(x)]


def block_powers(x, rate):
    """Mean square of the K-weighted signal summed over both channels, in 400 ms blocks every 100 ms."""
    import numpy as np
    y = k_weighting(x, rate)
    c = np.concatenate([[0.0], np.cumsum((y ** 2).sum(axis=1))])
    block, hop = int(0.4 * rate), int(0.1 * rate)
    starts = np.arange(0, len(x) - block + 1, hop)
    return starts, (c[starts + block] - c[starts]) / block


def gated_loudness(powers):
    import numpy as np
    p = powers[powers > 10 ** ((-70 + 0.691) / 10)]
    if not len(p):
        return float("-inf")
    p = p[p > p.mean() * 0.1]
    return -0.691 + 10 * np.log10(p.mean())


def band_energy(x, low, high, rate):
    import numpy as np
    spectrum = np.fft.rfft(x, axis=0)
    hz = np.fft.rfftfreq(len(x), 1 / rate)
    return (np.abs(spectrum[(hz >= low) & (hz < high)]) ** 2).sum()


def db(a, b):
    import numpy as np
    return 10 * np.log10((a + 1e-20) / (b + 1e-20))


def stem_figures(path, mod, tunes, events):
    import numpy as np
    rate, orders = 44100, len(mod["orders"])
    span = int(ORDER_SECONDS * rate)
    data = bytearray(open(path, "rb").read())
    channels = sorted(events)
    with tempfile.TemporaryDirectory() as tmp:
        render(path, os.path.join(tmp, "mix.f32"))
        mix = np.fromfile(os.path.join(tmp, "mix.f32"), dtype="<f4").astype(np.float64).reshape(-1, 2)
        stems = {}
        for ch in channels:
            copy = bytearray(data)
            for other in range(64):
                if other != ch:
                    copy[0x80 + other] = 0
            stem_path = os.path.join(tmp, f"stem{ch}.it")
            open(stem_path, "wb").write(copy)
            render(stem_path, os.path.join(tmp, f"stem{ch}.f32"))
            stems[ch] = np.fromfile(os.path.join(tmp, f"stem{ch}.f32"), dtype="<f4").astype(np.float64).reshape(-1, 2)
    length = min(len(mix), *(len(s) for s in stems.values()))
    mix = mix[:length]
    for ch in channels:
        stems[ch] = stems[ch][:length]
    residual = np.abs(sum(stems.values()) - mix).max()
    print(f"stems: {len(stems)} channels, largest difference of their sum from the full render {residual:.1e}")

    starts, mix_blocks = block_powers(mix, rate)
    block = int(0.4 * rate)

    def order_loudness(blocks, order):
        inside = (starts >= order * span) & (starts + block <= (order + 1) * span)
        return gated_loudness(blocks[inside])

    stem_blocks = {ch: block_powers(stems[ch], rate)[1] for ch in channels}
    names = {}
    for ch in channels:
        used = collections.Counter(e[2] for e in events[ch] if e[1] <= 119 and e[2])
        names[ch] = "+".join(mod["names"][i - 1].lower() for i, _ in used.most_common(2))

    print("tune per order, while it plays: level in 300-1500 Hz against everything else, balance (left against "
          "right), echo against the tune on each side:")
    for order in range(orders):
        if order not in tunes:
            continue
        ch = tunes[order][0]
        tune_notes = [(e[0], e[1]) for e in events[ch] if e[1] <= 119 and order * 128 <= e[0] < order * 128 + 128]
        echo, echo_rows = None, 0
        for other in channels:
            if other == ch:
                continue
            theirs = {(e[0], e[1]) for e in events[other] if e[1] <= 119}
            for delay in range(1, 13):
                hits = sum(1 for at, n in tune_notes if (at + delay, n) in theirs)
                if hits >= 0.6 * len(tune_notes) and hits > 0 and (echo is None or hits > echo[2]):
                    echo = (other, delay, hits)
        # While the tune plays: from its first excerpt's first note to the end of its last.
        first, last = tunes[order][1][0][2][0], tunes[order][1][-1][2][-1]
        w = slice(int(first[0] * 0.06 * rate), min(int((last[0] + last[2]) * 0.06 * rate), length))
        tune = stems[ch][w]
        rest = mix[w] - tune
        lead = db(band_energy(tune.sum(axis=1), 300, 1500, rate), band_energy(rest.sum(axis=1), 300, 1500, rate))
        left, right = (tune[:, 0] ** 2).sum(), (tune[:, 1] ** 2).sum()
        text = (f"  order {order:2} ch {ch:2}: {lead:+5.1f} dB in band, balance {db(left, right):+5.1f} dB, "
                f"{order_loudness(stem_blocks[ch], order):6.1f} LUFS")
        if echo:
            e = stems[echo[0]][w]
            text += (f"; echo ch {echo[0]} ({echo[1]} rows later) {db((e[:, 0] ** 2).sum(), left):+5.1f} dB left, "
                     f"{db((e[:, 1] ** 2).sum(), right):+5.1f} dB right")
        print(text)

    print("loudness per order (LUFS), the mix then each stem:")
    print("  " + " " * 24 + "".join(f"{o:>6}" for o in range(orders)) + "   whole")
    rows = [("mix", mix_blocks)] + [(f"{ch:2} {names[ch]}"[:24], stem_blocks[ch]) for ch in channels]
    for label, blocks in rows:
        values = [order_loudness(blocks, o) for o in range(orders)]
        print(f"  {label:24}" + "".join(f"{v:6.1f}" if v > -100 else "     -" for v in values) +
              f"  {gated_loudness(blocks):6.1f}")

    n = 4096
    hz = np.fft.rfftfreq(n, 1 / rate)
    frames_per_order = span // n

    def spectra(x):
        mono = x.sum(axis=1) / 2
        frames = mono[: len(mono) // n * n].reshape(-1, n) * np.hanning(n)
        return np.abs(np.fft.rfft(frames, axis=1)) ** 2

    print("spectral centroid per order (kHz), each stem:")
    print("  " + " " * 24 + "".join(f"{o:>6}" for o in range(orders)) + "   whole")
    power = {}
    for ch in channels:
        power[ch] = spectra(stems[ch])
        values = []
        for o in range(orders):
            p = power[ch][o * frames_per_order:(o + 1) * frames_per_order].sum(axis=0)
            values.append((p * hz).sum() / p.sum() / 1000 if p.sum() > 1e-6 else None)
        whole = power[ch].sum(axis=0)
        print(f"  {f'{ch:2} {names[ch]}'[:24]:24}" + "".join(f"{v:6.1f}" if v is not None else "     -" for v in values) +
              f"  {(whole * hz).sum() / whole.sum() / 1000:6.1f}")

    mix_lufs = gated_loudness(mix_blocks)
    mix_power = spectra(mix).sum()
    print("stems against the mix (whole song):")
    for ch in channels:
        name = names[ch]
        whole = power[ch].sum(axis=0)
        extra = ""
        if "bass" in name:
            peak = hz[1:][np.argmax(whole[1:])]
            extra = f", {100 * whole[hz < 100].sum() / whole.sum():.0f} % of its energy below 100 Hz, strongest at {peak:.0f} Hz"
        if "snare" in name:
            extra = f", {100 * whole[hz > 5000].sum() / whole.sum():.0f} % of its energy above 5 kHz"
        if "riser" in name:
            plays = [e[0] for e in events[ch] if e[1] <= 119 and "riser" in mod["names"][e[2] - 1].lower()]
            peaks = [20 * np.log10(np.abs(stems[ch][int(at * 0.06 * rate):int((at * 0.06 + 2.0) * rate)]).max() + 1e-12)
                     for at in plays]
            extra = ", riser peaks " + " ".join(f"{p:.1f}" for p in peaks) + " dBFS"
        print(f"  ch {ch:2} {name:28} {gated_loudness(stem_blocks[ch]) - mix_lufs:+6.1f} LU, "
              f"{100 * whole.sum() / mix_power:4.1f} % of the power, centroid "
              f"{(whole * hz).sum() / whole.sum():6.0f} Hz{extra}")


def main():
    args = sys.argv[1:]
    if not args or args[0].startswith("--"):
        sys.exit("usage: music_measure.py MODULE.it [--spectrogram OUT.png] [--placements] [--score-only] [--stems]")
    if not os.path.isfile(args[0]):
        sys.exit(f"music_measure.py: {args[0]}: no such file")
    if "--spectrogram" in args and args.index("--spectrogram") + 1 >= len(args):
        sys.exit("music_measure.py: --spectrogram needs the name of the image to write")
    spectrogram = args[args.index("--spectrogram") + 1] if "--spectrogram" in args else None
    mod = read_module(args[0])
    score_figures(mod, "--placements" in args)
    events = channel_events(mod)
    note_lines = lines(mod, events)
    tunes = find_tunes(mod, note_lines)
    carol_figures(mod, tunes, note_lines)
    groove_figures(mod, events)
    if "--stems" in args:
        stem_figures(args[0], mod, tunes, events)
    if "--score-only" not in args:
        sound_figures(args[0], spectrogram)


if __name__ == "__main__":
    main()
