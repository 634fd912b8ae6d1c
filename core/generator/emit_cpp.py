"""C++ text of the object model: one header with every type, and the out-of-line functions split
into parts that compile in parallel."""

from __future__ import annotations

from schema import PRIMITIVES, Decl, Member, Schema, TypeRef

BANNER = "// Generated from core/schema/*.schema by core/generator/generate_model.py. Do not edit.\n"
ROOT = "veltrix_compute"
COMPUTE_NAMESPACE = "compute_api"

CPP_KEYWORDS = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case",
    "catch", "char", "class", "compl", "concept", "const", "consteval", "constexpr", "constinit",
    "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
    "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float",
    "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept",
    "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public",
    "register", "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw",
    "true", "try", "typedef", "typeid", "typename", "union", "unsigned", "using", "virtual", "void",
    "volatile", "wchar_t", "while", "xor", "xor_eq",
}
# Names that the C and C++ standard headers define as macros.
STANDARD_MACROS = {"INFINITY", "NAN", "NULL", "EOF", "TRUE", "FALSE", "DOMAIN", "OVERFLOW", "UNDERFLOW"}

PRIMITIVE_CPP = {"double": "double", "i32": "std::int32_t", "i64": "std::int64_t", "bool": "bool",
                 "string": "std::string"}
# Payloads held inline in the union's slot rather than in a heap cell.
INLINE_PAYLOADS = {"double": "f64", "i32": "i32", "i64": "i64", "bool": "flag"}


def ident(name: str) -> str:
    """The C++ identifier of a schema name: keywords and standard macros get a trailing '_'."""
    return name + "_" if name in CPP_KEYWORDS or name in STANDARD_MACROS else name


def namespace_of(decl: Decl) -> str:
    return decl.package or COMPUTE_NAMESPACE


class Names:
    """C++ spellings of schema types, relative to a namespace."""

    def __init__(self, schema: Schema):
        self.schema = schema

    def type(self, name: str, here: str) -> str:
        if name in PRIMITIVE_CPP:
            return PRIMITIVE_CPP[name]
        decl = self.schema.decls[name]
        ns = namespace_of(decl)
        return decl.short_name if ns == here else f"{ns}::{decl.short_name}"

    def field(self, ref: TypeRef, here: str) -> str:
        value = self.type(ref.name, here) if ref.name else ""
        if ref.form == "required":
            return value
        if ref.form == "optional":
            return f"std::optional<{value}>"
        if ref.form == "list":
            return f"std::vector<{value}>"
        if ref.form == "set":
            return f"OrderedSet<{value}>"
        key = self.type(ref.key, here)
        if ref.form == "map":
            return f"OrderedMap<{key}, {value}>"
        if ref.form == "optional_map":
            return f"std::optional<OrderedMap<{key}, {value}>>"
        if ref.form == "empty":
            return "Empty"
        raise AssertionError(ref.form)


def _grouped(decls: list[Decl], body) -> list[str]:
    """Emits `body(decl, ns)` for each declaration, reopening namespaces only when they change."""
    out: list[str] = []
    current = None
    for decl in decls:
        ns = namespace_of(decl)
        if ns != current:
            if current is not None:
                out.append(f"}}  // namespace {ROOT}::{current}\n")
            out.append(f"namespace {ROOT}::{ns} {{\n")
            current = ns
        out.append(body(decl, ns))
    if current is not None:
        out.append(f"}}  // namespace {ROOT}::{current}\n")
    return out


def _record_order(schema: Schema) -> list[Decl]:
    """Records in an order where each record's by-value record members come first."""
    records = schema.of_kind("record")
    done: set[str] = set()
    ordered: list[Decl] = []

    def visit(decl: Decl, path: set[str]) -> None:
        if decl.name in done:
            return
        path.add(decl.name)
        for member in decl.members:
            dep = schema.decls.get(member.type.name)
            # Vectors and maps of a record may name it while it is incomplete; others may not.
            if dep is not None and dep.kind == "record" and member.type.form in ("required", "optional"):
                if dep.name in path:
                    raise ValueError(f"{decl.name} contains itself without an indirection")
                visit(dep, path)
        path.discard(decl.name)
        done.add(decl.name)
        ordered.append(decl)

    for decl in records:
        visit(decl, set())
    return ordered


