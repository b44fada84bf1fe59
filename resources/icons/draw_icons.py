#!/usr/bin/python3
"""Draws the program's icons from their description (icons.txt) into .ico files.

    draw_icons.py DESCRIPTION OUTPUT_DIR [--preview PNG]

Every size of an icon is drawn from its own shapes on its own pixel grid, so
a 16-pixel image is designed for 16 pixels rather than shrunk from a larger
one. Shapes are drawn 8 times larger and averaged down (with premultiplied
alpha, so that transparent pixels do not darken the edges): edges on whole
pixel coordinates stay sharp, slanted and round edges get a light smoothing.

The .ico files hold one 32-bit image with alpha per size, each with its
AND mask, which every Windows version and Wine read.
"""
import argparse
import math
import os
import struct
import sys

try:
    from PIL import Image, ImageDraw
except ImportError:
    sys.exit("draw_icons: needs PIL for this Python (Debian package python3-pil)")

SCALE = 8


class DescriptionError(Exception):
    pass


def parse_colour(text, where):
    digits = text.lstrip("#")
    if not text.startswith("#") or len(digits) not in (6, 8):
        raise DescriptionError(f"{where}: colour '{text}' is not #RRGGBB or #RRGGBBAA")
    try:
        values = [int(digits[i:i + 2], 16) for i in range(0, len(digits), 2)]
    except ValueError:
        raise DescriptionError(f"{where}: colour '{text}' is not hexadecimal") from None
    return tuple(values + [255] * (4 - len(values)))


def parse_number(text, where):
    try:
        return float(text)
    except ValueError:
        raise DescriptionError(f"{where}: '{text}' is not a number") from None


def parse_point(text, where):
    parts = text.split(",")
    if len(parts) != 2:
        raise DescriptionError(f"{where}: point '{text}' is not X,Y")
    return (parse_number(parts[0], where), parse_number(parts[1], where))


class Shape:
    """One drawing command: its name, numbers or points, and options."""

    KINDS = {
        # name: (argument kind, argument count or None for any, required options)
        "rect": ("numbers", 4, ()),
        "roundrect": ("numbers", 4, ("radius",)),
        "ellipse": ("numbers", 4, ()),
        "polygon": ("points", None, ()),
        "line": ("points", None, ("colour", "width")),
    }
    OPTIONS = {"fill", "outline", "width", "radius", "colour"}

    def __init__(self, words, where):
        self.kind = words[0]
        if self.kind not in self.KINDS:
            raise DescriptionError(f"{where}: unknown shape '{self.kind}'")
        argument_kind, count, required = self.KINDS[self.kind]
        arguments = [w for w in words[1:] if "=" not in w]
        options = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        for name in options:
            if name not in self.OPTIONS:
                raise DescriptionError(f"{where}: unknown option '{name}'")
        for name in required:
            if name not in options:
                raise DescriptionError(f"{where}: {self.kind} needs {name}=")
        if argument_kind == "numbers":
            if len(arguments) != count:
                raise DescriptionError(f"{where}: {self.kind} takes {count} numbers")
            self.values = [parse_number(a, where) for a in arguments]
        else:
            minimum = 3 if self.kind == "polygon" else 2
            if len(arguments) < minimum:
                raise DescriptionError(f"{where}: {self.kind} takes at least {minimum} points")
            self.values = [parse_point(a, where) for a in arguments]
        self.fill = parse_colour(options["fill"], where) if "fill" in options else None
        self.outline = parse_colour(options["outline"], where) if "outline" in options else None
        self.colour = parse_colour(options["colour"], where) if "colour" in options else None
        self.width = parse_number(options.get("width", "1"), where)
        self.radius = parse_number(options.get("radius", "0"), where)
        if self.kind != "line" and self.fill is None and self.outline is None:
            raise DescriptionError(f"{where}: {self.kind} needs fill= or outline=")

    def draw(self, canvas):
        s = SCALE
        width = max(1, round(self.width * s))
        if self.kind in ("rect", "roundrect", "ellipse"):
            x0, y0, x1, y1 = self.values
            box = pixel_box(x0 * s, y0 * s, x1 * s, y1 * s)
            style = dict(fill=self.fill, outline=self.outline, width=width if self.outline else 0)
            if self.kind == "rect":
                canvas.rectangle(box, **style)
            elif self.kind == "roundrect":
                canvas.rounded_rectangle(box, radius=round(self.radius * s), **style)
            else:
                canvas.ellipse(box, **style)
        elif self.kind == "polygon":
            points = scaled(self.values)
            canvas.polygon(points, fill=self.fill)
            if self.outline:
                draw_path(canvas, points + points[:1], self.outline, self.width * s)
        else:
            points = scaled(self.values)
            draw_path(canvas, points, self.colour, self.width * s)


def scaled(points):
    return [(x * SCALE, y * SCALE) for x, y in points]


def pixel_box(x0, y0, x1, y1):
    """The canvas pixels of a box with edges x0 to x1 and y0 to y1: PIL
    includes a box's last pixel, pixel edges do not."""
    return [round(x0), round(y0), round(x1) - 1, round(y1) - 1]


