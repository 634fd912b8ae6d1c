"""Speed and memory of the extension, each figure measured side by side with a plain-Python peer.

Run from the repository root after `pip install '.[bench]'`:  .venv/bin/python bench/bench.py
Every time is the median over repeated runs; a ratio is ours / peer's, so below 1 is faster.
"""

import gc
import json
import os
import platform
import statistics
import subprocess
import sys
import timeit

import orjson

import veltrix_compute._compute as compute
from veltrix_compute._compute import CategoricalSeries, Duration, NumericSeries, RangeMap

REPEATS = 15
NODES_HELD = 1_000_000


# The peer: the same JSON built as plain dicts. A node refers to its children, never copies them.
def ref(name):
    return {"type": "raw", "raw": {"name": name}}


def const(value):
    return {"type": "constant", "constant": {"type": "double", "double": {"type": "literal", "literal": value}}}


def operand(value):
    return const(float(value)) if isinstance(value, (int, float)) else value


def binary(kind, left, right):
    return {"type": kind, kind: {"left": operand(left), "right": operand(right)}}


def unary(kind, x):
    return {"type": kind, kind: {"x": x}}


def literal(value):
    return {"type": "literal", "literal": value}


def head(series, num_points):
    if not isinstance(num_points, int):
        raise TypeError(f"argument 'num_points': {type(num_points).__name__!r} is not an integer")
    return {"type": "selectOldestPoints", "selectOldestPoints": {"input": series, "numPoints": literal(num_points)}}


def derivative(series, time_unit):
    return {"type": "derivative", "derivative": {"input": series, "timeUnit": time_unit.upper()}}


def duration(unit, count):
    return {"type": unit, unit: {unit: literal(count)}}


def rolling_time_average(series, window):
    rolling = {"type": "rollingTime", "rollingTime": {"input": {"type": "numeric", "numeric": series}, "window": window}}
    operator = {"type": "average", "average": {}}
    return {"type": "numericAggregation", "numericAggregation": {"input": rolling, "operator": operator}}


def reduction(kind, inputs):
    return {"type": kind, kind: {"inputs": [operand(x) for x in inputs]}}


def typical_expression():
    rate = (NumericSeries.Reference("speed") * 3.6 + 1.0).abs().head(1000).derivative("seconds")
    smooth = NumericSeries.Reference("load").rolling_time(Duration.Minutes(5)).average()
    kelvin = NumericSeries.Reference("temperature") - 273.15
    return NumericSeries.Max([rate, smooth, kelvin]).to_json()


def typical_dicts():
    rate = derivative(head(unary("abs", binary("add", binary("multiply", ref("speed"), 3.6), 1.0)), 1000), "seconds")
    smooth = rolling_time_average(ref("load"), duration("minutes", 5))
    kelvin = binary("subtract", ref("temperature"), 273.15)
    return reduction("max", [rate, smooth, kelvin])


def compact_json(value):
    return json.dumps(value, separators=(",", ":"))


def median_times(cases, namespace, number):
    """Seconds per run of each statement; the cases take turns within every repeat."""
    timers = {name: timeit.Timer(statement, globals=namespace) for name, statement in cases.items()}
    samples = {name: [] for name in cases}
    for _ in range(REPEATS):
        for name, timer in timers.items():
            samples[name].append(timer.timeit(number) / number)
    return {name: statistics.median(values) for name, values in samples.items()}


def runs_for(statement, namespace, budget=0.02):
    """Runs per timing sample, so that one sample takes about `budget` seconds."""
    timer = timeit.Timer(statement, globals=namespace)
    number = 1
    while timer.timeit(number) < budget / 10 and number < 10**7:
        number *= 10
    return number


ROWS = []


def row(section, case, ours, peer, peer_name, goal=None):
    ratio = ours / peer
    verdict = "" if goal is None else ("met" if ratio <= goal else "MISSED")
    goal_text = "" if goal is None else f"<= {goal:.3g}x"
    ROWS.append((section, case, ours, peer, peer_name, ratio, goal_text, verdict))


def compare(section, case, ours, peers, namespace, goals=None):
    """Times `ours` against each peer statement in the same runs and records one row per peer."""
    number = runs_for(ours, namespace)
    times = median_times({"ours": ours, **peers}, namespace, number)
    for peer_name in peers:
        goal = (goals or {}).get(peer_name)
        row(section, case, times["ours"], times[peer_name], peer_name, goal)


def format_time(seconds):
    for unit, scale in (("s", 1), ("ms", 1e3), ("us", 1e6), ("ns", 1e9)):
        if seconds * scale >= 1:
            return f"{seconds * scale:8.2f} {unit}"
    return f"{seconds * 1e9:8.2f} ns"


def print_rows():
    section = None
    print(f"{'case':<44} {'ours':>11} {'peer':>11}  {'peer is':<14} {'ratio':>7}  goal")
    for entry in ROWS:
        if entry[0] != section:
            section = entry[0]
            print(f"-- {section}")
        _, case, ours, peer, peer_name, ratio, goal, verdict = entry
        print(f"{case:<44} {format_time(ours)} {format_time(peer)}  {peer_name:<14} {ratio:6.2f}x  {goal} {verdict}")


