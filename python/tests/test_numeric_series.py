"""NumericSeries: the node every factory and method writes, and the failures of its arguments."""

import array
import json
import math

import pytest
from conftest import UNARY, interpreter_message, panic

from veltrix_compute._compute import (Dataset, Duration, GroupByTags, GroupByTimestamp, IntegerConstant,
                                      NegativeValueConfiguration, NumericAggregationOperator, NumericSeries,
                                      StringConstant, UdfSource)

RAW = '{"type":"raw","raw":{"name":"speed"}}'
AS_SERIES = '{"type":"numeric","numeric":' + RAW + "}"


def node(kind, body):
    return f'{{"type":"{kind}","{kind}":{{{body}}}}}'


def literal(value):
    return '{"type":"literal","literal":' + json.dumps(value) + "}"


def constant(value):
    return node("constant", '"type":"double","double":' + literal(value))


INTEGER_CONSTANT_METHODS = [
    ("bit_and", "bitAnd", "operand"), ("bit_or", "bitOr", "operand"), ("bit_xor", "bitXor", "operand"),
    ("bit_shift_right", "bitShiftRight", "operand"), ("bit_shift_left", "bitShiftLeft", "operand"),
    ("bit_test", "bitTest", "index"), ("nth_point_downsample", "nthPointDownsample", "n"),
    ("largest_triangle_three_buckets", "largestTriangleThreeBuckets", "maxPointsToReturn"),
]
DERIVATIVE = node("derivative", '"input":' + RAW)


@pytest.mark.parametrize(
    ("call", "expected"),
    [
        *[(lambda s, n=n: getattr(s, n)(), node(n, '"x":' + RAW)) for n in UNARY],
        *[(lambda s, m=m: getattr(s, m)(3), node(k, f'"input":{RAW},"{f}":{literal(3)}'))
          for m, k, f in INTEGER_CONSTANT_METHODS],
        (lambda s: s.drop_nan(), node("dropNan", '"input":' + RAW)),
        (lambda s: s.atan2(0.5), node("atan2", f'"y":{RAW},"x":{constant(0.5)}')),
        (lambda s: NumericSeries.Constant(1.5), constant(1.5)),
        (lambda s: s.head(-1), node("selectOldestPoints", f'"input":{RAW},"numPoints":{literal(-1)}')),
        (lambda s: s.tail(0), node("selectNewestPoints", f'"input":{RAW},"numPoints":{literal(0)}')),
        (lambda s: s.head(2**31 - 1), node("selectOldestPoints", f'"input":{RAW},"numPoints":{literal(2**31 - 1)}')),
        (lambda s: s.head(IntegerConstant.Reference("n")),
         node("selectOldestPoints", f'"input":{RAW},"numPoints":{{"type":"variable","variable":"n"}}')),
        (lambda s: s.derivative(), DERIVATIVE),
        (lambda s: s.derivative(None), DERIVATIVE),
        (lambda s: s.derivative(time_unit=None, negative_values_configuration=None), DERIVATIVE),
        (lambda s: s.derivative("seconds"), node("derivative", f'"input":{RAW},"timeUnit":"SECONDS"')),
        (lambda s: s.time_difference(), node("timeDifference", '"input":' + AS_SERIES)),
        (lambda s: s.absolute_timestamp("days"), node("absoluteTimestamp", f'"input":{AS_SERIES},"timeUnit":"DAYS"')),
        (lambda s: NumericSeries.Max([]), '{"type":"max","max":{}}'),
        (lambda s: NumericSeries.Max([s, 2.0]), node("max", f'"inputs":[{RAW},{constant(2.0)}]')),
        (lambda s: NumericSeries.Sum((s, s)), node("sum", f'"inputs":[{RAW},{RAW}]')),
        (lambda s: NumericSeries.Product(range(2)), node("product", f'"inputs":[{constant(0.0)},{constant(1.0)}]')),
        (lambda s: s.select_tags(["b", "a", "b"]),
         node("selectTags", f'"input":{RAW},"tagKeys":[{literal("a")},{literal("b")}]')),
        (lambda s: NumericSeries.SelectNumeric("v"), node("selectNumeric", '"name":' + literal("v"))),
        (lambda s: NumericSeries.SelectNumeric("v", None), node("selectNumeric", '"name":' + literal("v"))),
        (lambda s: NumericSeries.RustUdf([s], "src"),
         node("scalarUdf", f'"inputs":[{AS_SERIES}],"source":{{"type":"rust","rust":{{"sourceCode":"src"}}}}')),
    ],
)
def test_nodes(speed, call, expected):
    assert call(speed).to_json() == expected
    assert speed.to_json() == RAW


ROLLING_POINTS = node("rollingPoints", f'"input":{AS_SERIES},"points":{literal(2)}')


