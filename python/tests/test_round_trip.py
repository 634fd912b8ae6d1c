"""Random expressions built through the public API: their JSON reads back to every number and text that
went in, in the one compact form."""

import json
import math
import struct

import pytest
from conftest import interpreter_message
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from veltrix_compute._compute import (CategoricalSeries, Dataset, Duration, FloatConstant, IntegerConstant,
                                      NumericSeries, RangeMap, StringConstant, UdfSource)

# Characters the writer must escape, or must leave alone although they look special.
AWKWARD_CHARACTERS = ("\x00\x01\x07\x08\t\n\x0b\x0c\r\x1b\x1f\"\\/\x7f"
                      "\x80\xa0\xe9\u2028\u20ac\ufeff\uffff\U0001f600\U0010ffff")
# Doubles at the edges of the number layout and of the format itself.
AWKWARD_DOUBLES = [
    0.0, -0.0, 1.0, -2.5, 100.0, 0.1, 1e15, 1e16, 9007199254740993.0, 123456789.125, 1e-5, 0.000123, 1e-6,
    2.5e-10, 1e21, 1.5e300, 5e-324, -5e-324, 2.225073858507201e-308, 2.2250738585072014e-308,
    1.7976931348623157e308, math.nan, -math.nan, math.inf, -math.inf,
]

texts = st.text(st.one_of(st.sampled_from(AWKWARD_CHARACTERS), st.characters(exclude_categories=("Cs",))),
                max_size=8)
doubles = st.one_of(st.sampled_from(AWKWARD_DOUBLES), st.floats())
int32s = st.integers(-(2**31), 2**31 - 1)


def union(kind, payload):
    return {"type": kind, kind: payload}


def literal(value):
    return union("literal", value)


def written_double(value):
    return None if math.isnan(value) or math.isinf(value) else value


def double_literal(value):
    return literal(written_double(value))


def constant(value):
    return union("constant", union("double", double_literal(value)))


def sorted_texts(items):
    """A set of literal texts: byte order of their UTF-8, no repeats."""
    return [literal(item) for item in sorted(set(items), key=lambda item: item.encode())]


# Each strategy draws a pair: (object, the JSON value its text must read back as). The builders below take
# such pairs and plain values and return the pair of what they build.
def negate(duration):
    return -duration[0], union("negate", {"input": duration[1]})


def duration_add(left, right):
    return left[0] + right[0], union("add", {"left": left[1], "right": right[1]})


def duration_subtract(left, right):
    return left[0] - right[0], union("subtract", {"left": left[1], "right": right[1]})


durations = st.recursive(
    st.one_of(
        texts.map(lambda name: (Duration.Reference(name), union("reference", {"name": name}))),
        int32s.map(lambda n: (Duration.Seconds(n), union("seconds", {"seconds": literal(n)}))),
    ),
    lambda inner: st.one_of(st.builds(negate, inner), st.builds(duration_add, inner, inner),
                            st.builds(duration_subtract, inner, inner)),
    max_leaves=4,
)


def tagged(dataset, key, value):
    return dataset[0].tag(key, value), union("tag", {"input": dataset[1], "key": literal(key), "value": literal(value)})


def combined(inputs):
    written = {"inputs": [d[1] for d in inputs]} if inputs else {}
    return Dataset.Combine([d[0] for d in inputs]), union("combine", written)


def time_shifted(dataset, offset):
    return dataset[0].time_shift(offset[0]), union("timeShift", {"input": dataset[1], "offset": offset[1]})


datasets = st.recursive(
    texts.map(lambda rid: (Dataset.Run(rid), union("run", {"rid": literal(rid)}))),
    lambda inner: st.one_of(st.builds(tagged, inner, texts, texts), st.lists(inner, max_size=3).map(combined),
                            st.builds(time_shifted, inner, durations)),
    max_leaves=4,
)


def select_numeric(name, dataset):
    if dataset is None:
        return NumericSeries.SelectNumeric(name), union("selectNumeric", {"name": literal(name)})
    return (NumericSeries.SelectNumeric(name, dataset[0]),
            union("selectNumeric", {"name": literal(name), "dataset": dataset[1]}))


def plus_constant(series, value):
    return series[0] + value, union("add", {"left": series[1], "right": constant(value)})


def constant_minus(value, series):
    return value - series[0], union("subtract", {"left": constant(value), "right": series[1]})


def head(series, count):
    return series[0].head(count), union("selectOldestPoints", {"input": series[1], "numPoints": literal(count)})


def select_tags(series, keys):
    written = {"input": series[1], "tagKeys": sorted_texts(keys)} if keys else {"input": series[1]}
    return series[0].select_tags(keys), union("selectTags", written)


def sum_of(inputs):
    written = {"inputs": [s[1] for s in inputs]} if inputs else {}
    return NumericSeries.Sum([s[0] for s in inputs]), union("sum", written)


numeric_series = st.recursive(
    st.one_of(
        texts.map(lambda name: (NumericSeries.Reference(name), union("raw", {"name": name}))),
        doubles.map(lambda x: (NumericSeries.Constant(x), constant(x))),
        st.builds(select_numeric, texts, st.none() | datasets),
    ),
    lambda inner: st.one_of(
        st.builds(plus_constant, inner, doubles), st.builds(constant_minus, doubles, inner),
        st.builds(head, inner, int32s), st.builds(select_tags, inner, st.lists(texts, max_size=3)),
        st.lists(inner, max_size=3).map(sum_of),
    ),
    max_leaves=6,
)


def range_map(output, start, end):
    written = {"start": double_literal(start)} if start is not None else {}
    if end is not None:
        written["end"] = double_literal(end)
    written["output"] = literal(output)
    return RangeMap(output, start=start, end=end), written


