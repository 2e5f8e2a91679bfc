#!/usr/bin/env python3
"""The files bench_carvesearch plants: valid files of the types the carving searches look for,
made by the system's own tools (ImageMagick's convert for JPEG and PNG, ffmpeg for AVI and MP4,
the test fixtures' generators for PDF and RTF), of sizes from a few KiB to about 2 MiB.

  carve_files.py DIR COUNT

DIR gets COUNT files, the types in turn (jpg, png, pdf, rtf, avi, mp4), named 00001.jpg, ...;
DIR/manifest.tsv (name and size a line) is written last, when every file is there.
Needs /usr/bin/convert (imagemagick) and ffmpeg (apt-get install imagemagick ffmpeg).
"""
import concurrent.futures
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
import samples  # noqa: E402

TYPES = ("jpg", "png", "pdf", "rtf", "avi", "mp4")
# The machine is shared with other builds: a few tools at a time, each on one thread.
WORKERS = 3


def ffmpeg(out, rng, codec):
    """A video of 1 to 5 seconds of a moving test picture with noise, at a bit rate that sets its size."""
    size = rng.choice(("320x240", "640x480"))
    seconds = rng.randint(1, 5)
    rate = rng.choice((150, 300, 600, 1200, 2000))
    source = f"testsrc2=size={size}:rate=25:duration={seconds}"
    args = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-threads", "1", "-f", "lavfi", "-i", source,
            "-vf", f"noise=alls={rng.randint(8, 30)}:allf=t+u", "-c:v", codec, "-b:v", f"{rate}k", "-threads", "1"]
    if codec == "libx264":
        args += ["-pix_fmt", "yuv420p", "-preset", "veryfast"]
    subprocess.run(args + [out], check=True)


def make(path, kind, seed):
    rng = random.Random(seed)
    if kind == "jpg":
        # A plasma a quarter of the size, scaled up (a full-size plasma takes seconds), and grain.
        width = rng.randint(320, 2400)
        subprocess.run([samples.CONVERT, "-seed", str(seed), "-size", f"{width // 4}x{width * 3 // 16}",
                        "plasma:fractal", "-resize", f"{width}x{width * 3 // 4}!", "-attenuate", "0.4", "+noise",
                        "Gaussian", "-quality", str(rng.randint(70, 95)), path], check=True)
    elif kind == "png":
        width = rng.randint(160, 900)
        subprocess.run([samples.CONVERT, "-seed", str(seed), "-size", f"{width}x{width * 3 // 4}", "plasma:fractal",
                        "-depth", "8", "-define", "png:exclude-chunks=date,time", path], check=True)
    elif kind == "pdf":
        with open(path, "wb") as f:
            f.write(samples.pdf(rng, rng.randint(1, 400), f"Report {seed}"))
    elif kind == "rtf":
        with open(path, "wb") as f:
            f.write(samples.rtf(rng, rng.randint(30, 20000)))
    elif kind == "avi":
        ffmpeg(path, rng, "mpeg4")
    else:
        ffmpeg(path, rng, "libx264")


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    os.environ["MAGICK_THREAD_LIMIT"] = "1"
    folder, count = argv[0], int(argv[1])
    os.makedirs(folder, exist_ok=True)
    manifest = os.path.join(folder, "manifest.tsv")
    if os.path.exists(manifest):
        os.remove(manifest)
    names = [f"{i + 1:05d}.{TYPES[i % len(TYPES)]}" for i in range(count)]
    with concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
        jobs = [pool.submit(make, os.path.join(folder, n), TYPES[i % len(TYPES)], 1000 + i)
                for i, n in enumerate(names)]
        for j in jobs:
            j.result()
    with open(manifest + ".part", "w") as f:
        for n in names:
            f.write(f"{n}\t{os.path.getsize(os.path.join(folder, n))}\n")
    os.replace(manifest + ".part", manifest)


if __name__ == "__main__":
    main(sys.argv[1:])
