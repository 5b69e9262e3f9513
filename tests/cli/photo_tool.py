"""Test helper for the photo options, run with Debian's Python and Pillow.

make-orientations DIR       writes o1.jpg .. o8.jpg: one asymmetric 40 x 24 picture stored with
                            EXIF orientation 1 to 8 (pixels as a camera stores them), and
                            upright1.png .. upright8.png, Pillow's exif_transpose of each; the
                            upright picture as none.jpg (no EXIF), o9.jpg (orientation 9),
                            damaged.jpg (an unreadable EXIF block) and upright.png.
make-metadata FILE          writes a 40 x 24 JPEG with orientation 6, EXIF pixel dimensions,
                            a camera make and an ICC profile (Pillow's sRGB profile).
make-inputs DIR             writes the upright picture as in.bmp, in.png, in.jpg, in.gif, in.tif
                            and in.ppm, and wide16384.bmp and wide65537.bmp (1 pixel high).
make-camera-photo DIR       writes camera.jpg: a 128 x 96 picture of 32-pixel blocks stored turned
                            (96 x 128) with EXIF orientation 6, camera make and model, the time it
                            was taken, a GPS position and pixel dimensions, and Pillow's sRGB
                            profile; and camera-upright.png, the picture as it is to be seen.
compare A B                 prints "WxH VS W2xH2 max MAX mean MEAN" for two pictures (RGB).
compare-blocks A B          the same at the centres of the 8 x 8 blocks only.
pdf-pages PDF               prints each page's /Rotate, MediaBox width and height (via qpdf).
png-chunks FILE             prints the PNG's chunk types in order, one line.
png-exif FILE               prints the orientation and pixel dimensions of a PNG's eXIf block.
png-icc-matches PNG JPEG    prints "same" when the PNG's iCCP profile equals the JPEG's.
"""
import json
import struct
import subprocess
import sys

from PIL import Image, ImageCms, ImageOps

ORIENTATION = 0x0112


def stored_for(upright, orientation):
    """The pixels a camera stores so that orientation turns them back into upright."""
    inverse = {
        1: None,
        2: Image.Transpose.FLIP_LEFT_RIGHT,
        3: Image.Transpose.ROTATE_180,
        4: Image.Transpose.FLIP_TOP_BOTTOM,
        5: Image.Transpose.TRANSPOSE,
        6: Image.Transpose.ROTATE_90,
        7: Image.Transpose.TRANSVERSE,
        8: Image.Transpose.ROTATE_270,
    }[orientation]
    return upright if inverse is None else upright.transpose(inverse)


def upright_picture():
    # Blocks of 8 pixels in four clearly different colours, so any wrong turn or flip shows.
    picture = Image.new("RGB", (40, 24))
    for y in range(24):
        for x in range(40):
            bx, by = x // 8, y // 8
            picture.putpixel((x, y), (40 + 50 * bx, 30 + 90 * by, 200 if (bx + by) % 2 else 20))
    return picture


def exif_bytes(orientation, width=None, height=None):
    exif = Image.Exif()
    exif[ORIENTATION] = orientation
    exif[0x010F] = "QuenvaleTestCam"  # Make
    if width:
        exif[0x8769] = {0xA002: width, 0xA003: height}  # the Exif IFD's pixel dimensions
    return exif.tobytes()


def make_orientations(folder):
    upright = upright_picture()
    # Upright pixels with no EXIF block, an orientation out of range, and a damaged block.
    upright.save(f"{folder}/none.jpg", quality=95)
    upright.save(f"{folder}/o9.jpg", quality=95, exif=exif_bytes(9))
    upright.save(f"{folder}/damaged.jpg", quality=95, exif=b"Exif\x00\x00MM\x00*\xff\xff\xff\xff")
    upright.save(f"{folder}/upright.png")
    for orientation in range(1, 9):
        stored = stored_for(upright, orientation)
        path = f"{folder}/o{orientation}.jpg"
        stored.save(path, quality=95, exif=exif_bytes(orientation))
        ImageOps.exif_transpose(Image.open(path)).convert("RGB").save(
            f"{folder}/upright{orientation}.png")


def make_metadata(path):
    stored = stored_for(upright_picture(), 6)
    profile = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    stored.save(path, quality=95, exif=exif_bytes(6, stored.width, stored.height),
                icc_profile=profile)