def large_trees():
    speed = NumericSeries.Reference("speed")
    mixed = [
        lambda i: NumericSeries.Reference(f"s{i}"),
        lambda i: NumericSeries.Reference(f"s{i}").abs(),
        lambda i: speed * (i + 0.5),
        lambda i: speed.head(i),
        lambda i: speed.derivative("milliseconds"),
        lambda i: NumericSeries.Constant(i / 7),
    ]
    chain = speed
    for i in range(120):
        chain = [chain + 1.5, chain * 0.5, chain - speed, chain / 3.0, -chain, chain**2.0][i % 6]
    trees = {
        "Sum of 10,000 mixed series": NumericSeries.Sum([mixed[i % len(mixed)](i) for i in range(10_000)]),
        "chain of 120 arithmetic operations": chain,
        "ValueMap of 1,000 RangeMaps": CategoricalSeries.ValueMap(
            speed, [RangeMap(f"band{i}", start=i, end=i + 1) for i in range(1_000)], default="other"
        ),
    }
    for case, tree in trees.items():
        text = tree.to_json()
        namespace = {"tree": tree, "value": json.loads(text), "orjson": orjson, "compact_json": compact_json}
        compare(
            "to_json of large trees",
            f"{case} ({len(text) // 1024} KiB)",
            "tree.to_json()",
            {"orjson.dumps": "orjson.dumps(value)", "json.dumps": "compact_json(value)"},
            namespace,
            {"orjson.dumps": 0.5, "json.dumps": 0.1},
        )


def end_to_end():
    text = typical_expression()
    value = typical_dicts()
    assert orjson.dumps(value).decode() == compact_json(value) == text, "the peer writes other JSON"
    namespace = {**globals(), "orjson": orjson}
    compare(
        "end to end: typical expression",
        "13 operations, built and written",
        "typical_expression()",
        {"dicts+orjson": "orjson.dumps(typical_dicts())", "dicts+json": "compact_json(typical_dicts())"},
        namespace,
        {"dicts+orjson": 1.0, "dicts+json": 1 / 3},
    )


def per_operation():
    series = NumericSeries.Reference("speed")
    small = series.head(10)
    namespace = {
        **globals(),
        "orjson": orjson,
        "s": series,
        "small": small,
        "d": ref("speed"),
        "small_d": json.loads(small.to_json()),
    }
    dicts = "dicts"
    cases = [
        ("NumericSeries.Reference", "NumericSeries.Reference('speed')", {dicts: "ref('speed')"}),
        ("head(10)", "s.head(10)", {dicts: "head(d, 10)"}),
        ("s + 1.0", "s + 1.0", {dicts: "binary('add', d, 1.0)"}),
        ("Duration.Days(1)", "Duration.Days(1)", {dicts: "duration('days', 1)"}),
        ("to_json of head(10)", "small.to_json()",
         {"orjson.dumps": "orjson.dumps(small_d)", "json.dumps": "compact_json(small_d)"}),
        ("head('x') refused, caught", "try:\n  s.head('x')\nexcept TypeError:\n  pass",
         {dicts: "try:\n  head(d, 'x')\nexcept TypeError:\n  pass"}),
    ]
    for case, ours, peers in cases:
        compare("per operation", case, ours, peers, namespace)


def refusals():
    """A refused call next to the same call accepted, in the same runs. A refused operand is judged
    against the interpreter's own refusal of `1 + object()`, its floor: an operator answers
    NotImplemented, and the interpreter then raises its own TypeError."""
    namespace = {"s": NumericSeries.Reference("speed"), "o": object()}
    caught = "try:\n  {}\nexcept TypeError:\n  pass"
    compare("refusals, caught", "s + object()", caught.format("s + o"),
            {"s + 1.0": "s + 1.0", "1 + object()": caught.format("1 + o")}, namespace, {"1 + object()": 1.15})
    compare("refusals, caught", "head('x')", caught.format("s.head('x')"), {"head(10)": "s.head(10)"}, namespace,
            {"head(10)": 15})


def node_cost():
    """ns per node that `abs` copies, from the slope between a small and a large receiver."""
    small, large = 1_000, 100_000
    namespace = {
        "a": NumericSeries.Sum([NumericSeries.Reference("s")] * small),
        "b": NumericSeries.Sum([NumericSeries.Reference("s")] * large),
    }
    times = median_times({"small": "a.abs()", "large": "b.abs()"}, namespace, 20)
    return (times["large"] - times["small"]) / (large - small)


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def bytes_per_node():
    """RSS growth of holding a Sum of a million references, in a fresh interpreter."""
    references = [NumericSeries.Reference("s")] * NODES_HELD
    gc.collect()
    before = resident_bytes()
    held = NumericSeries.Sum(references)
    grown = resident_bytes() - before
    del held
    return grown / NODES_HELD


def main():
    if sys.argv[1:] == ["--bytes-per-node"]:
        print(bytes_per_node())
        return
    print(f"veltrix_compute from {compute.__file__}")
    print(f"CPython {platform.python_version()}, orjson {orjson.__version__}, {platform.machine()}")
    print(f"cores: {os.cpu_count()} on the machine, {len(os.sched_getaffinity(0))} usable")
    print(f"each figure: median of {REPEATS} samples; ratio = ours / peer\n")
    gc.disable()
    large_trees()
    end_to_end()
    per_operation()
    refusals()
    print_rows()
    per_node = node_cost()
    gc.enable()
    held = float(subprocess.run([sys.executable, __file__, "--bytes-per-node"], check=True,
                                capture_output=True, text=True).stdout)
    print("-- cost per node of a Sum of references")
    print(f"{'copy (abs), slope from 1,000 to 100,000':<44} {per_node * 1e9:8.2f} ns   goal < 20 ns  "
          f"{'met' if per_node * 1e9 < 20 else 'MISSED'}")
    print(f"{'held (RSS growth for 1,000,000)':<44} {held:8.1f} B    goal < 80 B   "
          f"{'met' if held < 80 else 'MISSED'}")


if __name__ == "__main__":
    main()
