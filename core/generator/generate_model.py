#!/usr/bin/env python3
"""Generates the C++ object model of the compute API from core/schema/*.schema.

Usage:
  generate_model.py --check SCHEMA_DIR            validate the schema only
  generate_model.py SCHEMA_DIR OUT_DIR PARTS      write model.h, model_builders.h, model_part_<i>.cpp (i < PARTS)
                                                  and catalogue_cases.inc

The output is uniform: each type is the same small block (its C++ type, factories, accessors and
one table for the engine), and the logic lives in hand-written code: model_support.h for the
conventions, model/engine.h for copying, writing and freeing.
"""

from __future__ import annotations

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import schema as schema_reader  # noqa: E402
from emit_cpp import emit_builders_header, emit_catalogue_cases, emit_header, emit_part  # noqa: E402


def _write_if_changed(path: pathlib.Path, text: str) -> None:
    # Leaving unchanged files alone keeps their timestamps, so the build recompiles nothing.
    if path.exists() and path.read_text() == text:
        return
    path.write_text(text)


def _plural(count: int, kind: str) -> str:
    return f"{count} {kind}" + ("" if count == 1 else "es" if kind.endswith("s") else "s")


def main(argv: list[str]) -> int:
    checking = len(argv) == 3 and argv[1] == "--check"
    if not checking and len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        loaded = schema_reader.load(pathlib.Path(argv[-1] if checking else argv[1]))
    except schema_reader.SchemaError as error:
        print(error, file=sys.stderr)
        return 1
    if checking:
        kinds = ("record", "union", "enum", "alias")
        print("schema ok:", ", ".join(_plural(len(loaded.of_kind(kind)), kind) for kind in kinds))
        return 0
    out_dir, parts = pathlib.Path(argv[2]), int(argv[3])
    out_dir.mkdir(parents=True, exist_ok=True)
    _write_if_changed(out_dir / "model.h", emit_header(loaded))
    _write_if_changed(out_dir / "model_builders.h", emit_builders_header(loaded))
    for index in range(parts):
        _write_if_changed(out_dir / f"model_part_{index}.cpp", emit_part(loaded, index, parts))
    _write_if_changed(out_dir / "catalogue_cases.inc", emit_catalogue_cases(loaded))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
