# One-command set-up on a fresh Debian/Ubuntu machine with Python 3.11:
#   make demo   build the package and label the sample city into out/
#   make test   build everything and run all tests
PYTHON ?= python3
VENV   ?= .venv
PY     := $(VENV)/bin/python
PIP    := $(VENV)/bin/pip
DEB_PACKAGES := g++ make pkg-config libfreetype-dev libgeos-dev libharfbuzz-dev
DEMO_PACKAGES := fonts-noto-cjk
# osmium-tool turns the tests' hand-written .osm files into .osm.pbf.
TEST_PACKAGES := osmium-tool
DEMO_OUT ?= out
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all system-deps demo-deps test-deps venv build native-tests test demo bench clean

all: build

# Installs the Debian packages given as $(1) that are missing, then runs the
# command $(2) if anything was installed. Skipped when all are present or
# when apt-get is not available (install them by other means then).
define apt_install
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if command -v apt-get >/dev/null 2>&1; then \
	    echo "installing:$$missing"; \
	    $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing \
	      && $(if $(2),$(2),true); \
	  else echo "please install:$$missing"; fi; \
	fi
endef

# Native build dependencies (FreeType, GEOS, HarfBuzz).
system-deps:
	$(call apt_install,$(DEB_PACKAGES))

# The demo draws Chinese street names: a CJK font makes them real glyphs
# (without one the library downloads a fallback font). Tests do not need it.
# Matplotlib caches the font list it found; a font installed after that
# stays invisible to it until the cache is dropped.
MPL_FORGET_FONTS := $(PY) -c "import glob, os, matplotlib; \
    [os.remove(f) for f in glob.glob(os.path.join(matplotlib.get_cachedir(), 'fontlist-*.json'))]"
demo-deps: venv
	$(call apt_install,$(DEMO_PACKAGES),$(MPL_FORGET_FONTS))

$(VENV)/.deps: pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PIP) install -q --upgrade pip
	$(PIP) install -q "scikit-build-core>=0.10" "pybind11>=3.0" cmake ninja
	$(PIP) install -q "numpy>=2,<3" "shapely>=2,<3" "geopandas>=1,<2" "pyogrio>=0.9" \
	    "pyproj>=3.7,<4" "matplotlib>=3.10,<4" "pyarrow>=14" \
	    "pytest>=8" "hypothesis>=6" "fonttools>=4.50" "mapbox_earcut>=1.0.1,<3" "mypy>=1.11" \
	    "pygltflib>=1.16"
	touch $@

venv: system-deps $(VENV)/.deps

build: venv
	$(PIP) install -q --no-build-isolation --no-deps .

NATIVE_DIR := build/native
CMAKE := $(abspath $(VENV))/bin/cmake
NINJA := $(abspath $(VENV))/bin/ninja

native-tests: venv
	$(CMAKE) -S . -B $(NATIVE_DIR) -G Ninja -DCMAKE_MAKE_PROGRAM=$(NINJA) \
	    -DGLYPHWAY_BUILD_MODULE=OFF -DGLYPHWAY_BUILD_TESTS=ON >/dev/null
	$(CMAKE) --build $(NATIVE_DIR)

# Tools the tests use to make their inputs; a test whose tool is missing is skipped.
test-deps:
	$(call apt_install,$(TEST_PACKAGES))

test: build native-tests test-deps
	GLYPHWAY_NATIVE_BIN=$(abspath $(NATIVE_DIR)) $(PY) -m pytest -q

# Labels the bundled sample city: $(DEMO_OUT)/sample.obj and $(DEMO_OUT)/sample.csv.
demo: build demo-deps
	$(VENV)/bin/glyphway-maker demo $(DEMO_OUT)/

bench: venv
	$(CMAKE) -S . -B build/bench -G Ninja -DCMAKE_MAKE_PROGRAM=$(NINJA) \
	    -DGLYPHWAY_BUILD_MODULE=OFF -DGLYPHWAY_BUILD_BENCH=ON >/dev/null
	$(CMAKE) --build build/bench
	./build/bench/bench_glyph_build $(BENCH_FONT)

clean:
	rm -rf build dist
