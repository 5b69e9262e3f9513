"""Test helper for colour profiles and kept metadata, run with Debian's Python, Pillow (with its
LittleCMS binding ImageCms), LittleCMS's transicc, qpdf and exiftool.

make DIR P3_PROFILE     writes the inputs, each with the reference of its colours converted to
                        sRGB by LittleCMS (perceptual, black-point compensation):
                          NAME.jpg + NAME.ref.png   for a98, romm, adobe, prophoto, p3 (RGB),
                                                    cmyk (an Adobe CMYK JPEG), grey (a grey one)
                          png8.png + png8.ref.png   an 8-bit PNG with an iCCP chunk and a gAMA
                                                    chunk that the profile overrides
                          deep.png + deep.ref.png   a 16-bit PNG (ProPhoto), reference by transicc
                          patches.jpg               Adobe RGB patches of sRGB (0,200,0) and
                                                    (220,30,30)
                          plain.jpg srgb.jpg broken.jpg  untagged, sRGB-tagged, a broken profile
compare A B             prints the largest channel difference (999 when the sizes differ)
grey A                  prints "grey" when every pixel has red = green = blue
delta-e PNG             prints the larger CIE76 difference of the two patches' centres from the
                        sRGB colours they stand for
icc FILE                prints the SHA-256 of the file's embedded ICC profile, or "none"
pdf-spaces PDF          prints each image's colour space, an ICC-based one as "ICCBased N SHA",
                        the object number of its profile stream after it
camera-jpeg EXIF OUT    writes a small JPEG carrying the APP1 segment of the camera file EXIF
camera-summary FILE...  prints for each file, tab-separated: its model, orientation, EXIF
                        width and thumbnail length, and the SHA-256 of its maker-note tags as
                        exiftool reads them (less positions in the file) and of the maker
                        note's own bytes
looped-exif OUT         a JPEG with orientation 6 whose Exif IFD and IFD1 are IFD0 itself
not-tiff-exif OUT       a JPEG whose "Exif" segment holds no TIFF data
png-chunks FILE         prints the PNG's chunk types in order, one line
pillow-exif FILE        prints how many tags Pillow reads from the file's EXIF data, or "error"
to-srgb IN PROFILE OUT  writes IN's pixels, taken as described by PROFILE, converted to sRGB
"""
import hashlib
import io
import json
import math
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageCms

ICC = "/usr/share/color/icc/"
PROFILES = {
    "a98": ICC + "ghostscript/a98.icc",
    "romm": ICC + "ghostscript/rommrgb.icc",
    "adobe": ICC + "colord/AdobeRGB1998.icc",
    "prophoto": ICC + "colord/ProPhotoRGB.icc",
}
FLAGS = ImageCms.FLAGS["BLACKPOINTCOMPENSATION"]
SRGB = ImageCms.createProfile("sRGB")


def picture(width=48, height=40, mode="RGB"):
    """Smooth ramps across the whole cube, saturated corners included."""
    image = Image.new(mode, (width, height))
    for y in range(height):
        for x in range(width):
            r, g, b = 255 * x // (width - 1), 255 * y // (height - 1), (97 * x + 53 * y) % 256
            image.putpixel((x, y), r if mode == "L" else (r, g, b) if mode == "RGB"
                           else (r, g, b, (x * y) % 256))
    return image


def to_srgb(image, profile_path):
    return ImageCms.profileToProfile(image, ImageCms.getOpenProfile(profile_path), SRGB,
                                     renderingIntent=0, outputMode="RGB", flags=FLAGS)


def save_jpeg(image, path, profile_path=None, icc=None):
    data = icc if icc is not None else open(profile_path, "rb").read() if profile_path else None
    extra = {"icc_profile": data} if data else {}
    image.save(path, quality=95, subsampling=0, **extra)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def iccp(profile_path):
    return png_chunk(b"iCCP", b"p\0\0" + zlib.compress(open(profile_path, "rb").read()))


