"""Writes the fuzzers' seed corpora: words for the number parser, small images with convex
and concave shapes for the detector, in the byte layout that fuzz_detector reads, and images
for the PNG encoder in fuzz_png_encoder's layout."""
import os
import struct
import sys

import cv2
import numpy as np

WORDS = [b"12abc", b" -5", b"abc", b"+7", b"2147483647", b"2147483648", b"-2147483648",
         b"-2147483649", b"99999999999999999999999", b"\t\n\v\f\r 0042", b"-+3", b"", b"-",
         b"007", b"1e5", b"0x10"]


def polygon(centre, radius, vertices, turn=0.3):
    angles = turn + 2 * np.pi * np.arange(vertices) / vertices
    return np.stack([centre[0] + radius * np.cos(angles),
                     centre[1] + radius * np.sin(angles)], axis=1).round().astype(np.int32)


def scene(width, height, vertices, concave=False):
    image = np.zeros((height, width, 3), np.uint8) + 255
    if concave:
        ell = np.array([[8, 8], [20, 8], [20, 30], [40, 30], [40, 44], [8, 44]], np.int32)
        cv2.fillPoly(image, [ell], (0, 0, 0))
    else:
        cv2.fillConvexPoly(image, polygon((width / 2, height / 2), min(width, height) / 3,
                                          vertices), (40, 60, 90))
    return image


def header(image, colour, area_size):
    height, width = image.shape[:2]
    return bytes([width - 1, height - 1, 1 if colour else 0]) + struct.pack("<i", area_size)


def colour_seed(image, area_size):
    return header(image, True, area_size) + image.tobytes()


def binary_seed(image, area_size):
    bits = (image[:, :, 0] > 127).astype(np.uint8).reshape(-1)
    return header(image, False, area_size) + np.packbits(bits, bitorder="little").tobytes()


def png_seed(image, mode, size=None):
    """An image for fuzz_png_encoder: `mode` picks the channels (bits 0-1) and tiling (bit 2);
    `size` (width, height) defaults to the image's own."""
    width, height = size or (image.shape[1], image.shape[0])
    return struct.pack("<HBB", width - 1, height - 1, mode) + image.tobytes()


def main(out):
    parse_dir = os.path.join(out, "parse_decimal")
    detector_dir = os.path.join(out, "detector")
    os.makedirs(parse_dir, exist_ok=True)
    os.makedirs(detector_dir, exist_ok=True)
    for i, word in enumerate(WORDS):
        with open(os.path.join(parse_dir, "word%02d" % i), "wb") as f:
            f.write(word)
    seeds = []
    for vertices in range(3, 11):
        image = scene(48, 40, vertices)
        seeds.append(colour_seed(image, 10))
        seeds.append(binary_seed(image, -5))
    seeds.append(binary_seed(scene(64, 64, 0, concave=True), 0))
    seeds.append(colour_seed(scene(1, 1, 3), 0))
    seeds.append(colour_seed(scene(64, 64, 4), 2147483647))
    for i, seed in enumerate(seeds):
        with open(os.path.join(detector_dir, "seed%02d" % i), "wb") as f:
            f.write(seed)
    png_dir = os.path.join(out, "png_encoder")
    os.makedirs(png_dir, exist_ok=True)
    rng = np.random.default_rng(7)
    png_seeds = [png_seed(scene(48, 40, 5), 1), png_seed(scene(1, 1, 3), 1),
                 png_seed(rng.integers(0, 256, (17, 33, 4), np.uint8), 2),
                 png_seed(rng.integers(0, 256, (9, 5, 1), np.uint8), 0),
                 png_seed(np.array([[[40, 90, 200]]], np.uint8), 1 | 4, (600, 200)),
                 png_seed(scene(64, 8, 4), 1 | 4, (1000, 255))]
    for i, seed in enumerate(png_seeds):
        with open(os.path.join(png_dir, "seed%02d" % i), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main(sys.argv[1])
