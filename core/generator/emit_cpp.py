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
    names = ", ".join(f'"{v}"' for v in decl.values)
    return f"""
// {decl.name}: {len(decl.values)} values, then an unknown value that keeps its text.
class {name} {{
 public:
  enum class Value : std::uint8_t {{ {values}, Unknown }};
  static constexpr std::size_t kValueCount = {len(decl.values)};
  static constexpr std::string_view kNames[kValueCount] = {{{names}}};

  constexpr {name}(Value value) noexcept : value_(value) {{}}
  static {name} unknown(Variant text) {{
    {name} result(Value::Unknown);
    result.unknown_ = text.text();
    return result;
  }}
  Value value() const noexcept {{ return value_; }}
  // The value's name, or the text of an unknown value.
  std::string_view name() const noexcept {{
    return value_ == Value::Unknown ? std::string_view(unknown_) : kNames[static_cast<std::size_t>(value_)];
  }}

 private:
  Value value_;
  std::string unknown_;
}};
inline void write_json(json::Buffer& out, const {name}& value) {{ json::write_json(out, value.name()); }}
inline void write_key(json::Buffer& out, const {name}& value) {{ json::write_json(out, value.name()); }}
inline std::uint32_t depth_of(const {name}&) noexcept {{ return 0; }}
// Map keys: declaration order, unknown values after the named ones, by text.
inline std::strong_ordering compare_key(const {name}& a, const {name}& b) noexcept {{
  if (a.value() != b.value()) return a.value() <=> b.value();
  return a.value() == {name}::Value::Unknown ? a.name().compare(b.name()) <=> 0 : std::strong_ordering::equal;
}}
"""


