#!/usr/bin/env python3
"""Draws the product's images and selectable icons into data/root/etc/KEL (ImageMagick + DejaVu)."""
import os
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "root", "etc", "KEL")
IMAGE_DIR = os.path.join(ROOT, "image")
ICON_DIR = os.path.join(ROOT, "icons")

SANS = "DejaVu-Sans"
SANS_BOLD = "DejaVu-Sans-Bold"
MONO_BOLD = "DejaVu-Sans-Mono-Bold"

# The lock grid's hour colours: a locked hour is blue, a free one khaki.
LOCKED = "#669ACC"
FREE = "#CCCC99"

# PNGs without time stamps, so that drawing again changes no committed file.
PNG_OUT = ["-strip", "-define", "png:exclude-chunks=date,time"]


def run(args, out):
    subprocess.run(["convert"] + args + PNG_OUT + [out], check=True)


def tile(size, top, bottom, border):
    """A rounded tile with a gentle vertical gradient and a soft highlight."""
    s = size
    m = max(1, s // 24)          # margin
    r = max(2, s // 5)           # corner radius
    e = s - 1 - m
    return [
        "-size", f"{s}x{s}", f"gradient:{top}-{bottom}",
        "(", "-size", f"{s}x{s}", "xc:none", "-fill", "white",
        "-draw", f"roundrectangle {m},{m} {e},{e} {r},{r}", ")",
        "-alpha", "off", "-compose", "CopyOpacity", "-composite", "-compose", "over",
        "-fill", "rgba(255,255,255,0.16)", "-stroke", "none",
        "-draw", f"roundrectangle {m + 2},{m + 2} {e - 2},{s // 2 - 1} {r - 2},{r - 2}",
        "-fill", "none", "-stroke", border, "-strokewidth", "1",
        "-draw", f"roundrectangle {m + 0.5},{m + 0.5} {e - 0.5},{e - 0.5} {r},{r}",
        "-stroke", "none",
    ]


def text(glyph, font=SANS_BOLD, size=26, fill="white", dx=0, dy=0):
    return ["-font", font, "-pointsize", str(size), "-fill", fill, "-stroke", "none",
            "-gravity", "center", "-annotate", f"{dx:+d}{dy:+d}", glyph, "-gravity", "northwest"]


def draw(*primitives, fill="white", stroke="none", width=1):
    args = ["-fill", fill, "-stroke", stroke, "-strokewidth", str(width)]
    for p in primitives:
        args += ["-draw", p]
    return args + ["-stroke", "none"]


def icon(path, colours, *glyph):
    top, bottom, border = colours
    run(tile(48, top, bottom, border) + [a for part in glyph for a in part], path)


# Tile colours: (top, bottom, border).
BLUE = ("#5E9BD6", "#2F69A8", "#24548A")
SKY = ("#6CC3E8", "#2A8CC0", "#21709A")
GREEN = ("#7CC36B", "#3F8E38", "#33742E")
TEAL = ("#5CC2B2", "#258577", "#1D6B60")
ORANGE = ("#F4B25C", "#D97A1F", "#B0621A")
RED = ("#E8776C", "#B93A33", "#962E29")
PURPLE = ("#A98BD8", "#6A4BA6", "#563C88")
PINK = ("#EE8DBE", "#C04A88", "#9C3B6E")
SLATE = ("#7B8A9A", "#4A5766", "#3B4652")
DARK = ("#4B5260", "#23272F", "#16191E")
GOLD = ("#F2D46B", "#D2A326", "#A8821D")
GREY = ("#B9C0C8", "#848D98", "#6B737D")
INDIGO = ("#7F8FE0", "#4254A8", "#35438A")
BROWN = ("#C9A27A", "#8C6339", "#70502E")


def page(lines=4, x0=14, x1=34, y0=10, y1=38, ruled="#8FA7C0"):
    """A white sheet with ruled lines."""
    prims = [draw(f"roundrectangle {x0},{y0} {x1},{y1} 2,2", fill="white", stroke="#D0D8E0")]
    step = (y1 - y0 - 8) / max(1, lines - 1)
    for i in range(lines):
        y = y0 + 5 + i * step
        prims.append(draw(f"line {x0 + 4},{y:.1f} {x1 - 4 - (6 if i == lines - 1 else 0)},{y:.1f}",
                          fill="none", stroke=ruled, width=2))
    return [a for p in prims for a in p]


def globe(cx=24, cy=24, r=13, fill="#EAF4FB", line="#2F69A8"):
    return draw(f"circle {cx},{cy} {cx + r},{cy}", fill=fill, stroke=line, width=2) + \
        draw(f"ellipse {cx},{cy} {r // 2},{r} 0,360", f"line {cx - r},{cy} {cx + r},{cy}",
             f"line {cx},{cy - r} {cx},{cy + r}",
             f"ellipse {cx},{cy - r // 2 - 1} {r - 3},2 0,360", f"ellipse {cx},{cy + r // 2 + 1} {r - 3},2 0,360",
             fill="none", stroke=line, width=1.5)


def make_icons():
    os.makedirs(ICON_DIR, exist_ok=True)
    p = lambda name: os.path.join(ICON_DIR, name + ".png")
    icon(p("internet"), SKY, globe())
    icon(p("office"), BROWN,
         draw("roundrectangle 9,17 39,37 3,3", fill="#F6EBDD", stroke="#5A3E22", width=1.5),
         draw("roundrectangle 18,11 30,18 2,2", fill="none", stroke="#F6EBDD", width=2.5),
         draw("rectangle 9,25 39,27", fill="#5A3E22"), draw("rectangle 21,23 27,29", fill="#D9A54A"))
    icon(p("education"), GREEN,
         draw("polygon 24,12 42,20 24,28 6,20", fill="#1F3B1C"),
         draw("polygon 14,24 14,32 24,36 34,32 34,24 24,28", fill="#2C5228"),
         draw("line 40,21 40,31", fill="none", stroke="#F2D46B", width=2), draw("circle 40,32 40,34", fill="#F2D46B"))
    icon(p("graphics"), PURPLE,
         draw("circle 19,20 19,30", fill="rgba(255,90,90,0.85)"),
         draw("circle 29,20 29,30", fill="rgba(90,220,120,0.85)"),
         draw("circle 24,29 24,39", fill="rgba(90,150,255,0.85)"))
    icon(p("accessories"), GREY, text("\u2702", SANS, 28, "#2E3640"))
    icon(p("games"), RED, text("\u265E", SANS, 30))
    icon(p("science"), TEAL, text("\u269B", SANS, 36))
    icon(p("music"), PINK, text("\u266B", SANS, 30))
    icon(p("video"), SLATE,
         draw("roundrectangle 8,13 40,35 3,3", fill="#1E242B", stroke="#C9D3DD", width=1),
         draw("polygon 20,18 31,24 20,30", fill="white"))
    icon(p("programming"), DARK, text("{ }", MONO_BOLD, 20, "#8FE39A"))
    icon(p("math"), ORANGE, text("\u2211", SANS_BOLD, 28))
    icon(p("language"), INDIGO, text("Aa", SANS_BOLD, 20))
    icon(p("browser"), BLUE,
         draw("roundrectangle 8,10 40,38 3,3", fill="white", stroke="#1E4E80", width=1),
         draw("rectangle 8.5,10.5 39.5,16", fill="#1E4E80"),
         draw("circle 12,13 13,13", "circle 16,13 17,13", "circle 20,13 21,13", fill="#CFE0F2"),
         globe(24, 27, 8, "#EAF4FB", "#2F69A8"))
    icon(p("writer"), BLUE, page(5), text("W", SANS_BOLD, 11, "#2F69A8", 7, 9))
    icon(p("calc"), GREEN,
         draw("roundrectangle 10,10 38,38 2,2", fill="white", stroke="#CFE3CB", width=1),
         draw("rectangle 10.5,10.5 37.5,16", fill="#BFE0B8"),
         draw(*[f"line {x},10 {x},38" for x in (19, 28)], *[f"line 10,{y} 38,{y}" for y in (16, 23, 30)],
              fill="none", stroke="#6FA868", width=1))
    icon(p("impress"), ORANGE,
         draw("roundrectangle 8,11 40,33 2,2", fill="white", stroke="#F3D2AA", width=1),
         draw("rectangle 14,24 18,29", "rectangle 21,19 25,29", "rectangle 28,15 32,29", fill="#D97A1F"),
         draw("line 24,33 24,39", "line 18,39 30,39", fill="none", stroke="white", width=2))
    icon(p("paint"), GOLD,
         draw("ellipse 24,25 16,12 0,360", fill="#FFF6DE", stroke="#8C6A14", width=1),
         draw("circle 16,21 16,24", fill="#E0483C"), draw("circle 23,17 23,20", fill="#3F8ED6"),
         draw("circle 31,20 31,23", fill="#4CAF50"), draw("circle 18,30 18,33", fill="#8E5CC2"),
         draw("circle 30,30 30,33", fill="#D2A326", stroke="#8C6A14"))
    icon(p("calculator"), DARK,
         draw("roundrectangle 12,7 36,41 3,3", fill="#DDE3EA"),
         draw("rectangle 15,10 33,17", fill="#A9C8A2"),
         draw(*[f"roundrectangle {x},{y} {x + 4},{y + 4} 1,1" for y in (21, 27, 33) for x in (15, 22, 29)],
              fill="#4B5260"))
    icon(p("texteditor"), GREY, page(4, 11, 33, 9, 39, "#9AA5B1"), text("\u270E", SANS, 20, "#2E3640", 8, 6))
    icon(p("terminal"), DARK, text(">_", MONO_BOLD, 18, "#8FE39A", 0, 1))
    icon(p("files"), GOLD,
         draw("polygon 8,14 20,14 23,17 40,17 40,37 8,37", fill="#FFF3C8", stroke="#8C6A14", width=1),
         draw("polygon 8,20 40,20 40,37 8,37", fill="#F7D978", stroke="#8C6A14", width=1))
    icon(p("atlas"), TEAL,
         draw("circle 24,24 37,24", fill="#EAF7F4", stroke="#1D6B60", width=2),
         draw("polygon 24,13 27,24 24,35 21,24", fill="#1D6B60"),
         draw("polygon 24,13 27,24 21,24", fill="#E0483C"),
         text("N", SANS_BOLD, 7, "#1D6B60", 0, -16))
    icon(p("chemistry"), SKY,
         draw("rectangle 20,8 28,20", fill="#EAF4FB"),
         draw("polygon 20,19 28,19 38,38 10,38", fill="#EAF4FB"),
         draw("polygon 15,29 33,29 38,38 10,38", fill="#7CC36B"),
         draw("line 18,8 30,8", fill="none", stroke="#EAF4FB", width=2))
    icon(p("typing"), INDIGO,
         draw("roundrectangle 6,14 42,36 3,3", fill="#E6E9F5"),
         draw(*[f"rectangle {x},{y} {x + 4},{y + 3}" for y in (18, 24) for x in range(9, 39, 6)],
              "rectangle 15,30 33,33", fill="#4254A8"))


def make_images():
    os.makedirs(IMAGE_DIR, exist_ok=True)
    p = lambda name: os.path.join(IMAGE_DIR, name)
    # Window and program icons.
    icon(p("gui_default_app.png"), SLATE,
         draw("roundrectangle 9,11 39,37 2,2", fill="white", stroke="#2E3640", width=1),
         draw("rectangle 9.5,11.5 38.5,17", fill="#8FA0B2"),
         draw("rectangle 13,21 23,33", fill="#C9D3DD"), draw("line 26,22 35,22", "line 26,27 35,27",
                                                             "line 26,32 32,32", fill="none", stroke="#8FA0B2", width=2))
    icon(p("shellcontroller_main.png"), BLUE,
         draw("roundrectangle 7,9 41,32 2,2", fill="#EAF4FB", stroke="#1E4E80", width=1),
         draw("rectangle 20,32 28,37", "rectangle 14,37 34,39", fill="#1E4E80"),
         draw("circle 16,24 16,27", "circle 24,21 24,24", "circle 32,24 32,27", fill="#2F69A8"),
         draw("ellipse 16,31 5,3 180,360", "ellipse 24,28 5,3 180,360", "ellipse 32,31 5,3 180,360", fill="#2F69A8"))
    icon(p("admintool_main.png"), ORANGE,
         draw("polygon 24,7 38,12 38,24 24,41 10,24 10,12", fill="#FFF4E6", stroke="#8A4A10", width=1),
         text("\u2699", SANS, 22, "#B0621A", 0, 0))
    # Legend marks of the lock grid: swatches in the hour buttons' colours.
    for name, colour, edge in (("sc_locked.png", LOCKED, "#44739F"), ("sc_unlocked.png", FREE, "#99996B")):
        run(["-size", "16x16", "xc:none", "-fill", colour, "-stroke", edge, "-strokewidth", "1",
             "-draw", "roundrectangle 1.5,1.5 14.5,14.5 3,3"], p(name))
    # The About box background: light and calm where the texts are (from x = 92).
    run(["-size", "350x230", "gradient:#FFFFFF-#E6EEF7",
         "-fill", "#DCE8F5", "-draw", "rectangle 0,0 83,230",
         "-fill", "#CFE0F1", "-draw", "rectangle 84,0 85,230",
         "-fill", "#3A6EA5", "-draw", "rectangle 0,0 350,5",
         "-fill", "rgba(58,110,165,0.10)", "-draw", "circle 52,93 52,61",
         "-fill", "#D3E1F0", "-draw", "rectangle 92,180 338,181"], p("About_BG.png"))
    # Other pictures the product names: simple tiles, cheap to make.
    for name, colours, glyph in (
        ("taskmanager_main.png", GREEN, text("\u2630", SANS, 26)),
        ("taskmanager_endproc.png", RED, text("\u2716", SANS, 24)),
        ("taskmanager_app.png", GREEN, text("\u2630", SANS, 26)),
        ("catool_main.png", INDIGO, text("\u2714", SANS, 26)),
        ("switchapplet_main.png", SLATE, text("\u21C4", SANS_BOLD, 26)),
        ("tabnavigation_main.png", BLUE, text("\u2302", SANS_BOLD, 28)),
        ("tabnavigation_tab_favorite.png", GOLD, text("\u2605", SANS, 28)),
        ("gui_teacher_connected.png", GREEN, text("T", SANS_BOLD, 26)),
        ("gui_teacher_disconnected.png", GREY, text("T", SANS_BOLD, 26, "#59626C")),
        ("gui_student.png", SKY, text("S", SANS_BOLD, 26)),
        ("favoriteeditor_main.png", GOLD, text("\u2605", SANS, 28)),
        ("teacherselection_main.png", TEAL, text("T", SANS_BOLD, 26)),
        ("studentinfo_main.png", SKY, text("\u2139", SANS_BOLD, 26)),
        ("uisetting_main.png", PURPLE, text("\u2699", SANS, 26)),
        ("select_teacher.png", TEAL, text("T", SANS_BOLD, 26)),
        ("help.png", BLUE, text("?", SANS_BOLD, 28)),
        ("about.png", BLUE, text("i", SANS_BOLD, 28)),
        ("audio-volume-high.png", SLATE, text("\u266A)))", SANS_BOLD, 13)),
        ("audio-volume-medium.png", SLATE, text("\u266A))", SANS_BOLD, 13)),
        ("audio-volume-low.png", SLATE, text("\u266A)", SANS_BOLD, 13)),
        ("audio-volume-muted.png", GREY, text("\u266A\u2716", SANS_BOLD, 13, "#59626C")),
    ):
        icon(p(name), colours, glyph)


def main():
    try:
        make_images()
        make_icons()
    except (OSError, subprocess.CalledProcessError) as err:
        sys.exit(f"make-images: {err}")


if __name__ == "__main__":
    main()
