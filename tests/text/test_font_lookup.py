"""Font lookup order, the fallback file and its download, with Matplotlib's lookup mocked."""
import os

import matplotlib.font_manager as fm
import pytest

from glyphway_accel_avx2 import _FontManager

FAMILIES = ["Microsoft YaHei", "SimHei", "PingFang SC", "STHeiti",
            "Noto Sans CJK SC", "Noto Sans SC", "Source Han Sans SC",
            "WenQuanYi Micro Hei", "WenQuanYi Zen Hei", "Droid Sans Fallback"]
SANS = "/fonts/sans.ttf"


@pytest.fixture
def fonts(monkeypatch, tmp_path):
    """Mocked font manager: `installed` maps family -> path (or an exception to raise)."""
    state = {"installed": {}, "asked": [], "downloads": []}

    def findfont(prop, fallback_to_default=True, **kw):
        family = prop.get_family()
        if fallback_to_default:
            assert family == ["sans-serif"]
            return SANS
        (name,) = family
        state["asked"].append(name)
        found = state["installed"].get(name)
        if isinstance(found, BaseException):
            raise found
        if found is None:
            raise ValueError(f"Failed to find font {name}")
        return found

    def fail_download(url, path):
        raise AssertionError("no download expected")

    monkeypatch.setattr(fm, "findfont", findfont)
    monkeypatch.setattr("tempfile.gettempdir", lambda: str(tmp_path))
    monkeypatch.setattr("urllib.request.urlretrieve", fail_download)
    state["fallback"] = os.path.join(str(tmp_path), "NotoSansSC-Regular.otf")
    return state


def existing_file(tmp_path, name):
    path = tmp_path / name
    path.write_bytes(b"font")
    return str(path)


def test_families_are_tried_in_order(fonts, tmp_path, capsys):
    simhei = existing_file(tmp_path, "simhei.ttf")
    fonts["installed"] = {"SimHei": simhei, "Noto Sans CJK SC": existing_file(tmp_path, "noto.otf")}
    assert _FontManager.get_chinese_font_path() == simhei
    assert fonts["asked"] == ["Microsoft YaHei", "SimHei"]
    assert capsys.readouterr().out == ""


def test_free_linux_families_come_after_the_desktop_ones(fonts, tmp_path):
    wqy = existing_file(tmp_path, "wqy.ttc")
    fonts["installed"] = {"WenQuanYi Zen Hei": wqy}
    assert _FontManager.get_chinese_font_path() == wqy
    assert fonts["asked"] == FAMILIES[:9]


def test_empty_missing_and_failing_lookups_are_skipped(fonts, tmp_path):
    good = existing_file(tmp_path, "good.ttf")
    fonts["installed"] = {"Microsoft YaHei": "", "SimHei": str(tmp_path / "gone.ttf"),
                          "PingFang SC": RuntimeError("broken cache"), "STHeiti": good}
    assert _FontManager.get_chinese_font_path() == good


def test_existing_fallback_file_is_reused_without_download(fonts, capsys):
    with open(fonts["fallback"], "wb"):
        pass  # even an empty file is taken as it is
    assert _FontManager.get_chinese_font_path() == fonts["fallback"]
    assert fonts["asked"] == FAMILIES
    assert capsys.readouterr().out == ""


def test_download_lands_in_place_only_when_complete(fonts, monkeypatch, capsys):
    def urlretrieve(url, path):
        assert url.endswith("/notofonts/noto-cjk/raw/main/Sans/OTF/SimplifiedChinese/NotoSansCJKsc-Regular.otf")
        assert url.startswith("https://")
        assert path != fonts["fallback"]
        assert os.path.dirname(path) == os.path.dirname(fonts["fallback"])
        assert not os.path.exists(fonts["fallback"])
        with open(path, "wb") as f:
            f.write(b"OTTO")
        fonts["downloads"].append(path)
        return path, None

    monkeypatch.setattr("urllib.request.urlretrieve", urlretrieve)
    assert _FontManager.get_chinese_font_path() == fonts["fallback"]
    assert open(fonts["fallback"], "rb").read() == b"OTTO"
    assert not os.path.exists(fonts["downloads"][0])
    assert capsys.readouterr().out == "[glyphway_maker] Downloading fallback font (Noto Sans SC)...\n"


def test_failed_download_falls_back_to_sans_serif(fonts, monkeypatch, capsys):
    def urlretrieve(url, path):
        with open(path, "wb") as f:
            f.write(b"OT")  # half a file, then the network goes away
        raise OSError("network is unreachable")

    monkeypatch.setattr("urllib.request.urlretrieve", urlretrieve)
    assert _FontManager.get_chinese_font_path() == SANS
    assert capsys.readouterr().out == (
        "[glyphway_maker] Downloading fallback font (Noto Sans SC)...\n"
        "[glyphway_maker] Font download failed: network is unreachable\n")
    assert os.listdir(os.path.dirname(fonts["fallback"])) == []


def test_interrupted_download_propagates_and_leaves_nothing(fonts, monkeypatch):
    def urlretrieve(url, path):
        with open(path, "wb") as f:
            f.write(b"OT")
        raise KeyboardInterrupt

    monkeypatch.setattr("urllib.request.urlretrieve", urlretrieve)
    with pytest.raises(KeyboardInterrupt):
        _FontManager.get_chinese_font_path()
    assert os.listdir(os.path.dirname(fonts["fallback"])) == []


def test_sans_serif_lookup_works_with_the_real_font_manager(monkeypatch, tmp_path):
    # The real Matplotlib must accept the final lookup (no fontconfig-pattern parse).
    real = fm.findfont

    def only_sans(prop, fallback_to_default=True, **kw):
        if not fallback_to_default:
            raise ValueError("not installed")
        return real(prop, fallback_to_default=fallback_to_default, **kw)

    monkeypatch.setattr(fm, "findfont", only_sans)
    monkeypatch.setattr("tempfile.gettempdir", lambda: str(tmp_path))
    monkeypatch.setattr("urllib.request.urlretrieve",
                        lambda url, path: (_ for _ in ()).throw(OSError("offline")))
    path = _FontManager.get_chinese_font_path()
    assert os.path.exists(path)