# Given an object of another class, the node holds that object's own JSON in place of ARG.
@pytest.mark.parametrize(
    ("argument", "call", "kind", "fields"),
    [
        (Duration.Seconds(5), lambda s, w: s.to_start_of_interval(w),
         "toStartOfInterval", f'"input":{RAW},"window":ARG'),
        (Duration.Seconds(5), lambda s, w: s.rolling_time(w), "rollingTime", f'"input":{AS_SERIES},"window":ARG'),
        (NegativeValueConfiguration.AllowNegativeValues(), lambda s, c: s.value_difference(c),
         "valueDifference", f'"input":{RAW},"negativeValuesConfiguration":ARG'),
        (NegativeValueConfiguration.AllowNegativeValues(), lambda s, c: s.derivative("days", c),
         "derivative", f'"input":{RAW},"timeUnit":"DAYS","negativeValuesConfiguration":ARG'),
        (Dataset.Asset("rid"), lambda s, d: NumericSeries.SelectNumeric("v", d),
         "selectNumeric", f'"name":{literal("v")},"dataset":ARG'),
        (UdfSource.Rust("src"), lambda s, u: NumericSeries.Udf([s, s], u),
         "scalarUdf", f'"inputs":[{AS_SERIES},{AS_SERIES}],"source":ARG'),
        (NumericAggregationOperator.Sum(), lambda s, o: NumericSeries.NumericAggregation(s.rolling_points(2), o),
         "numericAggregation", f'"input":{ROLLING_POINTS},"operator":ARG'),
    ],
)
def test_nodes_holding_objects_of_other_classes(speed, argument, call, kind, fields):
    before = argument.to_json()
    assert call(speed, argument).to_json() == node(kind, fields.replace("ARG", before))
    assert speed.to_json() == RAW and argument.to_json() == before


def test_aggregation_builders(speed):
    assert speed.rolling_points(2).to_json() == ROLLING_POINTS
    tags, timestamp = GroupByTags.Current(), GroupByTimestamp.Current()
    built = speed.group_by(timestamp=timestamp, tags=tags)
    assert type(built).__name__ == "AggregationBuilder"
    fields = f'"input":{AS_SERIES},"tags":{tags.to_json()},"timestamp":{timestamp.to_json()}'
    assert built.to_json() == node("groupBy", fields)


def both_refused(type_name, class_name, given, native_failure):
    return (
        f"failed to extract enum {type_name} ('Wrapped | Native0')\n"
        f"- variant Wrapped (Wrapped): TypeError: failed to extract field {type_name}::Wrapped.0, "
        f"caused by TypeError: '{type(given).__qualname__}' object is not an instance of '{class_name}'\n"
        f"- variant Native0 (Native0): TypeError: failed to extract field {type_name}::Native0.0, caused by "
        + native_failure
    )


def not_a_number():
    return "argument 'inputs': " + both_refused(
        "NumericSeriesInput", "NumericSeries", "a", "TypeError: " + interpreter_message(lambda: math.fabs("a")))


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda s: NumericSeries.Max(["a"]), not_a_number),
        (lambda s: NumericSeries.Min((s, "a")), not_a_number),
        (lambda s: s.head(2**63), lambda: "argument 'num_points': " + both_refused(
            "IntegerConstantInput", "IntegerConstant", 0,
            "OverflowError: " + interpreter_message(lambda: array.array("l", [2**63])))),
        (lambda s: NumericSeries.Max("ab"), lambda: "argument 'inputs': Can't extract `str` to `Vec`"),
        (lambda s: NumericSeries.Max({}), lambda: "argument 'inputs': 'dict' object is not an instance of 'Sequence'"),
        (lambda s: NumericSeries.Udf([s, 2.0], UdfSource.Rust("src")),
         lambda: "argument 'inputs': Expected one of: numeric (Class(NumericSeries))"),
        (lambda s: NumericSeries.Reference(StringConstant.Literal("x")),
         lambda: "argument 'name': 'StringConstant' object is not an instance of 'str'"),
    ],
)
def test_argument_failures(speed, call, message):
    with pytest.raises(TypeError) as raised:
        call(speed)
    assert str(raised.value) == message()
    assert speed.to_json() == RAW


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


# A readable but empty name leaves two spaces; "<unprintable object>" is for a name that cannot be read.
NAMELESS = type("", (Unprintable,), {})


@pytest.mark.parametrize(("unit", "text"), [("Seconds", "Seconds"), (3, "3"), ("", ""),
                                            (Unprintable(), "<unprintable Unprintable object>"),
                                            (NAMELESS(), "<unprintable  object>")])
def test_unknown_time_units(speed, monkeypatch, unit, text):
    reported = []
    monkeypatch.setattr("sys.unraisablehook", reported.append)
    for call in (speed.derivative, speed.time_difference, speed.absolute_timestamp):
        with pytest.raises(ValueError) as raised:
            call(unit)
        assert str(raised.value) == f"Failed to convert '{text}' to TimeUnit enum: Invalid custom type: {text}"
    assert all(type(report.exc_value) is RuntimeError for report in reported)
    assert len(reported) == (3 if isinstance(unit, Unprintable) else 0)


@pytest.mark.parametrize(("where", "call"), [("__str__", NumericSeries.derivative), ("__float__", NumericSeries.atan2),
                                             ("__len__", lambda s, argument: NumericSeries.Max(argument))])
def test_panic_let_through_by_python_code_is_raised_again(speed, capfd, where, call):
    original = panic()

    def let_through(self):
        raise original

    argument = type("Passing", (), {where: let_through, "__getitem__": lambda self, index: [speed][index]})()
    with pytest.raises(type(original)) as raised:
        call(speed, argument)
    assert raised.value is not original and str(raised.value) == str(original)
    assert "in let_through" in capfd.readouterr().err
