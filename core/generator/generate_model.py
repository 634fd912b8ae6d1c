#!/usr/bin/env python3
"""Generates the C++ object model of the compute API from core/schema/*.schema.

Usage:
  generate_model.py --check SCHEMA_DIR            validate the schema only
  generate_model.py SCHEMA_DIR OUT_DIR PARTS      write model.h, model_builders.h, model_part_<i>.cpp (i < PARTS)
                                                  and catalogue_cases.inc

The output is uniform: each type is the same small block, and the logic it relies on lives in the
hand-written core/include/veltrix_compute/model_support.h. See that header for the conventions
(C++ names, union representation, depth, freeing).
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


def main(argv: list[str]) -> int:
    if len(argv) == 3 and argv[1] == "--check":
        try:
            loaded = schema_reader.load(pathlib.Path(argv[2]))
        except schema_reader.SchemaError as error:
            print(error, file=sys.stderr)
            return 1
        counts = {kind: len(loaded.of_kind(kind)) for kind in ("record", "union", "enum", "alias")}
        print("schema ok:", ", ".join(f"{n} {kind}s" for kind, n in counts.items()))
        return 0
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    schema_dir, out_dir, parts = pathlib.Path(argv[1]), pathlib.Path(argv[2]), int(argv[3])
    try:
        loaded = schema_reader.load(schema_dir)
    except schema_reader.SchemaError as error:
        print(error, file=sys.stderr)
        return 1
    out_dir.mkdir(parents=True, exist_ok=True)
    _write_if_changed(out_dir / "model.h", emit_header(loaded))
    _write_if_changed(out_dir / "model_builders.h", emit_builders_header(loaded))
    for index in range(parts):
        _write_if_changed(out_dir / f"model_part_{index}.cpp", emit_part(loaded, index, parts))
    _write_if_changed(out_dir / "catalogue_cases.inc", emit_catalogue_cases(loaded))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
