# One-command set-up on a fresh Debian/Ubuntu machine with Python 3.11:
#   make demo   build the package and run the demo
#   make test   build everything and run all tests
PYTHON ?= python3
VENV   ?= .venv
PY     := $(VENV)/bin/python
PIP    := $(VENV)/bin/pip
DEB_PACKAGES := g++ make libfreetype-dev libgeos-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all system-deps venv build native-tests test demo bench clean

all: build

# Native build dependencies (FreeType, GEOS). Skipped when already present
# or when apt-get is not available (install them by other means then).
system-deps:
	@missing=""; for p in $(DEB_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if command -v apt-get >/dev/null 2>&1; then \
	    echo "installing:$$missing"; \
	    $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	  else echo "please install:$$missing"; fi; \
	fi

$(VENV)/.deps: pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PIP) install -q --upgrade pip
	$(PIP) install -q "scikit-build-core>=0.10" "pybind11>=3.0" cmake ninja
	$(PIP) install -q "numpy>=2,<3" "shapely>=2,<3" "geopandas>=1,<2" "pyogrio>=0.9" \
	    "pyproj>=3.7,<4" "matplotlib>=3.10,<4" \
	    "pytest>=8" "hypothesis>=6" "fonttools>=4.50" "mapbox_earcut>=1.0.1,<3"
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

test: build native-tests
	GLYPHWAY_NATIVE_BIN=$(abspath $(NATIVE_DIR)) $(PY) -m pytest -q

demo: build
	$(PY) -m glyphway_maker --version

bench: venv
	$(CMAKE) -S . -B build/bench -G Ninja -DCMAKE_MAKE_PROGRAM=$(NINJA) \
	    -DGLYPHWAY_BUILD_MODULE=OFF -DGLYPHWAY_BUILD_BENCH=ON >/dev/null
	$(CMAKE) --build build/bench
	./build/bench/bench_glyph_build $(BENCH_FONT)

clean:
	rm -rf build dist
