"""Every kind of call, repeated, leaves reference counts and memory flat; threads sharing objects all write
the right JSON."""

import os
import platform
import subprocess
import sys
import threading
import time

import pytest
from conftest import panic, sanitized

import veltrix_compute._compute as compute
from veltrix_compute._compute import (CategoricalSeries, ConstantNumericSeries, Dataset,
                                      Duration, FloatConstant, GroupByTags, GroupByTimestamp, IntegerConstant,
                                      NegativeValueConfiguration, NumericAggregationOperator, NumericSeries,
                                      RangeMap, StringConstant, UdfSource)


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


class Text(str):
    pass


# Receivers and arguments, kept here so that their reference counts can be watched.
SPEED = NumericSeries.Reference("speed")
OTHER = NumericSeries.Reference("other")
RUN = Dataset.Run("r1")
DAY = Duration.Days(1)
HOURS = Duration.Hours(IntegerConstant.Reference("h"))
BUILDER = SPEED.rolling_points(5)
OPERATOR = NumericAggregationOperator.Percentile(95.0)
SOURCE = UdfSource.Rust("fn f() {}")
ALLOW = NegativeValueConfiguration.AllowNegativeValues()
TAGS = GroupByTags.Subset(["site", "asset"])
EVERY = GroupByTimestamp.Every(DAY)
RANGE = RangeMap("high", 10.0, 20.0)
MODE = CategoricalSeries.Reference("mode")
FLOAT_CONSTANT = FloatConstant.Reference("threshold")
INTEGER_CONSTANT = IntegerConstant.Literal(7)
STRING_CONSTANT = StringConstant.Reference("label")
CONSTANT_SERIES = ConstantNumericSeries.Float(2.5)
NAME = "a name with ü and 😀"
SUBCLASSED_TEXT = Text("sub")
TINY = 1.5e-300
BIG = 2**40
HUGE = 2**64
TAG_KEYS = ["b", "a", STRING_CONSTANT]
SERIES_LIST = [SPEED, 2.0, OTHER]
DATASETS = (RUN, RUN)
RANGES = [RANGE, RANGE]
SURROGATE = "\ud800"
UNPRINTABLE = Unprintable()
NOT_A_LIST = {"k": 1}


# A reference kept or dropped too many by any call shows in the count of one of these: its arguments, the
# classes (each instance holds its own), the functions, and what refusals and operators hand back.
WATCHED = [value for name, value in sorted(globals().items()) if name.isupper()] + [
    value for value in vars(compute).values() if callable(value)] + [
    NotImplemented, TypeError, ValueError, OverflowError, UnicodeEncodeError, type(panic())]

