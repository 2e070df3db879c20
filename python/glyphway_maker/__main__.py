"""``python -m glyphway_maker``: the same command line as ``glyphway-maker``."""
from glyphway_maker.cli import main

if __name__ == "__main__":
    raise SystemExit(main(prog="python -m glyphway_maker"))