def make_inputs(folder):
    upright = upright_picture()
    for extension in ("bmp", "png", "gif", "tif", "ppm"):
        upright.save(f"{folder}/in.{extension}")
    upright.save(f"{folder}/in.jpg", quality=95)
    for width in (16384, 65537):
        Image.new("RGB", (width, 1), (90, 120, 150)).save(f"{folder}/wide{width}.bmp")


def make_camera_photo(folder):
    upright = Image.new("RGB", (128, 96))
    for y in range(96):
        for x in range(128):
            bx, by = x // 32, y // 32
            upright.putpixel((x, y), (40 + 60 * bx, 30 + 90 * by, 200 if (bx + by) % 2 else 20))
    upright.save(f"{folder}/camera-upright.png")
    stored = stored_for(upright, 6)
    exif = Image.Exif()
    exif[ORIENTATION] = 6
    exif[0x010F] = "QuenvaleTestCam"  # Make
    exif[0x0110] = "Model 7"  # Model
    exif[0x8769] = {0x9003: "2024:05:06 07:08:09", 0xA002: stored.width, 0xA003: stored.height}
    exif[0x8825] = {1: "N", 2: (48.0, 30.0, 0.0), 3: "E", 4: (9.0, 15.0, 0.0)}  # GPS
    profile = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    stored.save(f"{folder}/camera.jpg", quality=95, exif=exif.tobytes(), icc_profile=profile)


def compare(a, b):
    first, second = Image.open(a).convert("RGB"), Image.open(b).convert("RGB")
    if first.size != second.size:
        print(f"{first.width}x{first.height} VS {second.width}x{second.height} max 999 mean 999")
        return
    worst, total = 0, 0
    for p, q in zip(first.getdata(), second.getdata()):
        for u, v in zip(p, q):
            worst = max(worst, abs(u - v))
            total += abs(u - v)
    mean = total / (3 * first.width * first.height)
    print(f"{first.width}x{first.height} VS {second.width}x{second.height} "
          f"max {worst} mean {mean:.2f}")


def compare_blocks(a, b):
    """Like compare, at the centres of the 8 x 8 blocks only (a renderer may blur their edges)."""
    first, second = Image.open(a).convert("RGB"), Image.open(b).convert("RGB")
    if first.size != second.size:
        print(f"{first.width}x{first.height} VS {second.width}x{second.height} max 999")
        return
    worst = 0
    for y in range(4, first.height, 8):
        for x in range(4, first.width, 8):
            for u, v in zip(first.getpixel((x, y)), second.getpixel((x, y))):
                worst = max(worst, abs(u - v))
    print(f"{first.width}x{first.height} VS {second.width}x{second.height} max {worst}")


def pdf_pages(path):
    """Each page's /Rotate (0 when absent) and MediaBox width and height, as qpdf reads them."""
    out = subprocess.run(["qpdf", "--json", "--json-key=pages", "--json-key=qpdf", path],
                         check=True, capture_output=True, text=True).stdout
    document = json.loads(out)
    objects = document["qpdf"][1]
    for page in document["pages"]:
        value = objects["obj:" + page["object"]]["value"]
        box = value["/MediaBox"]
        print(value.get("/Rotate", 0), box[2] - box[0], box[3] - box[1])


def png_chunks(path):
    data = open(path, "rb").read()
    at, names = 8, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        names.append(kind.decode("latin-1"))
        at += 12 + length
    print(" ".join(names))


def png_exif(path):
    exif = Image.open(path).getexif()
    ifd = exif.get_ifd(0x8769)
    print(f"orientation {exif.get(ORIENTATION)} size {ifd.get(0xA002)}x{ifd.get(0xA003)} "
          f"make {exif.get(0x010F)}")


def png_icc_matches(png, jpeg):
    stored = Image.open(png).info.get("icc_profile")
    original = Image.open(jpeg).info.get("icc_profile")
    print("same" if stored and stored == original else "differ")


if __name__ == "__main__":
    command, arguments = sys.argv[1], sys.argv[2:]
    {"make-orientations": make_orientations, "make-metadata": make_metadata,
     "make-inputs": make_inputs, "make-camera-photo": make_camera_photo,
     "compare": compare, "compare-blocks": compare_blocks, "pdf-pages": pdf_pages, "png-chunks": png_chunks, "png-exif": png_exif,
     "png-icc-matches": png_icc_matches}[command](*arguments)