def _emit_union(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    kinds = ", ".join(ident(m.json_name) for m in decl.members)
    slot_members = []
    factories = []
    accessors = []
    for member in decl.members:
        kind = _payload_kind(names.schema, member.type)
        variant = ident(member.json_name)
        if kind == "empty":
            factories.append(f"  static {name} {variant}();")
            continue
        payload = names.field(member.type, ns)
        if kind == "inline":
            factories.append(f"  static {name} {variant}({payload} payload) noexcept;")
            accessors.append(f"  {payload} as_{member.json_name}() const noexcept "
                             f"{{ return slot_.{INLINE_PAYLOADS[member.type.name]}; }}")
        else:
            factories.append(f"  static {name} {variant}({payload} payload);")
            slot_members.append(f"    {payload}* {variant};")
            accessors.append(f"  const {payload}& as_{member.json_name}() const noexcept "
                             f"{{ return *slot_.{variant}; }}")
    slot = "\n".join(slot_members)
    return f"""
// {decl.name}: {len(decl.members)} variants, then Unknown.
class {name} {{
 public:
  enum class Kind : std::uint8_t {{ {kinds}, Unknown }};
  static constexpr std::size_t kVariantCount = {len(decl.members)};
  static const std::string_view kVariantNames[kVariantCount];

{chr(10).join(factories)}
  static {name} unknown(UnknownVariant payload);

  {name}(const {name}& other);
  {name}({name}&& other) noexcept : kind_(other.kind_), depth_(other.depth_), slot_(other.slot_) {{
    other.slot_.pointer = nullptr;
  }}
  {name}& operator=(const {name}& other) {{
    if (this != &other) *this = {name}(other);
    return *this;
  }}
  {name}& operator=({name}&& other) noexcept {{
    std::swap(kind_, other.kind_);
    std::swap(depth_, other.depth_);
    std::swap(slot_, other.slot_);
    return *this;
  }}
  ~{name}();

  Kind kind() const noexcept {{ return kind_; }}
  std::uint32_t depth() const noexcept {{ return depth_; }}
  // The variant's JSON name, or the stored name of an Unknown variant.
  std::string_view variant_name() const noexcept;
{chr(10).join(accessors)}
  const UnknownVariant& as_unknown() const noexcept {{ return *slot_.unknown; }}

 private:
  union Slot {{
    void* pointer;
    double f64;
    std::int32_t i32;
    std::int64_t i64;
    bool flag;
{slot}
    UnknownVariant* unknown;
  }};
  {name}(Kind kind, std::uint32_t depth, Slot slot) noexcept : kind_(kind), depth_(depth), slot_(slot) {{}}
  static void delete_payload(std::uint8_t kind, void* payload) noexcept;

  Kind kind_;
  std::uint32_t depth_;
  Slot slot_;
}};
void write_json(json::Buffer& out, const {name}& value);
inline std::uint32_t depth_of(const {name}& value) noexcept {{ return value.depth(); }}
"""


def _emit_record(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    fields = "".join(f"  {names.field(m.type, ns)} {ident(m.json_name)};\n" for m in decl.members)
    builder = ""
    if decl.staged:
        builder = f"  // Starts a staged builder; see {name}Builder.\n  static {name}Builder<0> builder();\n"
    return f"""
struct {name} {{
{fields}{builder}}};
void write_json(json::Buffer& out, const {name}& value);
std::uint32_t depth_of(const {name}& value) noexcept;
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
            value_type = field_type
            if member.type.form == "optional":
                value_type = names.type(member.type.name, ns)
            elif member.type.form == "optional_map":
                value_type = field_type[len("std::optional<"):-1]
            storage.append(f"  {field_type} {field};")
            setters.append(f"""  {name}Builder {field}({value_type} value) && {{
    fields_.{field} = std::move(value);
    return std::move(*this);
  }}""")
            if member.type.form in ("optional", "optional_map"):
                # Also takes the optional itself, so a caller can pass on "given or absent".
                setters.append(f"""  {name}Builder {field}({field_type} value) && {{
    fields_.{field} = std::move(value);
    return std::move(*this);
  }}""")
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
    out.append("\n// Staged builders, declared ahead for the records' builder() functions.\n")
    out += _grouped([d for d in schema.of_kind("record") if d.staged],
                    lambda d, ns: f"template <std::uint32_t Given>\nclass {d.short_name}Builder;\n")
    out.append("\n// String aliases: named kinds of text, held and written as strings.\n")
    out += _grouped(schema.of_kind("alias"), lambda d, ns: f"using {d.short_name} = std::string;\n")
    out.append("\n// Enums.\n")
    out += _grouped(schema.of_kind("enum"), _emit_enum)
    out.append("\n// Unions.\n")
    out += _grouped(schema.of_kind("union"), lambda d, ns: _emit_union(names, d, ns))
    out.append("\n// Records, each after the records it holds by value.\n")
    out += _grouped(records, lambda d, ns: _emit_record(names, d, ns))
    out.append("\n// Staged builders.\n")
    out += _grouped([d for d in records if d.staged], lambda d, ns: _emit_builder(names, d, ns))
    return "".join(out)


# ---------------------------------------------------------------------------------------------
# Out-of-line parts


def _quoted_key(json_name: str) -> str:
    return f'"\\"{json_name}\\":"'


def _emit_union_functions(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    variant_names = ", ".join(f'"{m.json_name}"' for m in decl.members)
    factories, copies, deletes, writes = [], [], [], []
    for member in decl.members:
        kind = _payload_kind(names.schema, member.type)
        variant = ident(member.json_name)
        prefix = '"{\\"type\\":\\"%s\\",\\"%s\\":"' % (member.json_name, member.json_name)
        if kind == "empty":
            factories.append(f"""{name} {name}::{variant}() {{
  Slot slot;
  slot.pointer = nullptr;
  return {name}(Kind::{variant}, 1, slot);
}}""")
            writes.append(f"    case {name}::Kind::{variant}:\n      out.literal({prefix[:-1]}{{}}}}\");\n      return;")
            continue
        payload = names.field(member.type, ns)
        if kind == "inline":
            slot_member = INLINE_PAYLOADS[member.type.name]
            factories.append(f"""{name} {name}::{variant}({payload} payload) noexcept {{
  Slot slot;
  slot.{slot_member} = payload;
  return {name}(Kind::{variant}, 1, slot);
}}""")
            writes.append(f"    case {name}::Kind::{variant}:\n      out.literal({prefix});\n"
                          f"      json::write_value(out, value.as_{member.json_name}());\n      break;")
            continue
        factories.append(f"""{name} {name}::{variant}({payload} payload) {{
  const std::uint32_t depth = 1 + detail::depth_of_value(payload);
  Slot slot;
  slot.{variant} = detail::new_in_cell<{payload}>(std::move(payload));
  return {name}(Kind::{variant}, depth, slot);
}}""")
        copies.append(f"    case Kind::{variant}:\n      slot_.{variant} = detail::new_in_cell<{payload}>(*other.slot_.{variant});\n      break;")
        deletes.append(f"    case Kind::{variant}:\n      detail::delete_in_cell(static_cast<{payload}*>(payload));\n      break;")
        writes.append(f"    case {name}::Kind::{variant}:\n      out.literal({prefix});\n"
                      f"      json::write_value(out, value.as_{member.json_name}());\n      break;")
    nl = "\n"
    return f"""
// {decl.name}

const std::string_view {name}::kVariantNames[{name}::kVariantCount] = {{{variant_names}}};

{nl.join(factories)}

{name} {name}::unknown(UnknownVariant payload) {{
  Slot slot;
  slot.unknown = detail::new_in_cell<UnknownVariant>(std::move(payload));
  return {name}(Kind::Unknown, 1, slot);
}}

{name}::{name}(const {name}& other) : kind_(other.kind_), depth_(other.depth_), slot_(other.slot_) {{
  switch (kind_) {{
{nl.join(copies)}
    case Kind::Unknown:
      slot_.unknown = detail::new_in_cell<UnknownVariant>(*other.slot_.unknown);
      break;
    default:  // empty and inline payloads were copied with the slot
      break;
  }}
}}

void {name}::delete_payload(std::uint8_t kind, void* payload) noexcept {{
  switch (static_cast<Kind>(kind)) {{
{nl.join(deletes)}
    case Kind::Unknown:
      detail::delete_in_cell(static_cast<UnknownVariant*>(payload));
      break;
    default:
      break;
  }}
}}

{name}::~{name}() {{
  const auto kind = static_cast<std::uint8_t>(kind_);
  if (k{name}PayloadCell[kind] == 0 || slot_.pointer == nullptr) return;
  if (!may_release_cells()) return;  // leaks the tree (cell_memory.h)
  if (k{name}PayloadCell[kind] == 1) {{
    delete_payload(kind, slot_.pointer);  // nothing inside can recurse
  }} else {{
    detail::release_payload(&delete_payload, kind, slot_.pointer);
  }}
}}

std::string_view {name}::variant_name() const noexcept {{
  return kind_ == Kind::Unknown ? std::string_view(slot_.unknown->name)
                                : kVariantNames[static_cast<std::size_t>(kind_)];
}}

void write_json(json::Buffer& out, const {name}& value) {{
  switch (value.kind()) {{
{nl.join(writes)}
    case {name}::Kind::Unknown:
      write_json(out, value.as_unknown());
      return;
  }}
  out.put('}}');
}}
"""


def _emit_record_functions(names: Names, decl: Decl, ns: str) -> str:
    name = decl.short_name
    writes = []
    depths = []
    for member in decl.members:
        field = ident(member.json_name)
        key = _quoted_key(member.json_name)
        form = member.type.form
        helper = {"required": "required", "optional": "optional", "optional_map": "optional"}.get(form, "collection")
        writes.append(f"  json::{helper}(object, {key}, value.{field});")
        dep = names.schema.decls.get(member.type.name)
        if dep is not None and dep.kind in ("record", "union"):
            depths.append(f"detail::depth_of_value(value.{field})")
    if not decl.members:
        write_body = "  (void)value;\n  out.literal(\"{}\");"
    else:
        write_body = "  json::ObjectWriter object(out);\n" + "\n".join(writes) + "\n  object.finish();"
    if not depths:
        depth_body = "  (void)value;\n  return 0;"
    elif len(depths) == 1:
        depth_body = f"  return {depths[0]};"
    else:
        depth_body = "  return std::max({" + ", ".join(depths) + "});"
    return f"""
void write_json(json::Buffer& out, const {name}& value) {{
{write_body}
}}

std::uint32_t depth_of(const {name}& value) noexcept {{
{depth_body}
}}
"""


def _assign_parts(schema: Schema, parts: int) -> list[list[Decl]]:
    """Splits records and unions into contiguous groups of about equal generated size."""
    decls = [d for d in schema.decls.values() if d.kind in ("record", "union")]
    weight = {d.name: (4 * len(d.members) + 20 if d.kind == "union" else len(d.members) + 4) for d in decls}
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
    decls = _assign_parts(schema, parts)[index]

    def body(decl: Decl, ns: str) -> str:
        if decl.kind == "union":
            return _inline_kinds(names, decl) + _emit_union_functions(names, decl, ns)
        return _emit_record_functions(names, decl, ns)

    return "".join([BANNER, f"// Part {index + 1} of {parts} of the out-of-line functions.\n",
                    '#include <algorithm>\n\n#include "model.h"\n\n', *_grouped(decls, body)])


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


def _inline_kinds(names: Names, decl: Decl) -> str:
    """Where each kind's payload lives: in the slot (0), in a heap cell that holds no union and
    can be freed at once (1), or in a heap cell of a tree, freed through release_payload (2)."""
    codes = []
    for member in decl.members:
        kind = _payload_kind(names.schema, member.type)
        if kind in ("inline", "empty"):
            codes.append("0")
        else:
            codes.append("2" if _holds_unions(names.schema, member.type.name) else "1")
    codes.append("1")  # Unknown: an Any frees itself without recursion
    name = decl.short_name
    return f"""
// Per kind: 0 payload in the slot, 1 a heap cell without unions, 2 a heap cell of a tree.
static constexpr std::uint8_t k{name}PayloadCell[] = {{{", ".join(codes)}}};
"""


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