def _records_holding_themselves(schema: Schema) -> list[Decl]:
    """The records that hold themselves by value through a map of themselves (a member `map K R`
    of R). The engine walks such maps by a link word of their own; any other way for a record to
    hold itself without a union between is refused, as nothing would walk it without nesting."""
    records = {d.name: d for d in schema.of_kind("record")}
    holding = [d for d in records.values()
               if any(m.type.form == "map" and m.type.name == d.name for m in d.members)]

    def by_value(decl: Decl) -> list[str]:
        return [m.type.name for m in decl.members if m.type.name in records
                and not (m.type.form == "map" and m.type.name == decl.name)]

    for start in records.values():
        pending, seen = by_value(start), set()
        while pending:
            name = pending.pop()
            if name == start.name:
                raise ValueError(f"{start.name} holds itself by value other than through a map of itself")
            if name not in seen:
                seen.add(name)
                pending += by_value(records[name])
    return holding


def _payload_kind(schema: Schema, ref: TypeRef) -> str:
    """How a union holds a payload: 'empty', an inline slot member, or 'boxed'."""
    if ref.form == "empty":
        return "empty"
    if ref.form == "required" and ref.name in INLINE_PAYLOADS:
        return "inline"
    return "boxed"


# ---------------------------------------------------------------------------------------------
# Header


def _emit_enum(decl: Decl, ns: str) -> str:
    name = decl.short_name
    values = ", ".join(ident(v) for v in decl.values)
    return f"""
// {decl.name}: {len(decl.values)} values, then an unknown value that keeps its text.
class {name} : public detail::EnumBase<{name}> {{
 public:
  enum class Value : std::uint8_t {{ {values}, Unknown }};
  static constexpr std::size_t kValueCount = {len(decl.values)};
  static const std::string_view kNames[kValueCount];
  static const detail::TypeInfo kTypeInfo;

  constexpr {name}() noexcept = default;
  constexpr {name}(Value value) noexcept : EnumBase(static_cast<std::uint8_t>(value)) {{}}
}};
"""


