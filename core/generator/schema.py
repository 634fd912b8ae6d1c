"""Reader of the compute API schema (core/schema/*.schema); see core/schema/README.md."""

from __future__ import annotations

import dataclasses
import pathlib
import re

PRIMITIVES = {"double", "i32", "i64", "bool", "string"}
FIELD_FORMS = {"required", "optional", "list", "set", "map", "optional_map"}


class SchemaError(Exception):
    pass


@dataclasses.dataclass
class TypeRef:
    """A field or payload type: `form` says how values of `name` are held."""

    form: str  # required | optional | list | set | map | optional_map | empty
    name: str = ""  # element or value type
    key: str = ""  # key type of a map


@dataclasses.dataclass
class Member:
    json_name: str
    type: TypeRef
    line: str


@dataclasses.dataclass
class Decl:
    kind: str  # record | union | enum | alias
    name: str  # schema name, e.g. "NumericSeries" or "api.TimeUnit"
    where: str
    members: list[Member] = dataclasses.field(default_factory=list)
    values: list[str] = dataclasses.field(default_factory=list)
    staged: bool = False

    @property
    def package(self) -> str:
        return self.name.rpartition(".")[0]

    @property
    def short_name(self) -> str:
        return self.name.rpartition(".")[2]


@dataclasses.dataclass
class Schema:
    packages: dict[str, str]
    decls: dict[str, Decl]  # in file and declaration order

    def of_kind(self, kind: str) -> list[Decl]:
        return [d for d in self.decls.values() if d.kind == kind]


_NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*(\.[A-Za-z_][A-Za-z0-9_]*)?$")


def _parse_type(text: str, where: str, payload: bool) -> TypeRef:
    words = text.split()
    if payload:
        if words == ["{}"]:
            return TypeRef("empty")
        if len(words) == 1:
            return TypeRef("required", words[0])
        if len(words) == 2 and words[0] in ("list", "set"):
            return TypeRef(words[0], words[1])
        raise SchemaError(f"{where}: a payload is T, list T, set T or {{}}, not {text!r}")
    if len(words) == 1:
        return TypeRef("required", words[0])
    if len(words) == 2 and words[0] in ("optional", "list", "set"):
        return TypeRef(words[0], words[1])
    if len(words) == 3 and words[0] == "map":
        return TypeRef("map", words[2], words[1])
    if len(words) == 4 and words[:2] == ["optional", "map"]:
        return TypeRef("optional_map", words[3], words[2])
    raise SchemaError(f"{where}: unknown field form {text!r}")


def parse_files(paths: list[pathlib.Path]) -> Schema:
    packages: dict[str, str] = {}
    decls: dict[str, Decl] = {}
    for path in paths:
        current: Decl | None = None
        for number, raw in enumerate(path.read_text().splitlines(), 1):
            where = f"{path.name}:{number}"
            line = raw.split("#", 1)[0].rstrip()
            if not line.strip():
                continue
            if line[0].isspace():
                if current is None:
                    raise SchemaError(f"{where}: indented line outside a declaration")
                body = line.strip()
                if current.kind == "enum":
                    current.values.extend(body.split())
                    continue
                if current.kind not in ("record", "union"):
                    raise SchemaError(f"{where}: {current.kind} {current.name} has no members")
                key, sep, type_text = body.partition(":")
                key = key.strip()
                if not sep or not key or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", key):
                    raise SchemaError(f"{where}: expected '<name>: <type>', got {body!r}")
                member = Member(key, _parse_type(type_text, where, current.kind == "union"), where)
                if any(m.json_name == key for m in current.members):
                    raise SchemaError(f"{where}: {current.name} repeats {key!r}")
                current.members.append(member)
                continue
            words = line.split()
            head = words[0]
            if head == "package":
                match = re.fullmatch(r"package\s+(\w+)\s*=\s*([\w.]+)", line.strip())
                if not match:
                    raise SchemaError(f"{where}: expected 'package <prefix> = <dotted.name>'")
                packages[match.group(1)] = match.group(2)
                current = None
                continue
            if head not in ("record", "union", "enum", "alias"):
                raise SchemaError(f"{where}: unknown declaration {head!r}")
            name_part = line[len(head):].strip()
            values: list[str] = []
            staged = False
            if head == "enum":
                name_part, _, value_text = name_part.partition(":")
                values = value_text.split()
                name_part = name_part.strip()
            elif head == "record" and name_part.endswith(" staged"):
                staged = True
                name_part = name_part[: -len(" staged")].strip()
            if not _NAME.match(name_part):
                raise SchemaError(f"{where}: bad type name {name_part!r}")
            if name_part in decls:
                raise SchemaError(f"{where}: {name_part} is declared twice")
            current = Decl(head, name_part, where, values=values, staged=staged)
            decls[name_part] = current
    schema = Schema(packages, decls)
    _check(schema)
    return schema


def _check(schema: Schema) -> None:
    errors = []
    for decl in schema.decls.values():
        if decl.package and decl.package not in schema.packages:
            errors.append(f"{decl.where}: unknown package {decl.package!r}")
        if decl.kind == "enum":
            if not decl.values:
                errors.append(f"{decl.where}: enum {decl.name} has no values")
            if len(set(decl.values)) != len(decl.values):
                errors.append(f"{decl.where}: enum {decl.name} repeats a value")
        if decl.kind == "union" and not decl.members:
            errors.append(f"{decl.where}: union {decl.name} has no variants")
        for member in decl.members:
            ref = member.type
            for name in filter(None, (ref.name, ref.key)):
                if name not in PRIMITIVES and name not in schema.decls:
                    errors.append(f"{member.line}: unknown type {name!r}")
            if ref.form == "set" and ref.name not in ("string", "StringConstant"):
                errors.append(f"{member.line}: sets hold string or StringConstant, not {ref.name}")
            if ref.form in ("map", "optional_map"):
                key_decl = schema.decls.get(ref.key)
                if ref.key != "string" and (key_decl is None or key_decl.kind not in ("alias", "enum")):
                    errors.append(f"{member.line}: map keys are string, an alias or an enum, not {ref.key}")
    if errors:
        raise SchemaError("\n".join(errors))


def load(directory: pathlib.Path) -> Schema:
    # packages.schema first, then the rest by name, so declaration order is stable.
    paths = sorted(directory.glob("*.schema"), key=lambda p: (p.name != "packages.schema", p.name))
    if not paths:
        raise SchemaError(f"no *.schema files in {directory}")
    return parse_files(paths)
