"""The two documents of the chains benchmark, made here and kept in the work directory: a long
text document (A4 pages of body text, headings, rules, tables, code and a few grey boxes) and an
image-heavy one (A4 pages of 8-bit grey images: photographic gradients with noise, scaled up and
down, and a grey ramp). Each is written as a PostScript program and converted with ps2pdf."""

import math
import operator
import random
import subprocess
from pathlib import Path

VERSION = 1  # part of the file names: a change to a generator makes new files
A4 = (595, 842)
WORDS = ("printer page band toner density paper tray duplex job stream raster screen threshold "
         "halftone resolution margin sheet queue driver option model colour grey level pixel "
         "line width height offset feed edge source output input header frame block record "
         "the a of to and in is that for on with as by at from be this which are it an or "
         "every each one two three before after while when where because so then only also "
         "printed sent read written coded turned scaled kept given made shown measured").split()


def ps_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def sentence_line(rng, chars):
    """A line of about `chars` characters of words from the vocabulary."""
    words, n = [], 0
    while n < chars:
        w = rng.choice(WORDS)
        words.append(w)
        n += len(w) + 1
    return " ".join(words)


def text_page(rng, number):
    """PostScript of one page of the text document."""
    out = [f"%%Page: {number} {number}", "save"]
    out.append("0.5 setlinewidth 0 setgray 57 800 moveto 538 800 lineto stroke")
    out.append(f"/Helvetica-Bold findfont 14 scalefont setfont 57 776 moveto "
               f"{ps_string(f'{number}. ' + sentence_line(rng, 30).capitalize())} show")
    y = 752
    body = "/Times-Roman findfont 10 scalefont setfont"
    out.append(body)
    while y > 90:
        kind = rng.random()
        if kind < 0.06 and y > 260:  # a grey box with a note in it
            out.append(f"0.88 setgray 57 {y - 58} 481 62 rectfill 0 setgray")
            out.append(f"0.25 setlinewidth 57 {y - 58} 481 62 rectstroke")
            out.append("/Helvetica-Oblique findfont 9 scalefont setfont")
            for i in range(4):
                out.append(f"65 {y - 12 - 13 * i} moveto {ps_string(sentence_line(rng, 95))} show")
            out.append(body)
            y -= 74
        elif kind < 0.10 and y > 280:  # a table with thin rules and a grey header row
            rows, cols = 8, 4
            out.append(f"0.7 setgray 57 {y - 16} 481 16 rectfill 0 setgray 0.25 setlinewidth")
            for r in range(rows + 1):
                out.append(f"57 {y - 16 * r} moveto 538 {y - 16 * r} lineto stroke")
            for c in range(cols + 1):
                x = 57 + c * 120.25
                out.append(f"{x:.2f} {y} moveto {x:.2f} {y - 16 * rows} lineto stroke")
            out.append("/Helvetica findfont 8 scalefont setfont")
            for r in range(rows):
                for c in range(cols):
                    cell = sentence_line(rng, 14) if r else rng.choice(WORDS).upper()
                    out.append(f"{61 + c * 120.25:.2f} {y - 16 * r - 11} moveto "
                               f"{ps_string(cell[:26])} show")
            out.append(body)
            y -= 16 * rows + 14
        elif kind < 0.14 and y > 200:  # a code block
            out.append("/Courier findfont 9 scalefont setfont")
            for i in range(6):
                code = f"{'    ' * (i % 3)}{rng.choice(WORDS)}({rng.randint(0, 9999)}, " \
                       f"{rng.choice(WORDS)}) = {rng.random():.6f};"
                out.append(f"71 {y - 10 * i} moveto {ps_string(code)} show")
            out.append(body)
            y -= 70
        else:  # a paragraph
            for _ in range(rng.randint(3, 9)):
                if y <= 90:
                    break
                out.append(f"57 {y} moveto {ps_string(sentence_line(rng, 98))} show")
                y -= 12.5
            y -= 6
    out.append("0.5 setlinewidth 57 70 moveto 538 70 lineto stroke")
    out.append(f"/Helvetica findfont 8 scalefont setfont 290 56 moveto ({number}) show")
    out.append("restore showpage")
    return "\n".join(out) + "\n"