def make(folder, p3):
    PROFILES["p3"] = p3
    base = picture()
    for name, path in PROFILES.items():
        save_jpeg(base, f"{folder}/{name}.jpg", path)
        to_srgb(Image.open(f"{folder}/{name}.jpg"), path).save(f"{folder}/{name}.ref.png")
    cmyk_profile = ICC + "ghostscript/default_cmyk.icc"
    save_jpeg(picture(mode="CMYK"), f"{folder}/cmyk.jpg", cmyk_profile)
    to_srgb(Image.open(f"{folder}/cmyk.jpg"), cmyk_profile).save(f"{folder}/cmyk.ref.png")
    grey_profile = ICC + "Gray.icc"
    save_jpeg(picture(mode="L"), f"{folder}/grey.jpg", grey_profile)
    to_srgb(Image.open(f"{folder}/grey.jpg"), grey_profile).save(f"{folder}/grey.ref.png")

    # An 8-bit PNG: the samples as stored go through the profile; gAMA (1/1.8) must not apply.
    raw = io.BytesIO()
    base.save(raw, "PNG")
    data = raw.getvalue()
    extra = iccp(PROFILES["a98"]) + png_chunk(b"gAMA", struct.pack(">I", 55556))
    open(f"{folder}/png8.png", "wb").write(data[:33] + extra + data[33:])
    to_srgb(base, PROFILES["a98"]).save(f"{folder}/png8.ref.png")

    # Plug-in pictures: a TIFF and a lossless WebP tagged Adobe RGB.
    a98 = open(PROFILES["a98"], "rb").read()
    base.save(f"{folder}/tiff.tif", icc_profile=a98)
    base.save(f"{folder}/webp.webp", lossless=True, icc_profile=a98)
    to_srgb(base, PROFILES["a98"]).save(f"{folder}/tiff.ref.png")
    to_srgb(base, PROFILES["a98"]).save(f"{folder}/webp.ref.png")

    # A 16-bit PNG in ProPhoto: 64 colours, each a 2 x 2 patch, and transicc's 16-bit answer.
    # The colours are sRGB's (inside both gamuts: colours outside sRGB are clipped, and where
    # differs between LittleCMS's exact and its fast pipelines), stored as ProPhoto says.
    srgb = "".join(f"{(i * 37) % 230 + 12} {(i * 101 + 50) % 230 + 12} {(i * i * 7) % 230 + 12}\n"
                   for i in range(64))
    stored = subprocess.run(["transicc", "-t1", "-n", "-c0", "-s", "-o" + PROFILES["prophoto"]],
                            input=srgb, check=True, capture_output=True, text=True).stdout
    colours = [tuple(round(float(v) * 257) for v in line.split())
               for line in stored.split("\n") if len(line.split()) == 3]
    rows = b""
    for y in range(16):
        row = b"\0"
        for x in range(16):
            row += struct.pack(">HHH", *colours[(y // 2) * 8 + x // 2])
        rows += row
    header = struct.pack(">IIBBBBB", 16, 16, 16, 2, 0, 0, 0)
    open(f"{folder}/deep.png", "wb").write(
        b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + iccp(PROFILES["prophoto"]) +
        png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""))
    # transicc takes and gives RGB as 0 to 255 with decimals: 16-bit samples exactly.
    text = "".join(f"{r / 257:.6f} {g / 257:.6f} {b / 257:.6f}\n" for r, g, b in colours)
    out = subprocess.run(["transicc", "-t0", "-b", "-n", "-c0", "-s",
                          "-i" + PROFILES["prophoto"], "-o*sRGB"], input=text, check=True,
                         capture_output=True, text=True).stdout.split("\n")
    values = [line.split() for line in out if len(line.split()) == 3]
    reference = Image.new("RGB", (16, 16))
    for y in range(16):
        for x in range(16):
            reference.putpixel((x, y), tuple(round(float(v))
                                             for v in values[(y // 2) * 8 + x // 2]))
    reference.save(f"{folder}/deep.ref.png")

    # The user's test: sRGB (0,200,0) and (220,30,30) stored in Adobe RGB as LittleCMS says.
    patches = Image.new("RGB", (64, 32))
    patches.paste((113, 199, 48), (0, 0, 32, 32))
    patches.paste((189, 35, 35), (32, 0, 64, 32))
    patches.save(f"{folder}/patches.jpg", quality=100, subsampling=0,
                 icc_profile=open(PROFILES["a98"], "rb").read())

    save_jpeg(base, f"{folder}/plain.jpg")
    save_jpeg(base, f"{folder}/srgb.jpg", icc=ImageCms.ImageCmsProfile(SRGB).tobytes())
    save_jpeg(base, f"{folder}/broken.jpg", icc=b"not a profile at all" * 10)


def compare(a, b):
    first, second = Image.open(a).convert("RGB"), Image.open(b).convert("RGB")
    if first.size != second.size:
        print(999)
        return
    worst = 0
    for p, q in zip(first.getdata(), second.getdata()):
        worst = max(worst, *(abs(u - v) for u, v in zip(p, q)))
    print(worst)


def grey(a):
    image = Image.open(a).convert("RGB")
    print("grey" if all(r == g == b for r, g, b in image.getdata()) else "colour")


def lab(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    xyz = (0.4124 * r + 0.3576 * g + 0.1805 * b, 0.2126 * r + 0.7152 * g + 0.0722 * b,
           0.0193 * r + 0.1192 * g + 0.9505 * b)
    f = [t ** (1 / 3) if t > 0.008856 else 7.787 * t + 16 / 116
         for t in (xyz[0] / 0.95047, xyz[1], xyz[2] / 1.08883)]
    return 116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])


def delta_e(path):
    image = Image.open(path).convert("RGB")
    w, h = image.size
    worst = 0
    for x, target in ((w // 4, (0, 200, 0)), (3 * w // 4, (220, 30, 30))):
        worst = max(worst, math.dist(lab(image.getpixel((x, h // 2))), lab(target)))
    print(f"{worst:.2f}")


def icc(path):
    profile = Image.open(path).info.get("icc_profile")
    print(hashlib.sha256(profile).hexdigest() if profile else "none")


def pdf_spaces(path):
    out = subprocess.run(["qpdf", "--json", "--json-key=qpdf", path], check=True,
                         capture_output=True, text=True).stdout
    objects = json.loads(out)["qpdf"][1]
    numbered = [k for k in objects if k.startswith("obj:")]
    for key in sorted(numbered, key=lambda k: int(k[4:].split()[0])):
        head = objects[key].get("stream", {}).get("dict", {})
        if head.get("/Subtype") != "/Image":
            continue
        space = head.get("/ColorSpace")
        if isinstance(space, list) and space and space[0] == "/ICCBased":
            number = space[1].split()[0]
            data = subprocess.run(["qpdf", "--show-object=" + number, "--filtered-stream-data",
                                   path], check=True, capture_output=True).stdout
            shown = subprocess.run(["qpdf", "--show-object=" + number, path], check=True,
                                   capture_output=True, text=True).stdout
            n = shown.split("/N ")[1].split()[0] if "/N " in shown else "?"
            print(f"ICCBased {n} {hashlib.sha256(data).hexdigest()[:16]} {number}")
        else:
            print(space)


def camera_jpeg(source, out):
    data = open(source, "rb").read()
    at = 2
    while data[at] == 0xFF and data[at + 1] != 0xDA:
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        if data[at + 1] == 0xE1 and data[at + 4:at + 10] == b"Exif\0\0":
            segment = data[at:at + 2 + length]
            break
        at += 2 + length
    raw = io.BytesIO()
    picture(64, 48).save(raw, "JPEG", quality=90)
    body = raw.getvalue()
    open(out, "wb").write(body[:2] + segment + body[2:])


def camera_summary(*paths):
    out = subprocess.run(["exiftool", "-j", "-b", "-G1", "-n", "-MakerNotes:all", "-IFD0:Model",
                          "-IFD0:Orientation", "-ExifIFD:ExifImageWidth", "-IFD1:ThumbnailLength",
                          *paths], capture_output=True, text=True).stdout
    for path, tags in zip(paths, json.loads(out)):
        notes = {key: value for key, value in tags.items()
                 if not key.startswith(("SourceFile", "IFD0:", "IFD1:", "ExifIFD:"))
                 and not key.endswith(("Start", "Offset", "Offsets"))}
        fields = [tags.get(key, "") for key in ("IFD0:Model", "IFD0:Orientation",
                                                "ExifIFD:ExifImageWidth", "IFD1:ThumbnailLength")]
        digest = hashlib.sha256(json.dumps(notes, sort_keys=True).encode()).hexdigest()[:16]
        print("\t".join(str(f) for f in fields + [f"{len(notes)}:{digest}",
                                                   maker_note_bytes(path)[:16]]))


def exif_block(path):
    """The TIFF data of a JPEG's APP1 "Exif" segment or of a PNG's eXIf chunk."""
    data = open(path, "rb").read()
    if data.startswith(b"\x89PNG"):
        at = 8
        while at < len(data):
            length, kind = struct.unpack(">I4s", data[at:at + 8])
            if kind == b"eXIf":
                return data[at + 8:at + 8 + length]
            at += 12 + length
        return b""
    at = 2
    while data[at] == 0xFF and data[at + 1] != 0xDA:
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        if data[at + 1] == 0xE1 and data[at + 4:at + 10] == b"Exif\0\0":
            return data[at + 10:at + 2 + length]
        at += 2 + length
    return b""


def maker_note_bytes(path):
    """The SHA-256 of the maker note's bytes where the Exif IFD's MakerNote tag points."""
    block = exif_block(path)
    order = "<" if block[:2] == b"II" else ">"
    def entries(offset):
        count = struct.unpack(order + "H", block[offset:offset + 2])[0]
        for i in range(count):
            yield struct.unpack(order + "HHII", block[offset + 2 + 12 * i:offset + 14 + 12 * i])
    ifd0 = struct.unpack(order + "I", block[4:8])[0]
    exif = next(value for tag, _, _, value in entries(ifd0) if tag == 0x8769)
    for tag, _, count, value in entries(exif):
        if tag == 0x927C:
            return hashlib.sha256(block[value:value + count]).hexdigest()
    return "none"


def tiff_ifd(entries, link, little=True):
    order = "<" if little else ">"
    out = struct.pack(order + "H", len(entries))
    for tag, kind, count, value in entries:
        out += struct.pack(order + "HHI", tag, kind, count)
        out += struct.pack(order + ("HH" if kind == 3 else "I"), *((value, 0) if kind == 3
                                                                    else (value,)))
    return out + struct.pack(order + "I", link)


def with_app1(payload, out):
    raw = io.BytesIO()
    picture(40, 24).save(raw, "JPEG", quality=90)
    body = raw.getvalue()
    segment = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
    open(out, "wb").write(body[:2] + segment + body[2:])


def looped_exif(out):
    # IFD0 at 8: Orientation 6, Make at 200, an Exif pointer to IFD0, a link to IFD1 = IFD0.
    ifd0 = tiff_ifd([(0x010F, 2, 8, 200), (0x0112, 3, 1, 6), (0x8769, 4, 1, 8)], 8)
    block = b"II*\0" + struct.pack("<I", 8) + ifd0
    block += b"\0" * (200 - len(block)) + b"LoopCam\0"
    with_app1(b"Exif\0\0" + block, out)


def not_tiff_exif(out):
    with_app1(b"Exif\0\0" + b"This is no TIFF data, only text." * 4, out)


def png_chunks(path):
    data = open(path, "rb").read()
    at, names = 8, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        names.append(kind.decode("latin-1"))
        at += 12 + length
    print(" ".join(names))


def to_srgb_file(source, profile, out):
    grey = ImageCms.getOpenProfile(profile).profile.xcolor_space.strip() == "GRAY"
    to_srgb(Image.open(source).convert("L" if grey else "RGB"), profile).save(out)


def pillow_exif(path):
    try:
        print(len(Image.open(path).getexif()))
    except Exception:  # what a user's script meets
        print("error")


if __name__ == "__main__":
    command, arguments = sys.argv[1], sys.argv[2:]
    {"make": make, "compare": compare, "grey": grey, "delta-e": delta_e, "icc": icc,
     "pdf-spaces": pdf_spaces, "camera-jpeg": camera_jpeg, "camera-summary": camera_summary,
     "looped-exif": looped_exif, "not-tiff-exif": not_tiff_exif, "png-chunks": png_chunks,
     "pillow-exif": pillow_exif, "to-srgb": to_srgb_file}[command](*arguments)