range_maps = st.builds(range_map, texts, st.none() | doubles, st.none() | doubles)


def value_map(series, mapping, default):
    written = {"input": series[1]}
    if mapping:
        written["mapping"] = [m[1] for m in mapping]
    if default is not None:
        written["default"] = literal(default)
    return CategoricalSeries.ValueMap(series[0], [m[0] for m in mapping], default), union("valueMap", written)


expressions = st.one_of(
    numeric_series,
    datasets,
    durations,
    range_maps,
    st.builds(value_map, numeric_series, st.lists(range_maps, max_size=3), st.none() | texts),
    doubles.map(lambda x: (FloatConstant.Literal(x), double_literal(x))),
    texts.map(lambda text: (StringConstant.Literal(text), literal(text))),
    texts.map(lambda name: (FloatConstant.Reference(name), union("variable", name))),
    texts.map(lambda code: (UdfSource.Rust(code), union("rust", {"sourceCode": code}))),
    int32s.map(lambda n: (IntegerConstant.Literal(n), literal(n))),
)


def assert_same(written, expected, path="$"):
    """Equal in structure, key order and type; doubles bit for bit (so -0.0 keeps its sign)."""
    assert type(written) is type(expected), path
    if isinstance(expected, dict):
        assert list(written) == list(expected), path
        for key, value in expected.items():
            assert_same(written[key], value, f"{path}.{key}")
    elif isinstance(expected, list):
        assert len(written) == len(expected), path
        for index, (item, value) in enumerate(zip(written, expected)):
            assert_same(item, value, f"{path}[{index}]")
    elif isinstance(expected, float):
        assert struct.pack("<d", written) == struct.pack("<d", expected), f"{path}: {written!r} != {expected!r}"
    else:
        assert written == expected, path


def double_text(value):
    """The one text of a finite double: the shortest digits that read back (repr's), laid out by the decimal
    exponent E: plain for E from -5 to 15, else d.ddde+E / d.ddde-E."""
    if value == 0:
        return "-0.0" if math.copysign(1.0, value) < 0 else "0.0"
    mantissa, _, exponent = repr(abs(value)).partition("e")
    whole, _, fraction = mantissa.partition(".")
    all_digits = whole + fraction
    digits = all_digits.lstrip("0")
    e = int(exponent or 0) + len(whole) - 1 - (len(all_digits) - len(digits))
    digits = digits.rstrip("0")
    n = len(digits)
    if 0 <= e <= 15:
        text = digits + "0" * (e + 1 - n) + ".0" if n <= e + 1 else digits[: e + 1] + "." + digits[e + 1:]
    elif -5 <= e <= -1:
        text = "0." + "0" * (-e - 1) + digits
    else:
        text = digits[0] + ("." + digits[1:] if n > 1 else "") + "e" + ("+" if e >= 0 else "-") + str(abs(e))
    return ("-" if value < 0 else "") + text


def compact(value):
    """The compact text of a parsed JSON value: no spaces, non-ASCII unescaped."""
    if isinstance(value, dict):
        return "{" + ",".join(compact(key) + ":" + compact(item) for key, item in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ",".join(map(compact, value)) + "]"
    if isinstance(value, float):
        return double_text(value)
    return json.dumps(value, ensure_ascii=False)


def refuse_constant(name):
    raise AssertionError(f"{name} is not JSON")


def parse(text):
    return json.loads(text, parse_constant=refuse_constant)


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(expressions)
def test_json_gives_back_every_number_and_text(expression):
    made, expected = expression
    text = made.to_json()
    assert_same(parse(text), expected)
    assert compact(parse(text)) == text
    assert made.to_json() == text


def test_every_character_is_written_as_its_json_text():
    every = "".join(chr(code) for code in range(0x110000) if not 0xD800 <= code <= 0xDFFF)
    text = StringConstant.Literal(every).to_json()
    assert text == '{"type":"literal","literal":' + json.dumps(every, ensure_ascii=False) + "}"
    assert parse(text)["literal"] == every


LONE_SURROGATES = ["\ud800", "a\udfff", "\udc00b\U0001f600"]
NAME_PARAMETERS = [
    NumericSeries.Reference, CategoricalSeries.Reference, Duration.Reference, FloatConstant.Reference,
    StringConstant.Reference, IntegerConstant.Reference, StringConstant.Literal, UdfSource.Rust,
]


@pytest.mark.parametrize("text", LONE_SURROGATES)
@pytest.mark.parametrize("call", NAME_PARAMETERS)
def test_lone_surrogate_in_a_name_is_the_interpreters_error(call, text):
    with pytest.raises(UnicodeEncodeError) as raised:
        call(text)
    assert str(raised.value) == interpreter_message(text.encode)


class PrintsSurrogate:
    def __str__(self):
        return "a\udfff"


@pytest.mark.parametrize("unit", [*LONE_SURROGATES, PrintsSurrogate()])
def test_lone_surrogate_in_a_time_unit_is_written_back_as_given(unit):
    text = str(unit)
    with pytest.raises(ValueError) as raised:
        NumericSeries.Reference("s").derivative(unit)
    assert type(raised.value) is ValueError
    assert str(raised.value) == f"Failed to convert '{text}' to TimeUnit enum: Invalid custom type: {text}"


@pytest.mark.parametrize("call", [Dataset.Run, lambda text: RangeMap(text), NumericSeries.SelectNumeric])
def test_lone_surrogate_where_a_string_constant_is_also_accepted(call):
    with pytest.raises(TypeError) as raised:
        call("\ud800")
    assert str(raised.value).endswith("caused by UnicodeEncodeError: " + interpreter_message("\ud800".encode))
