#!/usr/bin/env python3
"""Makes one small sample file per carving signature that a Debian tool can produce.

Usage: make_signature_samples.py OUTPUT_DIR

Writes OUTPUT_DIR/photo, OUTPUT_DIR/sig and OUTPUT_DIR/video; a sample's extension names the
type it must be recognised as. Samples are made fresh with ImageMagick, gzip, bzip2, xz and
python's own modules, never copied from elsewhere. Tools that are missing are skipped.
"""
import gzip
import io
import os
import shutil
import sqlite3
import subprocess
import sys
import wave
import warnings
import zipfile


def convert(out, *args):
    tool = shutil.which("convert")
    if not tool:
        return
    subprocess.run([tool, *args, out], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# (file name, ImageMagick output coder or "", extra arguments); the image is 16x16 red unless
# the arguments draw another one.
RED = ["-size", "16x16", "xc:red"]
PHOTOS = [
    ("jfif.jpg", "", RED),
    ("adobe-cmyk.jpg", "", RED + ["-colorspace", "CMYK"]),
    ("image.png", "", RED),
    ("v87a.gif", "gif87", RED),
    ("v89a.gif", "", RED),
    ("v5.bmp", "", RED),
    ("rgb24.bmp", "bmp3", RED),
    ("pal1.bmp", "bmp3", RED + ["-type", "bilevel"]),
    ("pal4.bmp", "bmp3", ["-size", "16x16", "gradient:", "-type", "palette"]),
    ("pal8.bmp", "bmp3", ["-size", "1x256", "gradient:", "-type", "palette"]),
    ("intel.tif", "", RED),
    ("motorola.tif", "", RED + ["-define", "tiff:endian=msb"]),
    ("big-intel.tif", "tiff64", RED),
    ("big-motorola.tif", "tiff64", RED + ["-define", "tiff:endian=msb"]),
    ("lossy.webp", "", RED),
    ("lossless.webp", "", RED + ["-define", "webp:lossless=true"]),
] + [(name, "", RED) for name in ("image.heic", "image.avif", "image.jp2", "codestream.j2k", "image.psd",
                                  "image.psb", "image.pcx", "image.dds", "image.mng", "image.jng",
                                  "image.dpx", "image.hdr")]


def photo(d):
    for name, coder, args in PHOTOS:
        out = os.path.join(d, name)
        convert(coder + ":" + out if coder else out, *args)


def write_zip(path, members, first_stored=False):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i, (name, data) in enumerate(members):
            stored = first_stored and i == 0
            z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), data,
                       compress_type=zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED)


def odf(path, mime):
    write_zip(path, [("mimetype", mime), ("content.xml", "<office:document-content/>"),
                     ("META-INF/manifest.xml", "<manifest:manifest/>")], first_stored=True)


def sig(d):
    text = b"sample text for the compressors\n" * 64
    with gzip.open(os.path.join(d, "text.gz"), "wb") as f:
        f.write(text)
    for tool, ext, args in (("bzip2", "bz2", ["-9", "-c"]), ("xz", "xz", ["-c"])):
        exe = shutil.which(tool)
        if exe:
            out = subprocess.run([exe, *args], input=text, stdout=subprocess.PIPE, check=True).stdout
            with open(os.path.join(d, "text." + ext), "wb") as f:
                f.write(out)
    db = sqlite3.connect(os.path.join(d, "data.sqlite"))
    db.execute("create table t (a integer, b text)")
    db.execute("insert into t values (1, 'one')")
    db.commit()
    db.close()
    with wave.open(os.path.join(d, "tone.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"\x00\x01" * 800)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            import aifc
        except ImportError:
            aifc = None
    if aifc:
        w = aifc.open(os.path.join(d, "tone.aiff"), "wb")
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"\x00\x01" * 800)
        w.close()
    write_zip(os.path.join(d, "office.docx"),
              [("[Content_Types].xml", "<Types/>"), ("_rels/.rels", "<Relationships/>"),
               ("word/document.xml", "<w:document/>")])
    odf(os.path.join(d, "text.odt"), "application/vnd.oasis.opendocument.text")
    odf(os.path.join(d, "sheet.ods"), "application/vnd.oasis.opendocument.spreadsheet")
    odf(os.path.join(d, "slides.odp"), "application/vnd.oasis.opendocument.presentation")
    odf(os.path.join(d, "book.epub"), "application/epub+zip")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    for name, make in (("photo", photo), ("sig", sig), ("video", None)):
        d = os.path.join(root, name)
        if os.path.isdir(d):
            shutil.rmtree(d)
        os.makedirs(d)
        if make:
            make(d)


if __name__ == "__main__":
    main()
