"""Finding a CJK-capable font for the road names.

The families Matplotlib's font manager may know come first, then a fallback
font kept in the temporary directory, downloaded once when it is not there
yet, and last whatever sans-serif font Matplotlib has. The native module's
``_FontManager.get_chinese_font_path()`` answers with :func:`chinese_font_path`;
replacing that static method replaces the whole search. When the fonts a
run draws with lack glyphs its names need, the native module asks
``_FontManager.get_installed_cjk_font_path()``, which answers with
:func:`installed_cjk_font_path` (no download) and is replaceable alike.

Everything is looked up when the search runs (``tempfile.gettempdir``,
``urllib.request.urlretrieve``, Matplotlib's ``findfont``), so a caller that
patches one of them is heard.
"""
from __future__ import annotations

import os
import tempfile
import urllib.request

# Desktop CJK families first, then the free ones Linux machines carry, so
# that a machine with a CJK font installed never needs the network.
CJK_FAMILIES = (
    "Microsoft YaHei", "SimHei", "PingFang SC", "STHeiti",
    "Noto Sans CJK SC", "Noto Sans SC", "Source Han Sans SC", "WenQuanYi Micro Hei",
    "WenQuanYi Zen Hei", "Droid Sans Fallback",
)

FALLBACK_FILE_NAME = "NotoSansSC-Regular.otf"
FONT_DOWNLOAD_URL = ("https://github.com"
                     "/notofonts/noto-cjk/raw/main/Sans/OTF/SimplifiedChinese/NotoSansCJKsc-Regular.otf")


def _installed_family(font_manager):
    for family in CJK_FAMILIES:
        try:
            props = font_manager.FontProperties(family=family)
            path = font_manager.findfont(props, fallback_to_default=False)
            if path and os.path.exists(path):
                return path
        except Exception:
            # A family that is not installed raises; try the next one. An
            # interrupt is not a lookup failure and goes to the caller.
            continue
    return None


def _download_font(target):
    """Downloads into a temporary file beside `target` and renames it into
    place only when complete, so an interrupted download never leaves a
    truncated font that every later run would pick up."""
    partial = "{}.part{}".format(target, os.getpid())
    try:
        urllib.request.urlretrieve(FONT_DOWNLOAD_URL, partial)
        os.replace(partial, target)
    except BaseException:
        if os.path.exists(partial):
            try:
                os.remove(partial)
            except OSError:
                pass
        raise


def installed_cjk_font_path():
    """Path of a CJK-capable font already on the machine: an installed
    family, else the fallback font if an earlier run downloaded it; None
    when there is neither. Never downloads: it is asked behind fonts the
    user chose."""
    import matplotlib.font_manager as font_manager

    found = _installed_family(font_manager)
    if found is not None:
        return found
    fallback = os.path.join(tempfile.gettempdir(), FALLBACK_FILE_NAME)
    return fallback if os.path.exists(fallback) else None


def chinese_font_path():
    """Path of a CJK-capable font: an installed family, else the fallback font
    in the temporary directory (downloaded once), else a sans-serif one."""
    import matplotlib.font_manager as font_manager

    found = _installed_family(font_manager)
    if found is not None:
        return found

    fallback = os.path.join(tempfile.gettempdir(), FALLBACK_FILE_NAME)
    if os.path.exists(fallback):
        return fallback

    print("[glyphway_maker] Downloading fallback font (Noto Sans SC)...")
    try:
        _download_font(fallback)
        return fallback
    except Exception as e:
        print("[glyphway_maker] Font download failed: " + str(e))
    # The family goes in as a list: a bare string would be parsed as a
    # fontconfig pattern, and "sans-serif" is not a valid one.
    return font_manager.findfont(font_manager.FontProperties(family=["sans-serif"]))
