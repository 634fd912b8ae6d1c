"""Depth is bounded by memory alone: a tree of any depth is built, copied, written and freed on any thread,
even one with the smallest stack the interpreter allows to be set."""

import builtins
import operator
import sys
import threading

import pytest

import veltrix_compute._compute as compute
from veltrix_compute._compute import CategoricalSeries, Dataset, Duration, GroupByTimestamp, NumericSeries

SMALL_STACK = 64 * 1024
MAIN_THREAD_DEPTH = 2000


def on_thread(function, stack_size):
    """function() on a new thread with a stack of stack_size bytes: its result, or its exception raised here."""
    outcome = {}

    def run():
        try:
            outcome["result"] = function()
        except BaseException as error:  # noqa: BLE001 - handed to the calling thread
            outcome["error"] = error

    previous = threading.stack_size(stack_size)
    try:
        thread = threading.Thread(target=run)
        thread.start()
    finally:
        threading.stack_size(previous)
    thread.join()
    if "error" in outcome:
        raise outcome.pop("error")
    return outcome.pop("result", None)


RAW = '{"type":"raw","raw":{"name":"x"}}'
DAY = '{"type":"days","days":{"days":{"type":"literal","literal":1}}}'
RUN = '{"type":"run","run":{"rid":{"type":"literal","literal":"r"}}}'
ONE = '{"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":1.0}}}'


class Chain:
    """A way to deepen a tree from a start: each step wraps the JSON text of its receiver in prefix ... suffix."""

    def __init__(self, start, step, prefix, suffix):
        self.start, self.step, self.prefix, self.suffix = start, step, prefix, suffix

    def text(self, steps, inner=None):
        return self.prefix * steps + (inner or self.start[1]) + self.suffix * steps

    def build(self, steps):
        tree = self.start[0]()
        for _ in range(steps):
            tree = self.step(tree)
        return tree


# (make, its JSON text, its depth: the unions on its longest path)
SERIES = (lambda: NumericSeries.Reference("x"), RAW, 1)
DURATION = (lambda: Duration.Days(1), DAY, 2)
DATASET = (lambda: Dataset.Run("r"), RUN, 2)


def unary(kind, field="x"):
    return f'{{"type":"{kind}","{kind}":{{"{field}":', "}}"


CHAINS = {
    "negate": Chain(SERIES, operator.neg, *unary("negate")),
    "abs method": Chain(SERIES, NumericSeries.abs, *unary("abs")),
    "sqrt function": Chain(SERIES, compute.sqrt, *unary("sqrt")),
    "add constant": Chain(SERIES, lambda s: s + 1, '{"type":"add","add":{"left":', ',"right":' + ONE + "}}"),
    "constant minus": Chain(SERIES, lambda s: 1 - s,
                            '{"type":"subtract","subtract":{"left":' + ONE + ',"right":', "}}"),
    "sum of one": Chain(SERIES, lambda s: NumericSeries.Sum([s]), '{"type":"sum","sum":{"inputs":[', "]}}"),
    "time difference": Chain(SERIES, NumericSeries.time_difference,
                             '{"type":"timeDifference","timeDifference":{"input":{"type":"numeric","numeric":',
                             "}}}"),
    "rolling sum": Chain(SERIES, lambda s: s.rolling_points(1).sum(),
                         '{"type":"numericAggregation","numericAggregation":{"input":{"type":"rollingPoints",'
                         '"rollingPoints":{"input":{"type":"numeric","numeric":',
                         '},"points":{"type":"literal","literal":1}}},"operator":{"type":"sum","sum":{}}}}'),
    "duration negate": Chain(DURATION, operator.neg, *unary("negate", "input")),
    "duration add": Chain(DURATION, lambda d: d + Duration.Days(1),
                          '{"type":"add","add":{"left":', ',"right":' + DAY + "}}"),
    "duration subtract": Chain(DURATION, lambda d: Duration.Days(1) - d,
                               '{"type":"subtract","subtract":{"left":' + DAY + ',"right":', "}}"),
    "dataset tag": Chain(DATASET, lambda d: d.tag("k", "v"), '{"type":"tag","tag":{"input":',
                         ',"key":{"type":"literal","literal":"k"},"value":{"type":"literal","literal":"v"}}}'),
    "dataset combine": Chain(DATASET, lambda d: Dataset.Combine([d]), '{"type":"combine","combine":{"inputs":[', "]}}"),
    "dataset time shift": Chain(DATASET, lambda d: d.time_shift(Duration.Days(1)),
                                '{"type":"timeShift","timeShift":{"input":', ',"offset":' + DAY + "}}"),
}


@pytest.mark.parametrize("name", CHAINS)
def test_every_chain_builds_and_writes_on_a_small_stack(name):
    chain = CHAINS[name]
    tree = on_thread(lambda: chain.build(300), SMALL_STACK)
    assert on_thread(tree.to_json, SMALL_STACK) == chain.text(300)


