import os

import pytest
from hypothesis import settings

import veltrix_compute._compute as compute

# CI runs a fixed set of generated examples, so that a red run can be replayed and a green one
# stays green; a developer's runs draw new examples each time and explore further.
settings.register_profile("ci", derandomize=True, database=None)
if os.environ.get("VELTRIX_TEST_PROFILE") == "ci":
    settings.load_profile("ci")


# The nine unary variants, which are NumericSeries methods and module functions alike, in the
# module's order.
UNARY = ["abs", "cos", "sin", "tan", "acos", "asin", "ln", "log10", "sqrt"]

SPEED = compute.NumericSeries.Reference("speed")
RANGE = compute.RangeMap("label", 0.0, 1.0)
ASSET = compute.Dataset.Asset("rid")


def _deep_series(depth):
    series = SPEED
    for _ in range(depth):
        series = series.abs()
    return series


# A few objects of each class, as (label, object); the first is the plain one.
SAMPLES = {
    compute.NumericSeries: [
        ("speed", SPEED),
        ("series of NaN", compute.NumericSeries.Constant(float("nan"))),
        ("series 300 deep", _deep_series(300)),
        ("sum of 1000", compute.sum([SPEED] * 1000)),
    ],
    compute.CategoricalSeries: [
        ("categorical", compute.CategoricalSeries.Reference("state")),
        ("value map", compute.CategoricalSeries.ValueMap(SPEED, [RANGE], "other")),
    ],
    compute.ConstantNumericSeries: [("constant series", compute.ConstantNumericSeries.Float(1.5))],
    compute.IntegerConstant: [
        ("integer 3", compute.IntegerConstant.Literal(3)),
        ("integer variable", compute.IntegerConstant.Reference("\x00é")),
    ],
    compute.StringConstant: [("string 's'", compute.StringConstant.Literal("s"))],
    compute.Dataset: [("asset", ASSET), ("tagged run", compute.Dataset.Run("r").tag("k", "v"))],
    compute.AggregationBuilder: [("rolling 3 points", SPEED.rolling_points(3))],
    compute.NumericAggregationOperator: [("sum operator", compute.NumericAggregationOperator.Sum())],
    compute.NegativeValueConfiguration: [
        ("allow negative", compute.NegativeValueConfiguration.AllowNegativeValues())
    ],
    compute.UdfSource: [("udf source", compute.UdfSource.Rust("fn f() {}"))],
    compute.Duration: [("5 seconds", compute.Duration.Seconds(5)), ("-1 day", -compute.Duration.Days(1))],
    compute.FloatConstant: [("float inf", compute.FloatConstant.Literal(float("inf")))],
    compute.GroupByTags: [("current tags", compute.GroupByTags.Current())],
    compute.GroupByTimestamp: [("current timestamp", compute.GroupByTimestamp.Current())],
    compute.RangeMap: [("range map", RANGE), ("open range map", compute.RangeMap("x"))],
}


@pytest.fixture
def speed():
    return compute.NumericSeries.Reference("speed")


def sanitized():
    """Whether the address sanitizer runs in this process: it changes how memory is held and reserved."""
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def panic(call=lambda: compute.IntegerConstant.Literal(2**40)):
    """The module's internal-failure exception raised by `call`, which must not be an Exception."""
    try:
        call()
    except Exception:  # noqa: BLE001
        pytest.fail("PanicException must not be caught by a handler for Exception")
    except BaseException as error:  # noqa: BLE001
        return error
    pytest.fail("no PanicException")


def interpreter_message(call):
    """The running interpreter's own message for a failing call (it differs between versions)."""
    try:
        call()
    except Exception as error:  # noqa: BLE001 - we want whatever the interpreter raises
        return str(error)
    raise AssertionError("the call did not fail")