def _emit_union(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    kinds = ", ".join(ident(m.json_name) for m in decl.members)
    factories = []
    accessors = []
    for member in decl.members:
        kind = _payload_kind(names.schema, member.type)
        variant = ident(member.json_name)
        if kind == "empty":
            factories.append(f"  static {name} {variant}() noexcept;")
            continue
        payload = names.field(member.type, ns)
        if kind == "inline":
            factories.append(f"  static {name} {variant}({payload}) noexcept;")
            accessors.append(f"  {payload} as_{member.json_name}() const noexcept;")
        else:
            factories.append(f"  static {name} {variant}({payload});")
            accessors.append(f"  const {payload}& as_{member.json_name}() const noexcept;")
    return f"""
// {decl.name}: {len(decl.members)} variants, then Unknown.
class {name} : public detail::UnionBase<{name}> {{
 public:
  enum class Kind : std::uint8_t {{ {kinds}, Unknown }};
  static constexpr std::size_t kVariantCount = {len(decl.members)};
  static const std::string_view kVariantNames[kVariantCount];
  static const detail::TypeInfo kTypeInfo;

{chr(10).join(factories)}
  {name}() noexcept = default;
{chr(10).join(accessors)}
}};
"""


def _emit_record(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    fields = "".join(f"  {names.field(m.type, ns)} {ident(m.json_name)};\n" for m in decl.members)
    builder = ""
    if decl.staged:
        builder = f"  // Starts a staged builder; see {name}Builder.\n  static {name}Builder<0> builder();\n"
    return f"""
struct {name} {{
{fields}  static const detail::TypeInfo kTypeInfo;
{builder}}};
"""


def _emit_builder(names: Names, decl: Decl, ns: str) -> str:
    """A type-state builder: `Given` is the bit set of required fields given so far, and only the
    stage with every bit set (Complete) has build()."""
    name = decl.short_name
    required = [m for m in decl.members if m.type.form == "required"]
    complete = (1 << len(required)) - 1
    storage = []
    setters = []
    for member in decl.members:
        field_type = names.field(member.type, ns)
        field = ident(member.json_name)
        if member.type.form == "required":
            bit = 1 << required.index(member)
            storage.append(f"  std::optional<{field_type}> {field};")
            setters.append(f"""  {name}Builder<Given | {bit}u> {field}({field_type} value) && {{
    {name}Builder<Given | {bit}u> next(std::move(fields_));
    next.fields_.{field}.emplace(std::move(value));
    return next;
  }}""")
        else:
            # An optional takes its value or nothing; a collection takes itself.
            storage.append(f"  {field_type} {field};")
            setters.append(f"  {name}Builder {field}({field_type} value) && {{ fields_.{field} = std::move(value); "
                           f"return std::move(*this); }}")
    build_fields = ", ".join(
        f"std::move(*fields_.{ident(m.json_name)})" if m.type.form == "required"
        else f"std::move(fields_.{ident(m.json_name)})" for m in decl.members)
    return f"""
// The fields of {name} given so far; shared by every stage of {name}Builder.
struct {name}BuilderFields {{
{chr(10).join(storage)}
}};

template <std::uint32_t Given>
class {name}Builder {{
 public:
  static constexpr std::uint32_t Complete = {complete}u;

{chr(10).join(setters)}
  {name} build() && requires(Given == Complete) {{ return {name}{{{build_fields}}}; }}

 private:
  template <std::uint32_t>
  friend class {name}Builder;
  friend struct {name};
  {name}Builder() = default;
  explicit {name}Builder({name}BuilderFields fields) : fields_(std::move(fields)) {{}}
  {name}BuilderFields fields_;
}};
inline {name}Builder<0> {name}::builder() {{ return {name}Builder<0>(); }}
"""


def emit_header(schema: Schema) -> str:
    names = Names(schema)
    records = _record_order(schema)
    out = [BANNER, """// The compute API's types. Conventions: core/include/veltrix_compute/model_support.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "veltrix_compute/model_support.h"

"""]
    out.append("\n// Records, declared ahead so that unions can hold them in heap cells.\n")
    out += _grouped(schema.of_kind("record"), lambda d, ns: f"struct {d.short_name};\n")
    out.append("\n// Unions, declared ahead so that other unions can hold them in heap cells.\n")
    out += _grouped(schema.of_kind("union"), lambda d, ns: f"class {d.short_name};\n")
    out.append("\n// Staged builders (model_builders.h), declared ahead for the records' builder() functions.\n")
    out += _grouped([d for d in schema.of_kind("record") if d.staged],
                    lambda d, ns: f"template <std::uint32_t Given>\nclass {d.short_name}Builder;\n")
    out.append("\n// Records that hold themselves through a map of themselves (model/containers.h).\n"
               f"namespace {ROOT}::detail {{\n")
    out += [f"template <>\ninline constexpr bool kHoldsItselfThroughMaps<{_qualified(d)}> = true;\n"
            for d in _records_holding_themselves(schema)]
    out.append(f"}}  // namespace {ROOT}::detail\n")
    out.append("\n// String aliases: named kinds of text, held and written as strings.\n")
    out += _grouped(schema.of_kind("alias"), lambda d, ns: f"using {d.short_name} = std::string;\n")
    out.append("\n// Enums.\n")
    out += _grouped(schema.of_kind("enum"), _emit_enum)
    out.append("\n// Unions.\n")
    out += _grouped(schema.of_kind("union"), lambda d, ns: _emit_union(names, d, ns))
    out.append("\n// Records, each after the records it holds by value.\n")
    out += _grouped(records, lambda d, ns: _emit_record(names, d, ns))
    return "".join(out)


def emit_builders_header(schema: Schema) -> str:
    names = Names(schema)
    out = [BANNER, """// The staged builders of the records that the expression builders fill.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "model.h"
"""]
    out += _grouped([d for d in _record_order(schema) if d.staged], lambda d, ns: _emit_builder(names, d, ns))
    return "".join(out)


# ---------------------------------------------------------------------------------------------
# Out-of-line parts: the engine's tables, variant names and the factories of payloads in cells


def _qualified(decl: Decl) -> str:
    return f"{namespace_of(decl)}::{decl.short_name}"


def _type_info(names: Names, ref: TypeRef) -> str:
    """The table of a field's or payload's C++ type, spelled from namespace veltrix_compute."""
    return f"&TypeOf<{names.field(ref, '')}>::info"


def _c_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _type_info_definition(decl: Decl, maker: str, details: str) -> str:
    return f"constinit const TypeInfo {_qualified(decl)}::kTypeInfo = {maker}({details});\n"


def _emit_union_functions(names: Names, decl: Decl) -> str:
    name = decl.short_name
    full = _qualified(decl)
    table = f"k{name}Variants"
    rows, functions = [], []
    for member in decl.members:
        kind = _payload_kind(names.schema, member.type)
        variant = ident(member.json_name)
        prefix = _c_string('{"type":"%s","%s":' % (member.json_name, member.json_name))
        accessor = f"{full}::as_{member.json_name}() const noexcept"
        if kind == "empty":
            rows.append(f"    {{{prefix}, Placement::empty, nullptr}},")
            functions.append(f"{full} {full}::{variant}() noexcept {{ return make(Kind::{variant}, Slot{{nullptr}}); }}")
        elif kind == "inline":
            slot = INLINE_PAYLOADS[member.type.name]
            payload = PRIMITIVE_CPP[member.type.name]
            rows.append(f"    {{{prefix}, Placement::inline_, &TypeOf<{payload}>::info}},")
            functions.append(f"{full} {full}::{variant}({payload} payload) noexcept {{\n"
                             f"  return make(Kind::{variant}, Slot{{.{slot} = payload}});\n}}")
            functions.append(f"{payload} {accessor} {{ return slot().{slot}; }}")
        else:
            payload = names.field(member.type, "")
            opening = ""
            payload_decl = names.schema.decls.get(member.type.name)
            if (member.type.form == "required" and payload_decl is not None and payload_decl.kind == "record"
                    and payload_decl.members and payload_decl.members[0].type.form == "required"):
                first = payload_decl.members[0].json_name
                opening = ", " + _c_string('{"type":"%s","%s":{"%s":' % (member.json_name, member.json_name, first))
            rows.append(f"    {{{prefix}, Placement::cell, &TypeOf<{payload}>::info{opening}}},")
            functions.append(f"{full} {full}::{variant}({payload} payload) {{\n"
                             f"  return make(Kind::{variant}, Slot{{make_cell(std::move(payload))}});\n}}")
            functions.append(f"const {payload}& {accessor} {{ return payload<{payload}>(); }}")
    variant_names = ", ".join(f'"{m.json_name}"' for m in decl.members)
    nl = "\n"
    return f"""
// {decl.name}
constexpr VariantInfo {table}[] = {{
{nl.join(rows)}
}};
constexpr UnionInfo k{name}Union{{{len(decl.members)}, {table}, &TypeOf<UnknownVariant>::info}};
{_type_info_definition(decl, f"type_info_of<{full}>", f"k{name}Union")}const std::string_view {full}::kVariantNames[{full}::kVariantCount] = {{{variant_names}}};
{nl.join(functions)}
"""


def _is_flat_field(schema: Schema, ref: TypeRef) -> bool:
    """A number, text, enum or alias, required or optional: written without descending."""
    decl = schema.decls.get(ref.name)
    return ref.form in ("required", "optional") and (ref.name in PRIMITIVES or decl.kind in ("enum", "alias"))


def _holds_unions(schema: Schema, type_name: str, seen: set[str] | None = None) -> bool:
    """Whether a value of the type can hold a union, directly or through records."""
    decl = schema.decls.get(type_name)
    if decl is None or decl.kind in ("enum", "alias"):
        return False
    if decl.kind == "union":
        return True
    seen = seen if seen is not None else set()
    if type_name in seen:
        return False
    seen.add(type_name)
    return any(_holds_unions(schema, m.type.name, seen) for m in decl.members)


def _emit_record_functions(names: Names, decl: Decl) -> str:
    name = decl.short_name
    full = _qualified(decl)
    forms = {"required": "required", "optional": "optional", "optional_map": "optional"}
    rows = [f"    {{{_c_string(',' + chr(34) + m.json_name + chr(34) + ':')}, offsetof({full}, {ident(m.json_name)}), "
            f"FieldForm::{forms.get(m.type.form, 'collection')}, {_type_info(names, m.type)}}},"
            for m in decl.members]
    leaf = "false" if _holds_unions(names.schema, decl.name) else "true"
    trailing = 0
    while trailing < len(decl.members) and decl.members[-1 - trailing].type.form != "required":
        trailing += 1
    flat = "true" if all(_is_flat_field(names.schema, m.type) for m in decl.members) else "false"
    if not rows:
        return f"\n// {decl.name}\n{_type_info_definition(decl, f'type_info_of<{full}, true>', 'RecordInfo{0, 0, true, nullptr}')}"
    nl = "\n"
    return f"""
// {decl.name}
constexpr FieldInfo k{name}Fields[] = {{
{nl.join(rows)}
}};
constexpr RecordInfo k{name}Record{{{len(rows)}, {trailing}, {flat}, k{name}Fields}};
{_type_info_definition(decl, f"type_info_of<{full}, {leaf}>", f"k{name}Record")}"""


def _emit_enum_functions(decl: Decl) -> str:
    name = decl.short_name
    full = _qualified(decl)
    names = ", ".join(f'"{v}"' for v in decl.values)
    return f"""
// {decl.name}
const std::string_view {full}::kNames[{full}::kValueCount] = {{{names}}};
constexpr EnumInfo k{name}Enum{{{len(decl.values)}, {full}::kNames}};
{_type_info_definition(decl, f"type_info_of<{full}>", f"k{name}Enum")}"""


def _assign_parts(schema: Schema, parts: int) -> list[list[Decl]]:
    """Splits the declarations into contiguous groups of about equal generated size."""
    decls = [d for d in schema.decls.values() if d.kind in ("record", "union", "enum")]
    weight = {d.name: (2 * len(d.members) + 8 if d.kind == "union" else len(d.members) + 4) for d in decls}
    total = sum(weight.values())
    groups: list[list[Decl]] = [[] for _ in range(parts)]
    running = 0
    for decl in decls:
        index = min(parts - 1, running * parts // max(total, 1))
        groups[index].append(decl)
        running += weight[decl.name]
    return groups


def emit_part(schema: Schema, index: int, parts: int) -> str:
    names = Names(schema)
    body = []
    for decl in _assign_parts(schema, parts)[index]:
        if decl.kind == "union":
            body.append(_emit_union_functions(names, decl))
        elif decl.kind == "record":
            body.append(_emit_record_functions(names, decl))
        else:
            body.append(_emit_enum_functions(decl))
    return "".join([BANNER, f"// Part {index + 1} of {parts}: tables, variant names and factories.\n",
                    '#include <cstddef>\n\n#include "model.h"\n\n',
                    "// Records are aggregates of standard types; offsetof is exact for them with GCC and Clang.\n",
                    '#pragma GCC diagnostic ignored "-Winvalid-offsetof"\n\n',
                    "namespace veltrix_compute {\nusing namespace detail;\n", *body, "\n}  // namespace veltrix_compute\n"])


# ---------------------------------------------------------------------------------------------
# Catalogue smoke cases for the core tests


def emit_catalogue_cases(schema: Schema) -> str:
    """For every union: a check per variant that it writes {"type":V,V:...}. For every record: a
    check that a value with every optional present and every collection non-empty writes all of
    its keys in schema order. The values come from `sample<T>()` in the test."""
    names = Names(schema)  # types spelled from outside every namespace: always qualified
    out = [BANNER, "// Included by core/tests/catalogue_test.cpp, which defines sample<T>().\n\n"]
    for decl in schema.of_kind("union"):
        full = f"{namespace_of(decl)}::{decl.short_name}"
        for member in decl.members:
            variant = ident(member.json_name)
            kind = _payload_kind(schema, member.type)
            make = (f"{full}::{variant}()" if kind == "empty"
                    else f"{full}::{variant}(sample<{names.field(member.type, '')}>())")
            out.append(f'UNION_CASE({full}, "{member.json_name}", {make})\n')
    for decl in schema.of_kind("record"):
        full = f"{namespace_of(decl)}::{decl.short_name}"
        keys = ", ".join(f'"{m.json_name}"' for m in decl.members)
        fields = ", ".join(f"sample<{names.field(m.type, '')}>()" for m in decl.members)
        out.append(f"RECORD_CASE({full}, ({{{keys}}}), ({full}{{{fields}}}))\n")
    return "".join(out)