@pytest.fixture(scope="module")
def deep():
    """Trees built on the main thread, far deeper than a small stack could take one frame a level."""
    trees = {}
    for name in ("negate", "duration negate", "dataset tag"):
        chain = CHAINS[name]
        depth = chain.start[2] + MAIN_THREAD_DEPTH
        trees[name] = (chain.build(MAIN_THREAD_DEPTH), chain.text(MAIN_THREAD_DEPTH), depth)
    return trees


SPEED = NumericSeries.Reference("speed")
DAYS = Duration.Days(1)

USED_ON_A_SMALL_STACK = {
    "negate": [
        lambda s: s.to_json(), operator.neg, lambda s: s + 1, lambda s: 1 + s, lambda s: SPEED + s,
        lambda s: s - SPEED, lambda s: s ** 2, lambda s: pow(2, s), lambda s: s / SPEED,
        lambda s: s.abs(), lambda s: s.head(1), lambda s: SPEED.atan2(s), lambda s: compute.abs(s),
        lambda s: compute.atan2(SPEED, s), lambda s: compute.mean([SPEED, s]),
        lambda s: NumericSeries.Sum([SPEED, s]),
        lambda s: NumericSeries.RustUdf([s], ""), lambda s: CategoricalSeries.ValueMap(s, []),
        lambda s: s.rolling_points(3),
    ],
    "duration negate": [
        lambda d: d.to_json(), operator.neg, lambda d: d + DAYS, lambda d: DAYS - d,
        lambda d: Dataset.Run("r").time_shift(d), lambda d: GroupByTimestamp.Every(d),
        lambda d: SPEED.to_start_of_interval(d), lambda d: SPEED.rolling_time(d),
    ],
    "dataset tag": [
        lambda d: d.to_json(), lambda d: d.tag("k", "v"), lambda d: Dataset.Combine([Dataset.Run("r"), d]),
        lambda d: NumericSeries.SelectNumeric("v", d), lambda d: d.time_shift(DAYS),
    ],
}


@pytest.mark.parametrize(
    ("name", "call"), [(name, call) for name, calls in USED_ON_A_SMALL_STACK.items() for call in calls])
def test_tree_from_the_main_thread_is_used_on_a_small_stack(deep, name, call):
    tree, expected, _ = deep[name]
    result = on_thread(lambda: call(tree), SMALL_STACK)
    assert expected in (result if isinstance(result, str) else result.to_json())
    assert tree.to_json() == expected


def test_sum_of_ten_thousand_references_on_every_thread():
    zero = '{"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":0.0}}}'
    expected = '{"type":"add","add":{"left":' * 10000 + zero + "".join(
        f',"right":{{"type":"raw","raw":{{"name":"c{i}"}}}}}}}}' for i in range(10000))

    def add_up():
        total = builtins.sum([NumericSeries.Reference(f"c{i}") for i in range(10000)])
        text = total.to_json()
        del total  # freed on this thread
        return text

    assert add_up() == expected
    assert on_thread(add_up, SMALL_STACK) == expected


def test_twelve_thousand_negations_on_a_small_stack():
    def use():
        chain = CHAINS["negate"].build(12000)
        return chain.to_json(), (chain + 1).to_json(), NumericSeries.Max([chain]).to_json()

    chain_text = CHAINS["negate"].text(12000)
    written, added, largest = on_thread(use, SMALL_STACK)
    assert written == chain_text
    assert added == '{"type":"add","add":{"left":' + chain_text + ',"right":' + ONE + "}}"
    assert largest == '{"type":"max","max":{"inputs":[' + chain_text + "]}}"
    assert on_thread(lambda: Duration.Days(1).to_json(), SMALL_STACK) == DAY


def test_very_deep_tree_is_freed_on_a_small_stack():
    # About 8,000 levels across four classes and lists. Every step copies its receiver, so building costs
    # O(depth^2).
    levels = {"duration": 1500, "dataset": 1000, "numeric": 4500}

    def build():
        dataset = Dataset.Run("r").time_shift(CHAINS["duration negate"].build(levels["duration"]))
        for _ in range(levels["dataset"]):
            dataset = Dataset.Combine([dataset.tag("k", "v")])
        series = NumericSeries.SelectNumeric("v", dataset)
        for _ in range(levels["numeric"]):
            series = -series
        return series, series.to_json()

    box = list(on_thread(build, SMALL_STACK))
    tag_prefix, tag_suffix = CHAINS["dataset tag"].prefix, CHAINS["dataset tag"].suffix
    dataset = (('{"type":"combine","combine":{"inputs":[' + tag_prefix) * levels["dataset"]
               + '{"type":"timeShift","timeShift":{"input":' + RUN + ',"offset":'
               + CHAINS["duration negate"].text(levels["duration"]) + "}}"
               + (tag_suffix + "]}}") * levels["dataset"])
    inner = ('{"type":"selectNumeric","selectNumeric":{"name":{"type":"literal","literal":"v"},"dataset":'
             + dataset + "}}")
    assert box.pop() == CHAINS["negate"].text(levels["numeric"], inner)

    def free():
        alone = [object()]
        references = sys.getrefcount(box[0]), sys.getrefcount(alone[0])
        assert references[0] == references[1]  # the box holds the last reference
        box.pop()

    on_thread(free, SMALL_STACK)
    assert not box
