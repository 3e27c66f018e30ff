#!/usr/bin/env python3
"""Measures how the pictures hold up in the show.

Usage: measure_pictures.py DATA_DIR [FRAMES_DIR]

From DATA_DIR (a generated data set) it prints the credits card's mean luma
(the show inverts it on every beat, so it should sit near mid-grey), how far
the card's title, its block of roles and names and its footer stand from the
panel's inner edge on the left and on the right, and the share of the
burst's pixels brighter than luma 160.

From FRAMES_DIR (written by `glimmerfrost --data DATA_DIR --frames FRAMES_DIR
--fps 60`, optionally with `--start 6`) it measures the greetings over the
scrolling scene in order 6 and in order 7 rows 0-63: for each frame it finds
which band of finalgrtz.jpg is shown and where the goodboy.jpg window stands,
then compares the frame's mean luma where the band is text (band luma >= 160)
with its mean luma where the band is background (band luma <= 40), both in
frame rows 60-139. A frame is legible when the difference is at least 60.
Frames in which no window of the scene is found (the full-screen noise of
the breakdown in order 7) are counted apart, as they show no greetings. It
also counts the frames in which more than 20 bright pixels of the band land
on the snowman or the dog (FIGURES: their boxes in goodboy.jpg).

Needs Pillow and NumPy: `apt-get install python3-pil python3-numpy`. Luma is
0.299 R + 0.587 G + 0.114 B throughout.
"""

import csv
import os
import sys

try:
    import numpy as np
    from PIL import Image
except ImportError as missing:
    sys.exit(f"measure_pictures.py: {missing.name} is missing: apt-get install python3-pil python3-numpy")

BAND_ROWS = 80
BAND_FIRST_ROW = 60  # where the show puts the band in the frame
MAX_OFFSET = 280     # the scroll window starts at rows 0..280 of the tall scene
LEGIBLE = 60.0
MATCH = 12.0         # median luma error above which a frame shows no window of the scene
# Boxes (left, right, top, bottom; right and bottom excluded) of goodboy.jpg
# that the snowman and the dog are drawn in.
FIGURES = {"snowman": (2, 78, 319, 461), "dog": (242, 318, 365, 466)}
COVERED = 20         # bright band pixels on a figure above which it counts as covered


def luma(rgb):
    return rgb[..., 0] * 0.299 + rgb[..., 1] * 0.587 + rgb[..., 2] * 0.114


def load(path):
    try:
        with Image.open(path) as image:
            return np.asarray(image.convert("RGB"), dtype=np.float64)
    except (OSError, ValueError) as error:
        sys.exit(f"measure_pictures.py: {path}: {error}")


def credits_margins(credits):
    """Left and right margins, in pixels, of the card's text inside its panel.

    The panel's inner edge is where its dark border ends, found on the middle
    row; text is any pixel inside it brighter than luma 200 (letters) or darker
    than 45 (outlines and dark letters). The title is looked for below the
    panel's rounded corners."""
    middle = credits[100]
    dark = np.flatnonzero(middle < 40)
    inner_left = int(dark[dark < 20].max()) + 1
    inner_right = int(dark[dark > 300].min()) - 1
    text = (credits > 200) | (credits < 45)
    # The JPEG's ringing along the border reaches 2 pixels in.
    text[:, :inner_left + 3] = False
    text[:, inner_right - 2:] = False
    margins = {}
    for part, (top, bottom) in (("title", (20, 56)), ("names", (56, 168)), ("footer", (168, 186))):
        columns = np.flatnonzero(text[top:bottom].any(axis=0))
        margins[part] = (int(columns.min()) - inner_left, inner_right - int(columns.max())) if columns.size else None
    return margins


def picture_figures(data_dir):
    credits = luma(load(os.path.join(data_dir, "credits.jpg")))
    boem = luma(load(os.path.join(data_dir, "boem.jpg")))
    print(f"credits.jpg mean luma {credits.mean():.1f} (inverted {255 - credits.mean():.1f})")
    for part, margin in credits_margins(credits).items():
        if margin is None:
            print(f"credits.jpg {part}: no text found")
        else:
            print(f"credits.jpg {part}: {margin[0]} px from the panel's left edge, {margin[1]} px from its right")
    print(f"boem.jpg pixels above luma 160: {100.0 * (boem > 160).mean():.1f} %")


