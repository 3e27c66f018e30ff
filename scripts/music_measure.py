#!/usr/bin/python3
"""Measures an Impulse Tracker module the way the soundtrack is judged.

Usage: scripts/music_measure.py MODULE.it [--spectrogram OUT.png] [--placements] [--score-only]

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


def main():
    args = sys.argv[1:]
    if not args or args[0].startswith("--"):
        sys.exit("usage: music_measure.py MODULE.it [--spectrogram OUT.png] [--placements] [--score-only]")
    if not os.path.isfile(args[0]):
        sys.exit(f"music_measure.py: {args[0]}: no such file")
    if "--spectrogram" in args and args.index("--spectrogram") + 1 >= len(args):
        sys.exit("music_measure.py: --spectrogram needs the name of the image to write")
    spectrogram = args[args.index("--spectrogram") + 1] if "--spectrogram" in args else None
    mod = read_module(args[0])
    score_figures(mod, "--placements" in args)
    if "--score-only" not in args:
        sound_figures(args[0], spectrogram)


if __name__ == "__main__":
    main()
