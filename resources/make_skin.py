#!/usr/bin/python3
"""Draws the images of the downloader's skin into resources/skin/.

Run with Debian's Python and Pillow (apt-get install python3-pil fonts-noto-cjk
fonts-dejavu-core): /usr/bin/python3 resources/make_skin.py
The output depends only on this script and the fonts, so running it again
gives the same files; they are committed, and the build only packs them.
"""
import math
import os
import random

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "skin")
ICON_OUT = os.path.join(HERE, "app", "korvane.ico")  # the program's icon, not part of the skin
CJK_BOLD = ("/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", 2)  # index 2: Simplified Chinese
LOGO_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"
SS = 4  # supersampling of shapes, for smooth edges

W, H = 632, 302


def font(path, size, index=0):
    return ImageFont.truetype(path, size, index=index)


def cjk(size):
    return font(CJK_BOLD[0], size, CJK_BOLD[1])


def save(image, name):
    path = os.path.join(OUT, name)
    if name.endswith(".png"):
        image.save(path, optimize=True)
    else:
        image.save(path)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def vertical_gradient(size, stops):
    """stops: list of (position 0..1, colour)."""
    w, h = size
    column = Image.new("RGBA", (1, h))
    for y in range(h):
        t = y / max(1, h - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                column.putpixel((0, y), lerp(c0, c1, (t - p0) / max(1e-6, p1 - p0)))
                break
    return column.resize((w, h))


def ridge(rng, width, base, rough, octaves=7):
    """A mountain ridge line by midpoint displacement: one height per column."""
    n = 2 ** octaves
    pts = [base + rng.uniform(-rough, rough), base + rng.uniform(-rough, rough)]
    amp = rough
    for _ in range(octaves):
        new = []
        for a, b in zip(pts, pts[1:]):
            new += [a, (a + b) / 2 + rng.uniform(-amp, amp)]
        new.append(pts[-1])
        pts = new
        amp *= 0.55
    return [pts[int(x * n / width)] for x in range(width)]


def fill_below(draw, heights, colour, bottom):
    poly = [(x, heights[x]) for x in range(len(heights))] + [(len(heights) - 1, bottom), (0, bottom)]
    draw.polygon(poly, fill=colour)


def mountains(img, rng, layers):
    """layers: (base height, roughness, colour, haze) from far to near."""
    for base, rough, colour, haze in layers:
        layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
        d = ImageDraw.Draw(layer)
        fill_below(d, ridge(rng, img.size[0], base, rough), colour, img.size[1])
        if haze:
            layer = layer.filter(ImageFilter.GaussianBlur(haze))
        img.alpha_composite(layer)


def stars(img, rng, count, top_fraction):
    d = ImageDraw.Draw(img)
    for _ in range(count):
        x, y = rng.randrange(img.size[0]), rng.randrange(int(img.size[1] * top_fraction))
        a = rng.randrange(90, 255)
        d.point((x, y), fill=(255, 255, 240, a))
        if rng.random() < 0.08:
            d.point([(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)], fill=(255, 255, 240, a // 3))


def glow(img, centre, radius, colour):
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    x, y = centre
    d.ellipse((x - radius, y - radius, x + radius, y + radius), fill=colour)
    img.alpha_composite(layer.filter(ImageFilter.GaussianBlur(radius * 0.8)))


def castle(d, x, base, scale, colour, lit):
    """A keep with towers and banners, as a silhouette with lit windows."""
    s = scale
    d.rectangle((x - 18 * s, base - 40 * s, x + 18 * s, base), fill=colour)
    for tx, th, tw in ((-26, 62, 9), (26, 55, 9), (0, 86, 10), (-10, 50, 6), (12, 66, 6)):
        cx = x + tx * s
        d.rectangle((cx - tw * s, base - th * s, cx + tw * s, base), fill=colour)
        d.polygon([(cx - (tw + 3) * s, base - th * s), (cx + (tw + 3) * s, base - th * s),
                   (cx, base - (th + 22) * s)], fill=colour)
        d.line([(cx, base - (th + 22) * s), (cx, base - (th + 32) * s)], fill=colour, width=max(1, int(s)))
        d.polygon([(cx, base - (th + 32) * s), (cx + 8 * s, base - (th + 29) * s), (cx, base - (th + 26) * s)],
                  fill=(170, 30, 40, 255))
        for wy in range(int(th * 0.3), int(th * 0.85), 14):
            d.rectangle((cx - 1.5 * s, base - wy * s - 4 * s, cx + 1.5 * s, base - wy * s), fill=lit)


def pines(d, rng, width, base, height, colour, count):
    for _ in range(count):
        x = rng.uniform(-10, width + 10)
        h = height * rng.uniform(0.55, 1.0)
        b = base + rng.uniform(0, 10)
        for k in range(4):
            t = k / 4
            w = h * (0.28 - 0.05 * k)
            top = b - h + h * t * 0.6
            d.polygon([(x - w, b - h * t * 0.7 + 2), (x + w, b - h * t * 0.7 + 2), (x, top - h * 0.15)], fill=colour)
        d.rectangle((x - 1, b - 3, x + 1, b + 4), fill=colour)


def bottom_shade(img, start, alpha):
    """Darkens the lower band where the white texts and the bar lie."""
    shade = vertical_gradient((img.size[0], img.size[1] - start), [(0, (8, 10, 20, 0)), (0.45, (8, 10, 20, alpha)),
                                                                    (1, (6, 8, 16, alpha + 30))])
    img.alpha_composite(shade, (0, start))


def top_shade(img, height, alpha):
    shade = vertical_gradient((img.size[0], height), [(0, (5, 6, 14, alpha)), (1, (5, 6, 14, 0))])
    img.alpha_composite(shade, (0, 0))


def logo(img, x, y):
    """"Korvane" in gold with a dark rim, a soft glow and a tag line."""
    size = 46
    f = font(LOGO_FONT, size)
    text = "Korvane"
    box = ImageDraw.Draw(img).textbbox((0, 0), text, font=f)
    tw, th = box[2] - box[0], box[3] - box[1]
    pad = 24
    mask = Image.new("L", (tw + 2 * pad, th + 2 * pad), 0)
    ImageDraw.Draw(mask).text((pad - box[0], pad - box[1]), text, font=f, fill=255)
    # glow and rim
    halo = Image.new("RGBA", mask.size, (255, 190, 80, 0))
    halo.putalpha(mask.filter(ImageFilter.GaussianBlur(9)).point(lambda v: int(v * 0.75)))
    img.alpha_composite(halo, (x - pad, y - pad))
    rim = Image.new("RGBA", mask.size, (40, 20, 5, 0))
    rim.putalpha(mask.filter(ImageFilter.MaxFilter(5)))
    img.alpha_composite(rim, (x - pad, y - pad))
    gold = vertical_gradient(mask.size, [(0, (255, 250, 215, 255)), (0.45, (250, 205, 100, 255)),
                                         (0.62, (205, 135, 40, 255)), (1, (255, 225, 140, 255))])
    gold.putalpha(mask)
    img.alpha_composite(gold, (x - pad, y - pad))
    d = ImageDraw.Draw(img)
    # an underline flourish with a diamond, and the tag line
    ly = y + th + 10
    d.line([(x + 2, ly), (x + tw - 2, ly)], fill=(245, 205, 120, 220), width=1)
    cx = x + tw // 2
    d.polygon([(cx, ly - 4), (cx + 4, ly), (cx, ly + 4), (cx - 4, ly)], fill=(255, 225, 150, 255))
    tag = "远古王座 · 永恒征途"
    tf = cjk(13)
    tb = d.textbbox((0, 0), tag, font=tf)
    d.text((cx - (tb[2] - tb[0]) // 2 + 1, ly + 7 + 1), tag, font=tf, fill=(0, 0, 0, 160))
    d.text((cx - (tb[2] - tb[0]) // 2, ly + 7), tag, font=tf, fill=(255, 238, 200, 255))


def background_dusk():
    rng = random.Random(11)
    img = vertical_gradient((W, H), [(0, (38, 22, 70, 255)), (0.35, (150, 60, 95, 255)), (0.58, (250, 150, 80, 255)),
                                     (1, (255, 200, 120, 255))])
    stars(img, rng, 90, 0.25)
    glow(img, (470, 170), 60, (255, 220, 150, 200))
    d = ImageDraw.Draw(img)
    d.ellipse((448, 148, 492, 192), fill=(255, 240, 200, 255))
    mountains(img, rng, [(150, 45, (120, 70, 120, 255), 1.5), (180, 40, (80, 45, 90, 255), 0.8)])
    d = ImageDraw.Draw(img)
    castle(d, 470, 196, 1.0, (40, 22, 50, 255), (255, 200, 110, 255))
    mountains(img, rng, [(215, 30, (45, 25, 55, 255), 0), (250, 22, (25, 14, 32, 255), 0)])
    pines(ImageDraw.Draw(img), rng, W, 268, 40, (18, 10, 24, 255), 50)
    bottom_shade(img, 190, 150)
    top_shade(img, 70, 120)
    logo(img, 26, 30)
    return img


def background_night():
    rng = random.Random(23)
    img = vertical_gradient((W, H), [(0, (6, 10, 32, 255)), (0.55, (22, 48, 96, 255)), (1, (40, 80, 120, 255))])
    stars(img, rng, 260, 0.7)
    # an aurora: soft green and violet ribbons
    aurora = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    d = ImageDraw.Draw(aurora)
    for band, colour in ((0, (60, 255, 170, 70)), (1, (150, 90, 255, 55))):
        for x in range(0, W, 2):
            y = 70 + 28 * math.sin(x / 70 + band * 1.7) + 12 * math.sin(x / 23 + band)
            d.line([(x, y - 40 - band * 10), (x, y + 10)], fill=colour, width=2)
    img.alpha_composite(aurora.filter(ImageFilter.GaussianBlur(8)))
    glow(img, (560, 150), 34, (200, 220, 255, 170))
    d = ImageDraw.Draw(img)
    d.ellipse((542, 132, 578, 168), fill=(235, 240, 255, 255))
    for cx, cy, r in ((552, 143, 4), (566, 154, 3), (556, 159, 2)):
        d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(205, 212, 232, 255))
    mountains(img, rng, [(170, 50, (30, 50, 90, 255), 1.2), (200, 35, (18, 30, 60, 255), 0)])
    d = ImageDraw.Draw(img)
    castle(d, 330, 212, 0.9, (12, 18, 38, 255), (255, 210, 120, 255))
    # a lake that mirrors the sky
    lake = vertical_gradient((W, 60), [(0, (30, 60, 100, 255)), (1, (10, 20, 40, 255))])
    img.alpha_composite(lake, (0, 222))
    d = ImageDraw.Draw(img)
    for k in range(40):
        y = 226 + k * 1.4
        x = 560 + rng.uniform(-8, 8)
        d.line([(x - 14 + k * 0.2, y), (x + 14 - k * 0.2, y)], fill=(220, 230, 255, max(0, 120 - k * 3)))
    pines(d, rng, W, 238, 55, (6, 10, 20, 255), 26)
    bottom_shade(img, 190, 140)
    top_shade(img, 70, 110)
    logo(img, 26, 30)
    return img


def background_dawn():
    rng = random.Random(37)
    img = vertical_gradient((W, H), [(0, (60, 120, 170, 255)), (0.5, (170, 205, 210, 255)), (0.75, (250, 220, 170, 255)),
                                     (1, (240, 190, 140, 255))])
    glow(img, (150, 185), 70, (255, 240, 200, 200))
    # floating islands with waterfalls
    d = ImageDraw.Draw(img)
    for (x, y, s) in ((440, 125, 0.9), (575, 150, 0.5), (330, 160, 0.4)):
        top = [(x - 60 * s, y), (x + 60 * s, y)]
        d.polygon(top + [(x + 30 * s, y + 30 * s), (x, y + 70 * s), (x - 35 * s, y + 25 * s)], fill=(90, 80, 95, 255))
        d.ellipse((x - 62 * s, y - 10 * s, x + 62 * s, y + 10 * s), fill=(70, 130, 80, 255))
        d.rectangle((x + 20 * s, y + 4 * s, x + 24 * s, y + 110 * s), fill=(225, 240, 255, 170))
        for k in range(5):
            px = x - 40 * s + k * 18 * s
            d.ellipse((px - 9 * s, y - 24 * s, px + 9 * s, y - 4 * s), fill=(40, 100, 60, 255))
    castle(d, 440, 119, 0.5, (70, 60, 80, 255), (255, 230, 150, 255))
    mountains(img, rng, [(175, 45, (120, 140, 165, 255), 1.5), (205, 35, (80, 100, 120, 255), 0.6)])
    # snow caps: a lighter veil over the far ridge
    mist = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    ImageDraw.Draw(mist).rectangle((0, 190, W, 230), fill=(255, 245, 230, 90))
    img.alpha_composite(mist.filter(ImageFilter.GaussianBlur(12)))
    mountains(img, rng, [(235, 25, (50, 70, 60, 255), 0), (262, 18, (30, 45, 38, 255), 0)])
    pines(ImageDraw.Draw(img), rng, W, 270, 45, (20, 32, 26, 255), 45)
    bottom_shade(img, 185, 160)
    top_shade(img, 80, 140)
    logo(img, 26, 30)
    return img


def rounded(size, radius, fill, outline=None, width=1):
    """A rounded rectangle drawn large and scaled down for smooth corners."""
    w, h = size
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    ImageDraw.Draw(big).rounded_rectangle((0, 0, w * SS - 1, h * SS - 1), radius * SS, fill=fill,
                                          outline=outline, width=width * SS)
    return big.resize(size, Image.LANCZOS)


def gradient_rounded(size, radius, stops, outline, width=1):
    w, h = size
    body = vertical_gradient(size, stops)
    mask = rounded(size, radius, (255, 255, 255, 255)).getchannel("A")
    body.putalpha(ImageChops.multiply(body.getchannel("A"), mask))
    if outline:
        body.alpha_composite(rounded(size, radius, None, outline, width))
    return body


def centred_text(img, text, f, colour, shadow=(0, 0, 0, 150), dy=0):
    d = ImageDraw.Draw(img)
    box = d.textbbox((0, 0), text, font=f)
    x = (img.size[0] - (box[2] - box[0])) // 2 - box[0]
    y = (img.size[1] - (box[3] - box[1])) // 2 - box[1] + dy
    if shadow:
        d.text((x + 1, y + 1), text, font=f, fill=shadow)
    d.text((x, y), text, font=f, fill=colour)


def big_button(text, state):
    stops = {
        "normal": [(0, (255, 214, 120, 255)), (0.5, (236, 150, 40, 255)), (1, (190, 95, 20, 255))],
        "over": [(0, (255, 232, 160, 255)), (0.5, (250, 175, 70, 255)), (1, (215, 120, 35, 255))],
        "down": [(0, (180, 95, 25, 255)), (0.5, (215, 130, 40, 255)), (1, (240, 170, 80, 255))],
    }[state]
    img = gradient_rounded((118, 40), 8, stops, (255, 240, 200, 230))
    centred_text(img, text, cjk(17), (255, 255, 255, 255), (110, 50, 0, 200), 1 if state == "down" else 0)
    return img


def small_button(text, state):
    fill = (20, 24, 40, 150) if state == "normal" else (60, 40, 10, 190)
    edge = (255, 220, 150, 170) if state == "normal" else (255, 210, 110, 255)
    img = rounded((63, 28), 6, fill, edge)
    centred_text(img, text, cjk(13), (255, 240, 210, 255) if state == "normal" else (255, 220, 130, 255))
    return img


def glyph_button(kind, state):
    colour = {"normal": (255, 255, 255, 210), "over": (255, 220, 140, 255), "down": (230, 160, 60, 255)}[state]
    s = SS * 4
    big = Image.new("RGBA", (12 * s, 12 * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    if state != "normal":
        d.ellipse((0, 0, 12 * s - 1, 12 * s - 1), fill=(0, 0, 0, 110))
    lw = int(1.6 * s)
    if kind == "close":
        d.line([(3 * s, 3 * s), (9 * s, 9 * s)], fill=colour, width=lw)
        d.line([(9 * s, 3 * s), (3 * s, 9 * s)], fill=colour, width=lw)
    elif kind == "min":
        d.line([(2.5 * s, 6.5 * s), (9.5 * s, 6.5 * s)], fill=colour, width=lw)
    else:  # a gear
        c = 6 * s
        for k in range(8):
            a = k * math.pi / 4
            d.line([(c + math.cos(a) * 2 * s, c + math.sin(a) * 2 * s), (c + math.cos(a) * 5.2 * s, c + math.sin(a) * 5.2 * s)],
                   fill=colour, width=int(1.7 * s))
        d.ellipse((c - 3.6 * s, c - 3.6 * s, c + 3.6 * s, c + 3.6 * s), fill=colour)
        d.ellipse((c - 1.5 * s, c - 1.5 * s, c + 1.5 * s, c + 1.5 * s), fill=(0, 0, 0, 0))
    return big.resize((12, 12), Image.LANCZOS)


def folder_button(state):
    colour = {"normal": (255, 215, 120, 255), "over": (255, 235, 170, 255), "down": (215, 150, 50, 255)}[state]
    s = SS * 2
    big = Image.new("RGBA", (17 * s, 15 * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    d.rounded_rectangle((1 * s, 2 * s, 8 * s, 5 * s), 1 * s, fill=colour)
    d.rounded_rectangle((1 * s, 4 * s, 16 * s - 1, 14 * s - 1), 1.5 * s, fill=colour)
    d.line([(2 * s, 6 * s), (15 * s, 6 * s)], fill=(120, 70, 10, 200), width=s)
    return big.resize((17, 15), Image.LANCZOS)


def radio(state):
    s = SS * 4
    big = Image.new("RGBA", (12 * s, 12 * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    ring = (255, 255, 255, 230) if state == "normal" else (255, 215, 130, 255)
    d.ellipse((s // 2, s // 2, 12 * s - s // 2, 12 * s - s // 2), fill=(10, 14, 30, 150), outline=ring, width=int(1.3 * s))
    if state == "down":
        d.ellipse((3.3 * s, 3.3 * s, 8.7 * s, 8.7 * s), fill=(255, 200, 90, 255))
    return big.resize((12, 12), Image.LANCZOS)


def field(size, radius):
    return rounded(size, radius, (8, 10, 22, 165), (255, 225, 170, 120))


def progress_background():
    return rounded((478, 12), 5, (10, 12, 24, 190), (255, 230, 180, 90))


def progress_foreground():
    w, h = 478, 12
    img = vertical_gradient((w, h), [(0, (255, 236, 150, 255)), (0.5, (245, 160, 40, 255)), (1, (200, 100, 20, 255))])
    d = ImageDraw.Draw(img)
    for x in range(-h, w, 12):
        d.polygon([(x, h), (x + 5, h), (x + 5 + h, 0), (x + h, 0)], fill=(255, 255, 255, 40))
    d.line([(0, 0), (w, 0)], fill=(255, 250, 220, 255))
    return img.convert("RGB").quantize(colors=64, method=Image.MEDIANCUT, dither=Image.NONE)


def settings_background():
    w, h = 506, 257
    img = vertical_gradient((w, h), [(0, (30, 36, 62, 255)), (1, (14, 16, 30, 255))])
    rng = random.Random(5)
    stars(img, rng, 60, 1.0)
    # a faint ridge at the bottom, the same world as the main window
    mountains(img, rng, [(215, 18, (36, 42, 70, 255), 1.0), (238, 12, (24, 28, 48, 255), 0)])
    band = vertical_gradient((w, 34), [(0, (120, 70, 25, 255)), (1, (70, 38, 14, 255))])
    img.alpha_composite(band, (0, 0))
    d = ImageDraw.Draw(img)
    d.line([(0, 34), (w, 34)], fill=(255, 205, 120, 255))
    d.line([(0, 35), (w, 35)], fill=(60, 30, 10, 255))
    d.rectangle((0, 0, w - 1, h - 1), outline=(255, 205, 120, 120))
    # a small crest on the right of the title band
    f = font(LOGO_FONT, 14)
    d.text((w - 130, 9), "Korvane", font=f, fill=(255, 225, 160, 140))
    return img


def program_icon():
    """A gold "K" on a night-blue shield with a gold rim: the game's crest."""
    n = 256
    big = n * SS
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    shield = [(0.12, 0.08), (0.88, 0.08), (0.88, 0.50), (0.50, 0.95), (0.12, 0.50)]
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).polygon([(x * big, y * big) for x, y in shield], fill=255)
    rim = vertical_gradient((big, big), [(0, (255, 235, 170, 255)), (0.5, (215, 150, 50, 255)),
                                         (1, (150, 90, 25, 255))])
    rim.putalpha(mask)
    img.alpha_composite(rim)
    inner = mask.filter(ImageFilter.MinFilter(2 * (SS * 9) + 1))
    field = vertical_gradient((big, big), [(0, (40, 52, 110, 255)), (1, (12, 14, 36, 255))])
    field.putalpha(inner)
    img.alpha_composite(field)
    img = img.resize((n, n), Image.LANCZOS)
    f = font(LOGO_FONT, 150)
    d = ImageDraw.Draw(img)
    box = d.textbbox((0, 0), "K", font=f)
    x = (n - (box[2] - box[0])) // 2 - box[0]
    y = int(n * 0.44) - (box[3] - box[1]) // 2 - box[1]
    d.text((x + 3, y + 4), "K", font=f, fill=(0, 0, 0, 150))
    d.text((x, y), "K", font=f, fill=(255, 215, 120, 255))
    return img


def main():
    os.makedirs(OUT, exist_ok=True)
    os.makedirs(os.path.dirname(ICON_OUT), exist_ok=True)
    program_icon().save(ICON_OUT, sizes=[(16, 16), (24, 24), (32, 32), (48, 48), (64, 64), (256, 256)])
    save(background_dusk().convert("RGB"), "1.png")
    save(background_night().convert("RGB"), "2.png")
    save(background_dawn().convert("RGB"), "3.png")
    save(settings_background().convert("RGB"), "dlg_setting.png")
    for kind in ("close", "min", "set"):
        for state in ("normal", "over", "down"):
            save(glyph_button(kind, state), "btn_%s_%s.png" % (kind, state))
    for name, text in (("regist", "账号注册"), ("home", "游戏官网")):
        for state in ("normal", "over"):
            save(small_button(text, state), "%s_%s.png" % (name, state))
    for name, text in (("start", "开始下载"), ("pause", "暂停下载"), ("resume", "继续下载")):
        for state in ("normal", "over", "down"):
            save(big_button(text, state), "%s_%s.png" % (name, state))
    for state in ("normal", "over", "down"):
        save(folder_button(state), "folder_%s.png" % state)
        save(radio(state), "radio_%s.png" % state)
    save(field((478, 24), 4), "edit_bk.png")
    save(field((74, 22), 4), "edit_bk2.png")
    save(progress_background(), "progress_bk.png")
    save(progress_foreground(), "progress_fore.gif")


if __name__ == "__main__":
    main()