def photo(rng, width, height):
    """An 8-bit grey image like a photograph: wavy smooth gradients plus grain."""
    span = width + 400
    a, b, c = (rng.uniform(0.5, 3.0) for _ in range(3))
    cols = [int(60 + 50 * math.sin(a * 6.3 * x / span) + 30 * math.sin(b * 19.0 * x / span))
            for x in range(span)]
    clamp = [max(0, min(255, v - 300)) for v in range(900)]
    grain = [int((v - 128) * 0.22) for v in range(256)]  # +-28 levels
    rows = []
    for y in range(height):
        base = 300 + int(70 + 60 * math.cos(c * 4.0 * y / height))
        shift = int(200 + 180 * math.sin(y / 37.0 + a))
        noise = map(grain.__getitem__, rng.randbytes(width))
        row = map(operator.add, cols[shift:shift + width], noise)
        rows.append(bytes(clamp[v + base] for v in row))
    return b"".join(rows)


def image_ps(width, height, data, x, y, w, h):
    """PostScript drawing an 8-bit grey image of its own data into the box (x, y, w, h)."""
    return (f"gsave {x} {y} translate {w} {h} scale /DeviceGray setcolorspace\n"
            f"<< /ImageType 1 /Width {width} /Height {height} /BitsPerComponent 8 "
            f"/Decode [0 1] /ImageMatrix [{width} 0 0 -{height} 0 {height}] "
            f"/DataSource currentfile >> image\n").encode() + data + b"\ngrestore\n"


def image_page(rng, number):
    """PostScript of one page of the image document: a photograph scaled up, a grey ramp
    scaled up, a dense photograph scaled down and a caption."""
    out = [f"%%Page: {number} {number}\nsave\n".encode()]
    out.append(f"/Helvetica-Bold findfont 14 scalefont setfont 57 790 moveto "
               f"(Plate {number}) show\n".encode())
    out.append(image_ps(1000, 750, photo(rng, 1000, 750), 57, 410, 481, 361))
    ramp = bytes(range(256))
    out.append(image_ps(256, 1, ramp, 57, 360, 481, 36))
    out.append(image_ps(1600, 1600, photo(rng, 1600, 1600), 57, 90, 250, 250))
    caption = "/Times-Roman findfont 10 scalefont setfont\n"
    for i in range(14):
        caption += f"325 {326 - 13 * i} moveto {ps_string(sentence_line(rng, 40))} show\n"
    out.append(caption.encode())
    out.append(b"restore showpage\n")
    return b"".join(out)


def make_pdf(work, name, pages, page_fn, seed):
    """Writes the PostScript program page by page and converts it with ps2pdf (once: the PDF
    is kept in the work directory)."""
    pdf = Path(work) / f"{name}-{pages}p-v{VERSION}.pdf"
    if pdf.exists():
        return pdf
    ps = pdf.with_suffix(".ps")
    rng = random.Random(seed)
    with open(ps, "wb") as f:
        f.write(f"%!PS-Adobe-3.0\n%%Pages: {pages}\n%%EndComments\n"
                f"<< /PageSize [{A4[0]} {A4[1]}] >> setpagedevice\n".encode())
        for n in range(1, pages + 1):
            page = page_fn(rng, n)
            f.write(page if isinstance(page, bytes) else page.encode())
        f.write(b"%%EOF\n")
    tmp = pdf.with_suffix(".tmp")
    subprocess.run(["ps2pdf", "-sPAPERSIZE=a4", str(ps), str(tmp)], check=True)
    ps.unlink()
    tmp.rename(pdf)
    return pdf


def text_document(work, pages=100):
    return make_pdf(work, "chains-text", pages, text_page, 23)


def image_document(work, pages=20):
    return make_pdf(work, "chains-images", pages, image_page, 46)