def draw_path(canvas, points, colour, width):
    """A path of straight segments with square ends, so that a path along
    the pixel grid has sharp corners instead of rounded or notched ones.
    Level and upright segments are exact boxes; PIL's polygons cover one
    canvas pixel more than their edges, which only slanted segments, being
    smoothed anyway, may keep."""
    half = width / 2
    for (xa, ya), (xb, yb) in zip(points, points[1:]):
        if xa == xb or ya == yb:
            box = pixel_box(min(xa, xb) - half, min(ya, yb) - half,
                            max(xa, xb) + half, max(ya, yb) + half)
            canvas.rectangle(box, fill=colour)
            continue
        length = math.hypot(xb - xa, yb - ya)
        dx, dy = (xb - xa) / length * half, (yb - ya) / length * half
        corners = [(xa - dx - dy, ya - dy + dx), (xb + dx - dy, yb + dy + dx),
                   (xb + dx + dy, yb + dy - dx), (xa - dx + dy, ya - dy - dx)]
        canvas.polygon(corners, fill=colour)


class Icon:
    def __init__(self, name, where):
        if not name.endswith(".ico") or os.path.basename(name) != name:
            raise DescriptionError(f"{where}: icon name '{name}' is not a plain NAME.ico")
        self.name = name
        self.sizes = {}  # pixel size -> shapes

    def render(self, size):
        canvas_image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
        canvas = ImageDraw.Draw(canvas_image)
        for shape in self.sizes[size]:
            shape.draw(canvas)
        # Averaging premultiplied colours keeps transparent black out of the edges.
        small = canvas_image.convert("RGBa").resize((size, size), Image.BOX)
        return small.convert("RGBA")


def read_description(path):
    icons = []
    icon = None
    shapes = None
    with open(path, encoding="utf-8") as description:
        for number, line in enumerate(description, 1):
            where = f"{path}:{number}"
            # A comment is a whole line starting with "#" (colours use "#" too).
            text = line.strip()
            if text.startswith("#"):
                continue
            words = text.split()
            if not words:
                continue
            if words[0] == "icon":
                if len(words) != 2:
                    raise DescriptionError(f"{where}: icon takes one file name")
                icon = Icon(words[1], where)
                icons.append(icon)
                shapes = None
            elif icon is None:
                raise DescriptionError(f"{where}: '{words[0]}' before the first icon")
            elif words[0] == "about":
                continue  # the picture in words, for people

            elif words[0] == "size":
                if len(words) != 2 or not words[1].isdigit() or not 1 <= int(words[1]) <= 256:
                    raise DescriptionError(f"{where}: size takes a pixel size from 1 to 256")
                size = int(words[1])
                if size in icon.sizes:
                    raise DescriptionError(f"{where}: {icon.name} has size {size} twice")
                shapes = icon.sizes[size] = []
            elif shapes is None:
                raise DescriptionError(f"{where}: shape before the first size of {icon.name}")
            else:
                shapes.append(Shape(words, where))
    if not icons:
        raise DescriptionError(f"{path}: no icon described")
    for icon in icons:
        if not icon.sizes:
            raise DescriptionError(f"{path}: {icon.name} has no size")
    return icons


def ico_image(image):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, AND mask."""
    size = image.width
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = image.load()
    colour = bytearray()
    mask = bytearray()
    mask_row_bytes = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        row_mask = bytearray(mask_row_bytes)
        for x in range(size):
            r, g, b, a = pixels[x, y]
            colour += bytes((b, g, r, a))
            if a == 0:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    return header + bytes(colour) + bytes(mask)


def write_ico(path, images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for image in images:
        body = ico_image(image)
        dimension = image.width if image.width < 256 else 0
        entries += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
        data += body
    temporary = path + ".tmp"
    with open(temporary, "wb") as out:
        out.write(directory + entries + data)
    os.replace(temporary, path)


def write_preview(path, icons, shown=192):
    """Every image of every icon side by side, each enlarged to the same
    size with its pixels kept square, on a light and a dark background."""
    sizes = sorted({size for icon in icons for size in icon.sizes})
    cell = shown + 16
    sheet = Image.new("RGBA", (cell * len(sizes) * 2, cell * len(icons)), (255, 255, 255, 255))
    for row, icon in enumerate(icons):
        for column, size in enumerate(sizes):
            if size not in icon.sizes:
                continue
            zoom = max(1, shown // size)
            big = icon.render(size).resize((size * zoom, size * zoom), Image.NEAREST)
            for half, background in enumerate(((240, 240, 240, 255), (40, 44, 52, 255))):
                x = (half * len(sizes) + column) * cell + 8
                y = row * cell + 8
                sheet.paste(Image.new("RGBA", big.size, background), (x, y))
                sheet.alpha_composite(big, (x, y))
    sheet.save(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("description")
    parser.add_argument("output_dir")
    parser.add_argument("--preview", help="also write an enlarged sheet of every image (PNG)")
    arguments = parser.parse_args()
    try:
        icons = read_description(arguments.description)
    except (DescriptionError, OSError) as error:
        print(f"draw_icons: {error}", file=sys.stderr)
        return 1
    os.makedirs(arguments.output_dir, exist_ok=True)
    for icon in icons:
        images = [icon.render(size) for size in sorted(icon.sizes)]
        write_ico(os.path.join(arguments.output_dir, icon.name), images)
    if arguments.preview:
        write_preview(arguments.preview, icons)
    return 0


if __name__ == "__main__":
    sys.exit(main())
