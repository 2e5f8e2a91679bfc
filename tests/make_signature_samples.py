#!/usr/bin/env python3
"""Makes small sample files, one per carving signature a Debian tool can produce.

Usage: make_signature_samples.py OUTPUT_DIR

Writes OUTPUT_DIR/photo, OUTPUT_DIR/sig and OUTPUT_DIR/video; a sample's extension names the
type it must be recognised as. Made fresh with ImageMagick, bzip2, xz and python's own modules;
missing tools are skipped.
"""
import gzip
import os
import shutil
import sqlite3
import subprocess
import sys
import wave
import warnings
import zipfile

RED = ["-size", "16x16", "xc:red"]
MSB = RED + ["-define", "tiff:endian=msb"]
# (file name, ImageMagick output coder or "", arguments)
PHOTOS = [("jfif.jpg", "", RED), ("adobe-cmyk.jpg", "", RED + ["-colorspace", "CMYK"]),
          ("v87a.gif", "gif87", RED), ("v5.bmp", "", RED), ("rgb24.bmp", "bmp3", RED),
          ("pal1.bmp", "bmp3", RED + ["-type", "bilevel"]),
          ("pal4.bmp", "bmp3", ["-size", "16x16", "gradient:", "-type", "palette"]),
          ("pal8.bmp", "bmp3", ["-size", "1x256", "gradient:", "-type", "palette"]),
          ("motorola.tif", "", MSB), ("big-intel.tif", "tiff64", RED), ("big-motorola.tif", "tiff64", MSB),
          ("lossless.webp", "", RED + ["-define", "webp:lossless=true"])] + [
    ("image." + ext, "", RED) for ext in ("png", "gif", "tif", "webp", "heic", "avif", "jp2", "j2k", "psd",
                                          "psb", "pcx", "dds", "mng", "jng", "dpx", "hdr")]


def photo(d):
    tool = shutil.which("convert")
    for name, coder, args in PHOTOS if tool else []:
        out = os.path.join(d, name)
        subprocess.run([tool, *args, coder + ":" + out if coder else out], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def write_zip(path, members):
    # The first member of an OpenDocument or EPUB ("mimetype") is stored, the rest deflated.
    with zipfile.ZipFile(path, "w") as z:
        for i, (name, data) in enumerate(members):
            stored = i == 0 and name == "mimetype"
            z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), data,
                       compress_type=zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED)


def write_tone(module, path):
    w = module.open(path, "wb")
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(b"\x00\x01" * 800)
    w.close()


def sig(d):
    text = b"sample text for the compressors\n" * 64
    with gzip.open(os.path.join(d, "text.gz"), "wb") as f:
        f.write(text)
    for tool, ext, args in (("bzip2", "bz2", ["-9", "-c"]), ("xz", "xz", ["-c"])):
        if shutil.which(tool):
            with open(os.path.join(d, "text." + ext), "wb") as f:
                f.write(subprocess.run([tool, *args], input=text, stdout=subprocess.PIPE, check=True).stdout)
    db = sqlite3.connect(os.path.join(d, "data.sqlite"))
    db.execute("create table t (a integer, b text)")
    db.commit()
    db.close()
    write_tone(wave, os.path.join(d, "tone.wav"))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            import aifc
            write_tone(aifc, os.path.join(d, "tone.aiff"))
        except ImportError:
            pass
    write_zip(os.path.join(d, "office.docx"), [("[Content_Types].xml", "<Types/>"), ("_rels/.rels", "<R/>"),
                                               ("word/document.xml", "<w:document/>")])
    for name, mime in (("text.odt", "text"), ("sheet.ods", "spreadsheet"), ("slides.odp", "presentation")):
        write_zip(os.path.join(d, name), [("mimetype", "application/vnd.oasis.opendocument." + mime),
                                          ("content.xml", "<office:document-content/>")])
    write_zip(os.path.join(d, "book.epub"), [("mimetype", "application/epub+zip"), ("content.opf", "<package/>")])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for name, make in (("photo", photo), ("sig", sig), ("video", None)):
        d = os.path.join(sys.argv[1], name)
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        if make:
            make(d)


if __name__ == "__main__":
    main()
