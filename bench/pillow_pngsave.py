#!/usr/bin/env python3
"""The Pillow peer for PNG: SHEET (a finished BMP) saved as OUT.png at Pillow's default level;
prints the seconds the save alone took."""
import sys
import time
from PIL import Image

with Image.open(sys.argv[1]) as sheet:
    sheet.load()
    start = time.perf_counter()
    sheet.save(sys.argv[2], "PNG")
    print(f"{time.perf_counter() - start:.3f}")