# (call, the exception it raises or None); a representative call of each class and method family.
CALLS = {
    # NumericSeries factories and methods
    "Reference": (lambda: NumericSeries.Reference(NAME), None),
    "Constant": (lambda: NumericSeries.Constant(TINY), None),
    "head": (lambda: SPEED.head(INTEGER_CONSTANT), None),
    "tail keyword": (lambda: SPEED.tail(num_points=3), None),
    "unary": (lambda: SPEED.cos(), None),
    "drop_nan": (lambda: SPEED.drop_nan(), None),
    "atan2": (lambda: SPEED.atan2(OTHER), None),
    "bit_and": (lambda: SPEED.bit_and(3), None),
    "derivative": (lambda: SPEED.derivative("seconds", ALLOW), None),
    "time_difference": (lambda: SPEED.time_difference("days"), None),
    "absolute_timestamp": (lambda: SPEED.absolute_timestamp("hours"), None),
    "value_difference": (lambda: SPEED.value_difference(ALLOW), None),
    "to_start_of_interval": (lambda: SPEED.to_start_of_interval(HOURS), None),
    "select_tags": (lambda: SPEED.select_tags(TAG_KEYS), None),
    "Max": (lambda: NumericSeries.Max(SERIES_LIST), None),
    "SelectNumeric": (lambda: NumericSeries.SelectNumeric(NAME, RUN), None),
    "Udf": (lambda: NumericSeries.Udf([SPEED, OTHER], SOURCE), None),
    "RustUdf": (lambda: NumericSeries.RustUdf([SPEED], NAME), None),
    "NumericAggregation": (lambda: NumericSeries.NumericAggregation(BUILDER, OPERATOR), None),
    "rolling_time": (lambda: SPEED.rolling_time(DAY), None),
    "group_by": (lambda: SPEED.group_by(TAGS, EVERY), None),
    "to_json": (lambda: SPEED.head(3).to_json(), None),
    # NumericSeries refusals
    "missing argument": (lambda: SPEED.head(), TypeError),
    "unknown keyword": (lambda: SPEED.head(n=1), TypeError),
    "too many arguments": (lambda: SPEED.head(1, 2), TypeError),
    "given twice": (lambda: SPEED.head(1, num_points=2), TypeError),
    "argument to no-argument method": (lambda: SPEED.abs(1), TypeError),
    "integer beyond 64 bits": (lambda: SPEED.head(HUGE), TypeError),
    "integer beyond 32 bits": (lambda: SPEED.head(BIG), BaseException),
    "not a number": (lambda: NumericSeries.Max([SPEED, NAME]), TypeError),
    "str for a list": (lambda: NumericSeries.Sum(NAME), TypeError),
    "not a sequence": (lambda: NumericSeries.Sum(NOT_A_LIST), TypeError),
    "not a str": (lambda: NumericSeries.Reference(STRING_CONSTANT), TypeError),
    "lone surrogate": (lambda: NumericSeries.Reference(SURROGATE), UnicodeEncodeError),
    "unknown time unit": (lambda: SPEED.derivative(NAME), ValueError),
    "unprintable time unit": (lambda: SPEED.time_difference(UNPRINTABLE), ValueError),
    "udf input not a series": (lambda: NumericSeries.RustUdf([SPEED, 2.0], NAME), TypeError),
    # operators
    "add": (lambda: SPEED + OTHER, None),
    "radd": (lambda: TINY + SPEED, None),
    "subtract": (lambda: SPEED - 1, None),
    "multiply": (lambda: SPEED * True, None),
    "divide": (lambda: SPEED / OTHER, None),
    "floor divide": (lambda: 7 // SPEED, None),
    "modulo": (lambda: SPEED % OTHER, None),
    "power": (lambda: pow(SPEED, 2, OTHER), None),
    "negate": (lambda: -SPEED, None),
    "add refused": (lambda: SPEED + NAME, TypeError),
    "add of two classes": (lambda: SPEED + DAY, TypeError),
    "positive": (lambda: +SPEED, TypeError),
    "duration add": (lambda: DAY + HOURS, None),
    "duration subtract": (lambda: DAY - HOURS, None),
    "duration negate": (lambda: -HOURS, None),
    "duration add refused": (lambda: DAY + 5, TypeError),
    # module functions
    "abs function": (lambda: compute.abs(SPEED), None),
    "sqrt of a number": (lambda: compute.sqrt(TINY), None),
    "atan2 function": (lambda: compute.atan2(y=SPEED, x=TINY), None),
    "mean function": (lambda: compute.mean(SERIES_LIST), None),
    "function refused": (lambda: compute.ln(NAME), TypeError),
    # the other classes
    "ValueMap": (lambda: CategoricalSeries.ValueMap(SPEED, RANGES, SUBCLASSED_TEXT), None),
    "ValueMap refused": (lambda: CategoricalSeries.ValueMap(SPEED, [RANGE, NAME]), TypeError),
    "categorical to_json": (lambda: MODE.to_json(), None),
    "ConstantNumericSeries": (lambda: ConstantNumericSeries.Float(FLOAT_CONSTANT), None),
    "ConstantNumericSeries refused": (lambda: ConstantNumericSeries.Float(NAME), TypeError),
    "IntegerConstant": (lambda: IntegerConstant.Literal(-7), None),
    "IntegerConstant beyond 32 bits": (lambda: IntegerConstant.Literal(-BIG), BaseException),
    "StringConstant": (lambda: StringConstant.Literal(SUBCLASSED_TEXT), None),
    "FloatConstant": (lambda: FloatConstant.Literal(TINY), None),
    "FloatConstant refused": (lambda: FloatConstant.Literal(FLOAT_CONSTANT), TypeError),
    "Dataset": (lambda: Dataset.Asset(STRING_CONSTANT), None),
    "Combine": (lambda: Dataset.Combine(DATASETS), None),
    "tag": (lambda: RUN.tag(NAME, STRING_CONSTANT), None),
    "time_shift": (lambda: RUN.time_shift(HOURS), None),
    "tag refused": (lambda: RUN.tag(NAME, RUN), TypeError),
    "aggregation": (lambda: BUILDER.percentile(FLOAT_CONSTANT), None),
    "rust_udf aggregation": (lambda: BUILDER.rust_udf(NAME), None),
    "aggregation refused": (lambda: BUILDER.udf(OPERATOR), TypeError),
    "operator": (lambda: NumericAggregationOperator.Udf(SOURCE), None),
    "negative values": (lambda: NegativeValueConfiguration.ExcludeNegativeValues(), None),
    "UdfSource": (lambda: UdfSource.Rust(source_code=NAME), None),
    "UdfSource refused": (lambda: UdfSource.Rust(SURROGATE), UnicodeEncodeError),
    "Duration": (lambda: Duration.Minutes(INTEGER_CONSTANT), None),
    "Duration beyond 32 bits": (lambda: Duration.Seconds(BIG), BaseException),
    "GroupByTags": (lambda: GroupByTags.Subset(TAG_KEYS), None),
    "GroupByTimestamp": (lambda: GroupByTimestamp.Every(HOURS), None),
    "GroupByTimestamp refused": (lambda: GroupByTimestamp.Every(NAME), TypeError),
    "RangeMap": (lambda: RangeMap(STRING_CONSTANT, FLOAT_CONSTANT, end=TINY), None),
    "RangeMap refused": (lambda: RangeMap(NAME, NAME), TypeError),
    "RangeMap missing argument": (lambda: RangeMap(), TypeError),
    "class not callable": (lambda: NumericSeries(), TypeError),
    "every to_json": (lambda: [value.to_json() for value in WATCHED if type(value).__module__ == "_compute"], None),
}


def call_once(name):
    call, raises = CALLS[name]
    if raises is None:
        return call()
    try:
        call()
    except raises:
        return None
    raise AssertionError(f"{name} did not raise {raises.__name__}")


@pytest.fixture(autouse=True)
def quiet(monkeypatch):
    """The unprintable time unit's report, expected here thousands of times, is dropped."""
    monkeypatch.setattr(sys, "unraisablehook", lambda report: None)


def reference_counts():
    return [sys.getrefcount(value) for value in WATCHED]


@pytest.mark.parametrize("name", CALLS)
def test_reference_counts_stay_flat(name):
    call_once(name)
    before = reference_counts()
    for _ in range(200):
        result = call_once(name)
    # The result is new and owned by us alone, like a fresh object of our own (interpreters count differently).
    alone = object()
    assert result is None or sys.getrefcount(result) == sys.getrefcount(alone)
    del result  # it holds a reference to its class
    after = reference_counts()
    assert after == before, [value for value, b, a in zip(WATCHED, before, after) if a != b]


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(sanitized(), reason="the address sanitizer holds freed memory back in quarantine")
def test_memory_stays_flat():
    names = list(CALLS)
    for _ in range(500):
        for name in names:
            call_once(name)
    before = resident_bytes()
    for _ in range(20_000):
        for name in names:
            call_once(name)
    # A leak of the smallest object on any one call would be 20,000 times its size, over a megabyte.
    assert resident_bytes() - before < 1024 * 1024


# In a fresh interpreter: a large tree built again after it was freed reuses the first one's memory,
# and what its free hands back beyond the 64 MiB that the module keeps for later trees serves other
# allocations (2,000-byte blocks come from malloc, past the interpreter's small-object allocator).
LARGE_TREE_MEMORY = """
import os
from veltrix_compute._compute import NumericSeries

def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

nodes = 3_000_000  # about 140 MiB of cells
references = [NumericSeries.Reference("s")] * nodes
tree = NumericSeries.Sum(references)
first = resident()
del tree
tree = NumericSeries.Sum(references)
assert resident() - first < nodes, (resident() - first) / nodes
del tree
freed = resident()
blocks = [bytes(2000) for _ in range(16_000)]
assert resident() - freed < 16 << 20, (resident() - freed) >> 20
"""


@pytest.mark.skipif(sanitized() or platform.libc_ver()[0] != "glibc",
                    reason="needs glibc's malloc, which the address sanitizer replaces")
def test_memory_of_a_freed_large_tree_comes_back():
    subprocess.run([sys.executable, "-c", LARGE_TREE_MEMORY], check=True, timeout=120)


def shared_expressions():
    """Calls on objects that every thread shares, with the JSON each must write, computed up front."""
    made = {
        "head": lambda: SPEED.head(3),
        "sum": lambda: compute.sum([SPEED, OTHER, 1.0]),
        "arithmetic": lambda: (SPEED + OTHER) * 2 - -SPEED,
        "derivative": lambda: SPEED.derivative("seconds", ALLOW),
        "aggregation": lambda: SPEED.rolling_time(DAY).percentile(0.5),
        "grouped": lambda: NumericSeries.NumericAggregation(SPEED.group_by(TAGS, EVERY), OPERATOR),
        "dataset": lambda: Dataset.Combine([RUN, RUN.tag("k", NAME), RUN.time_shift(DAY - HOURS)]),
        "selected": lambda: NumericSeries.SelectNumeric(NAME, RUN).select_tags(TAG_KEYS),
        "value map": lambda: CategoricalSeries.ValueMap(SPEED, RANGES, "mid"),
        "durations": lambda: -(DAY + HOURS),
    }
    return [(make, make().to_json()) for make in made.values()]


def test_threads_sharing_objects_write_the_right_json():
    expected = shared_expressions()
    failures = []
    start = threading.Barrier(8)

    def work():
        start.wait()
        # A fixed time rather than a fixed count, since sanitizers slow every call several times over.
        stop, rounds = time.monotonic() + 2.0, 0
        while rounds < 50 or time.monotonic() < stop:
            rounds += 1
            for make, text in expected:
                if make().to_json() != text:
                    failures.append(text)
            try:
                SPEED.head(NAME)
            except TypeError:
                pass
            else:
                failures.append("refusal")

    switch_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # many switches, inside as many calls as possible
    stack_size = threading.stack_size(256 * 1024)  # small stacks, as threads may have
    try:
        threads = [threading.Thread(target=work) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(switch_interval)
        threading.stack_size(stack_size)
    assert failures == []
    assert [make().to_json() for make, _ in expected] == [text for _, text in expected]
