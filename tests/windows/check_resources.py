#!/usr/bin/env python3
"""Checks the compiled resources of TolvarFencat.exe against the program's
documented resources: dialog templates 100 and 102 (every control, position,
style and extended style), string 101, icons 128 to 130 and the version
block. The file version is the one the build generated from its project
version; the product version stays as documented.

    check_resources.py FILE.res fencat_version.h

Prints one line per difference and exits 1 when there is any.
"""

import re
import struct
import sys

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION = 3, 5, 6, 14, 16

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_VSCROLL, WS_SYSMENU = 0x00C00000, 0x00200000, 0x00080000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT, DS_FIXEDSYS = 0x80, 0x40, 0x08
WS_EX_APPWINDOW, WS_EX_STATICEDGE = 0x00040000, 0x00020000
WS_EX_LEFTSCROLLBAR, WS_EX_RTLREADING = 0x00004000, 0x00002000
LBS_NOINTEGRALHEIGHT, LBS_NOTIFY = 0x0100, 0x0001
SS_LEFT, SS_ICON, SS_ETCHEDHORZ = 0x00, 0x03, 0x10
BS_DEFPUSHBUTTON, BS_GROUPBOX = 0x01, 0x07
CHILD = WS_CHILD | WS_VISIBLE

# (class, id, text or None when ours to write, (x, y, w, h), style, exstyle)
MAIN_WINDOW = {
    "title": "Tolvar Fencat - Kitbench",
    "rect": (0, 0, 180, 161),
    "style": WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    "exstyle": WS_EX_APPWINDOW | WS_EX_LEFTSCROLLBAR | WS_EX_RTLREADING,
    "controls": [
        ("listbox", 1000, "", (0, 54, 180, 108),
         CHILD | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
         WS_EX_STATICEDGE | WS_EX_LEFTSCROLLBAR | WS_EX_RTLREADING),
        ("static", -1, None, (13, 41, 154, 8), CHILD | WS_GROUP | SS_LEFT, WS_EX_RTLREADING),
        ("button", -1, "Usage", (6, 2, 168, 34), CHILD | BS_GROUPBOX, WS_EX_RTLREADING),
        ("static", -1, "Simply draq a file on this window to see, from which process(s) it is used.",
         (12, 14, 156, 16), CHILD | WS_GROUP | SS_LEFT, 0),
    ],
}

ABOUT_BOX = {
    "title": "About Tolvar Fencat",
    "rect": (0, 0, 235, 55),
    "style": WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    "exstyle": 0,
    "controls": [
        ("static", -1, 128, (11, 17, 20, 20), CHILD | SS_ICON, 0),
        ("static", -1, None, (40, 24, 188, 8), CHILD | WS_GROUP | SS_LEFT, 0),
        ("button", 1, "OK", (178, 7, 50, 16), CHILD | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0),
        ("static", -1, None, (40, 40, 188, 8), CHILD | WS_GROUP | SS_LEFT, 0),
        ("static", -1, "", (39, 36, 155, 1), CHILD | SS_ETCHEDHORZ, 0),
    ],
}

VERSION_STRINGS = {
    "Comments": "Tolvar Fencat GUI",
    "FileDescription": "TolvarFencat Application",
    "InternalName": "TolvarFencat",
    "OriginalFilename": "TolvarFencat.exe",
    "ProductName": "Tolvar Fencat Application",
    "ProductVersion": "1, 0, 1, 13",
}

ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox", 0x84: "scrollbar", 0x85: "combobox"}

errors = []


def check(condition, message):
    if not condition:
        errors.append(message)


def sz_or_ord(data, at):
    """A name or number, and the position after it."""
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def align4(at):
    return (at + 3) & ~3


def read_res(data):
    resources = {}
    at = 0
    while at < len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, after = sz_or_ord(data, at + 8)
        name, after = sz_or_ord(data, after)
        after = align4(after)
        _, _, language = struct.unpack_from("<IHH", data, after)
        resources[(kind, name)] = (language, data[at + header:at + header + size])
        at = align4(at + header + size)
    return resources


def parse_dialog(data):
    version, signature, _, exstyle, style, count, x, y, w, h = struct.unpack_from("<HHIIIHhhhh", data, 0)
    if (version, signature) != (1, 0xFFFF):
        return None
    at = 26
    menu, at = sz_or_ord(data, at)
    window_class, at = sz_or_ord(data, at)
    title, at = sz_or_ord(data, at)
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, at = sz_or_ord(data, at + 6)
    controls = []
    for _ in range(count):
        at = align4(at)
        _, c_exstyle, c_style, cx, cy, cw, ch, c_id = struct.unpack_from("<IIIhhhhi", data, at)
        c_class, at = sz_or_ord(data, at + 24)
        c_text, at = sz_or_ord(data, at)
        (extra,) = struct.unpack_from("<H", data, at)
        at += 2 + extra
        if isinstance(c_class, int):
            c_class = ATOMS.get(c_class, c_class)
        controls.append((c_class.lower(), c_id, c_text, (cx, cy, cw, ch), c_style, c_exstyle))
    return {"title": title, "rect": (x, y, w, h), "style": style, "exstyle": exstyle, "menu": menu,
            "class": window_class, "font": (point, face), "controls": controls}


