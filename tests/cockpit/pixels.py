# SPDX-License-Identifier: Apache-2.0
"""Screenshots reduced to a small palette, and their comparison with a tolerance: fonts and
anti-aliasing may move a few pixels, a changed layout or colour moves many."""

from __future__ import annotations

import io
from pathlib import Path

from PIL import Image, ImageChops

# A pixel counts as changed when a channel moves by more than this much ...
CHANNEL_TOLERANCE = 48
# ... and an image as changed when more than this share of its pixels did.
PIXEL_SHARE = 0.004
# A table's columns follow their widest cell, so a glyph's width can move a column by a pixel or
# two: a pixel that matches its reference this near is unchanged.
SHIFT = 2


def reduce(png: bytes) -> Image.Image:
    """The screenshot as stored: 64 colours, so that a reference stays a few tens of KiB."""
    return Image.open(io.BytesIO(png)).convert("RGB").quantize(colors=64, dither=Image.Dither.NONE)


def changed_share(a: Image.Image, b: Image.Image) -> float:
    if a.size != b.size:
        return 1.0
    a, b = a.convert("RGB"), b.convert("RGB")

    def share(diff: Image.Image) -> float:
        changed = sum(diff.point(lambda v: 255 if v > CHANNEL_TOLERANCE else 0).histogram()[255:])
        return changed / (a.size[0] * a.size[1])

    diff = ImageChops.difference(a, b).convert("L")
    if share(diff) <= PIXEL_SHARE:
        return share(diff)  # the common case, without the shifted comparisons
    for dx in range(-SHIFT, SHIFT + 1):
        for dy in range(-SHIFT, SHIFT + 1):
            moved = ImageChops.difference(a, ImageChops.offset(b, dx, dy)).convert("L")
            diff = ImageChops.darker(diff, moved)
    return share(diff)


def compare(png: bytes, reference: Path, renew: bool, failures: Path) -> str | None:
    """None when the shot matches its reference (or renew wrote it), else what differs."""
    shot = reduce(png)
    if renew:
        shot.save(reference, optimize=True)
        return None
    if not reference.exists():
        return f"{reference.name}: no reference (run tests/cockpit/renew-references)"
    share = changed_share(shot, Image.open(reference))
    if share <= PIXEL_SHARE:
        return None
    failures.mkdir(parents=True, exist_ok=True)
    shot.save(failures / reference.name)
    return f"{reference.name}: {share:.2%} of the pixels differ (kept in {failures})"
