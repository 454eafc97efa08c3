#!/usr/bin/env python3
"""The Pillow peer: LIST of pictures into a grid of 10 cells of 64 x 64 a row, black, BMP out."""
import sys
from PIL import Image

paths = [line.rstrip("\n") for line in open(sys.argv[1])]
rows = (len(paths) + 9) // 10
sheet = Image.new("RGB", (640, rows * 64), "black")
for i, path in enumerate(paths):
    with Image.open(path) as picture:
        sheet.paste(picture.convert("RGB").resize((64, 64), Image.NEAREST), (i % 10 * 64, i // 10 * 64))
sheet.save(sys.argv[2], "BMP")