def greetings_frames(frames_dir):
    """(frame number, order) of every frame of order 6 and order 7 rows 0-63."""
    table = os.path.join(frames_dir, "frames.csv")
    try:
        with open(table, newline="") as f:
            rows = list(csv.DictReader(f))
    except OSError as error:
        sys.exit(f"measure_pictures.py: {table}: {error.strerror}")
    picked = []
    for row in rows:
        order, line = int(row["order"]), int(row["row"])
        if order == 6 or (order == 7 and line < 64):
            picked.append((int(row["frame"]), order))
    return picked


def greetings_contrast(data_dir, frames_dir):
    scene_rgb = load(os.path.join(data_dir, "goodboy.jpg"))
    scene = luma(scene_rgb)
    bands_rgb = load(os.path.join(data_dir, "finalgrtz.jpg"))
    bands = [bands_rgb[b * BAND_ROWS:(b + 1) * BAND_ROWS] for b in range(5)]
    band_luma = [luma(b) for b in bands]
    # Rows outside the band show the scene alone (plus falling snow): they locate the window.
    outside = np.r_[0:BAND_FIRST_ROW:2, BAND_FIRST_ROW + BAND_ROWS:200:2]
    candidates = np.stack([scene[offset + outside, ::2] for offset in range(MAX_OFFSET + 1)])
    picked = greetings_frames(frames_dir)
    if not picked:
        sys.exit(f"measure_pictures.py: {frames_dir} has no frame of order 6 or order 7 rows 0-63")
    results = {6: [], 7: []}
    other = {6: 0, 7: 0}
    covered = {6: 0, 7: 0}
    for number, order in picked:
        frame = load(os.path.join(frames_dir, f"frame_{number:06d}.png"))
        frame_luma = luma(frame)
        errors = np.median(np.abs(candidates - frame_luma[outside, ::2]), axis=(1, 2))
        offset = int(np.argmin(errors))
        if errors[offset] > MATCH:
            other[order] += 1
            continue
        window = scene_rgb[offset + BAND_FIRST_ROW:offset + BAND_FIRST_ROW + BAND_ROWS]
        shown = frame[BAND_FIRST_ROW:BAND_FIRST_ROW + BAND_ROWS]
        band = int(np.argmin([np.abs(np.minimum(window + b, 255) - shown).mean() for b in bands]))
        shown_luma = frame_luma[BAND_FIRST_ROW:BAND_FIRST_ROW + BAND_ROWS]
        text = shown_luma[band_luma[band] >= 160]
        background = shown_luma[band_luma[band] <= 40]
        results[order].append(text.mean() - background.mean())
        scene_rows = np.arange(BAND_ROWS)[:, None] + offset + BAND_FIRST_ROW
        columns = np.arange(320)[None, :]
        bright = band_luma[band] >= 160
        for left, right, top, bottom in FIGURES.values():
            inside = (columns >= left) & (columns < right) & (scene_rows >= top) & (scene_rows < bottom)
            if (bright & inside).sum() > COVERED:
                covered[order] += 1
                break
    for order, label in ((6, "order 6"), (7, "order 7 rows 0-63")):
        contrast = np.array(results[order])
        if contrast.size == 0:
            print(f"{label}: no greetings frames ({other[order]} frames show something else)")
            continue
        legible = 100.0 * (contrast >= LEGIBLE).mean()
        print(f"{label}: {contrast.size} greetings frames, {legible:.1f} % with text at least {LEGIBLE:.0f} luma "
              f"above background (contrast min {contrast.min():.1f}, median {np.median(contrast):.1f}); "
              f"{other[order]} frames show no window of the scene; "
              f"{100.0 * covered[order] / contrast.size:.1f} % put the greetings on the snowman or the dog")


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.split("\n\n")[1])
    data_dir = sys.argv[1]
    if not os.path.isdir(data_dir):
        sys.exit(f"measure_pictures.py: {data_dir}: not a folder")
    picture_figures(data_dir)
    if len(sys.argv) == 3:
        greetings_contrast(data_dir, sys.argv[2])


if __name__ == "__main__":
    main()