def check_dialog(resources, number, expected):
    found = resources.get((RT_DIALOG, number))
    check(found is not None, f"dialog {number}: missing")
    if found is None:
        return
    dialog = parse_dialog(found[1])
    check(dialog is not None, f"dialog {number}: not an extended template")
    if dialog is None:
        return
    for key in ("title", "rect", "style", "exstyle"):
        check(dialog[key] == expected[key], f"dialog {number}: {key} is {dialog[key]!r}, not {expected[key]!r}")
    check(dialog["font"] == (8, "MS Shell Dlg"), f"dialog {number}: font {dialog['font']}")
    check(dialog["menu"] in (0, "") and dialog["class"] in (0, ""), f"dialog {number}: has a menu or class")
    check(len(dialog["controls"]) == len(expected["controls"]),
          f"dialog {number}: {len(dialog['controls'])} controls, not {len(expected['controls'])}")
    for index, (have, want) in enumerate(zip(dialog["controls"], expected["controls"])):
        names = ("class", "id", "text", "rect", "style", "exstyle")
        for name, h, w in zip(names, have, want):
            if w is None:
                check(isinstance(h, str) and h.strip() != "", f"dialog {number} control {index + 1}: no {name}")
            elif name in ("style", "exstyle"):
                check(h == w, f"dialog {number} control {index + 1}: {name} 0x{h:08X}, not 0x{w:08X}")
            else:
                check(h == w, f"dialog {number} control {index + 1}: {name} {h!r}, not {w!r}")


def check_string(resources, number, text):
    found = resources.get((RT_STRING, number // 16 + 1))
    check(found is not None, f"string {number}: its block is missing")
    if found is None:
        return
    data, at = found[1], 0
    for index in range(16):
        (length,) = struct.unpack_from("<H", data, at)
        value = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length
        if index == number % 16:
            check(value == text, f"string {number}: {value!r}, not {text!r}")


def check_icon(resources, number, images):
    """images: [(size, bits)] in directory order."""
    found = resources.get((RT_GROUP_ICON, number))
    check(found is not None, f"icon {number}: missing")
    if found is None:
        return
    data = found[1]
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    have = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, image_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        have.append((w or 256, bits))
        image = resources.get((RT_ICON, image_id))
        check(image is not None and len(image[1]) == size, f"icon {number}: image {image_id} missing or cut")
        if image is not None:
            header = struct.unpack_from("<IiiHH", image[1], 0)
            check(header == (40, w, 2 * h, 1, bits), f"icon {number}: image {i} header {header}")
    check(kind == 1 and have == images, f"icon {number}: images {have}, not {images}")


def version_nodes(data, at, end, into):
    """Walks the version block's tree; fills {path: value}."""
    while at < end:
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        key, after = sz_or_ord(data, at + 6)
        after = align4(after)
        if kind == 1 and value_length:
            text = data[after:after + 2 * value_length].decode("utf-16-le").rstrip("\0")
            into[key] = text
            after = align4(after + 2 * value_length)
        else:
            into.setdefault("_values", {})[key] = data[after:after + value_length]
            after = align4(after + value_length)
        version_nodes(data, after, at + length, into)
        at = align4(at + length)


def read_version(path):
    """The four numbers of the generated version header."""
    with open(path) as f:
        text = f.read()
    numbers = []
    for part in ("MAJOR", "MINOR", "PATCH", "TWEAK"):
        found = re.search(rf"^#define FENCAT_VERSION_{part} (\d+)$", text, re.M)
        if found is None:
            sys.exit(f"{path}: no FENCAT_VERSION_{part}")
        numbers.append(int(found.group(1)))
    return numbers


def check_version(resources, file_version):
    found = resources.get((RT_VERSION, 1))
    check(found is not None, "version block: missing")
    if found is None:
        return
    language, data = found
    check(language == 0x0409, f"version block: language 0x{language:04X}")
    fixed_at = align4(6 + len("VS_VERSION_INFO\0") * 2)
    fixed = struct.unpack_from("<13I", data, fixed_at)
    check(fixed[0] == 0xFEEF04BD, "version block: no fixed file information")
    major, minor, patch, tweak = file_version
    check(fixed[2:4] == ((major << 16) | minor, (patch << 16) | tweak), f"version block: file version {fixed[2:4]}")
    check(fixed[4:6] == ((1 << 16) | 0, (1 << 16) | 13), f"version block: product version {fixed[4:6]}")
    check(fixed[6:8] == (0x3F, 0), f"version block: flags mask / flags {fixed[6:8]}")
    check(fixed[8] == 0x00040004, f"version block: file OS 0x{fixed[8]:X}, not VOS_NT_WINDOWS32")
    check(fixed[9:11] == (1, 0), f"version block: type / subtype {fixed[9:11]}, not VFT_APP / 0")
    nodes = {}
    version_nodes(data, fixed_at + 52, len(data), nodes)
    strings = dict(VERSION_STRINGS, FileVersion=", ".join(str(n) for n in file_version))
    for key, value in strings.items():
        check(nodes.get(key) == value, f"version block: {key} is {nodes.get(key)!r}, not {value!r}")
    for key in ("CompanyName", "LegalCopyright"):
        check(bool(nodes.get(key, "").strip()), f"version block: no {key}")
    translation = nodes.get("_values", {}).get("Translation")
    check(translation == struct.pack("<HH", 0x0409, 0x04E4), f"version block: translation {translation!r}")


def main():
    with open(sys.argv[1], "rb") as f:
        resources = read_res(f.read())
    check_dialog(resources, 102, MAIN_WINDOW)
    check_dialog(resources, 100, ABOUT_BOX)
    check_string(resources, 101, "&About TolvarFencat...")
    check_icon(resources, 128, [(48, 8), (48, 24), (32, 8), (32, 24), (16, 8), (16, 24)])
    check_icon(resources, 129, [(16, 4)])
    check_icon(resources, 130, [(16, 4)])
    check_version(resources, read_version(sys.argv[2]))
    for error in errors:
        print(error)
    print(f"resources: {'FAILED' if errors else 'ok'} ({len(errors)} differences)")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
