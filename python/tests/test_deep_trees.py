"""Deep expression trees never overflow the C stack, on any thread: copying or writing a tree too deep for
the calling thread's stack raises RecursionError, and freeing needs no deep stack at all."""

import operator
import sys
import threading

import pytest

import veltrix_compute._compute as compute
from veltrix_compute._compute import CategoricalSeries, Dataset, Duration, GroupByTimestamp, NumericSeries

SMALL_STACK = 256 * 1024
# Stacks grow and shrink with the interpreter's own frames, so depths are kept far from the limits.
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


def assert_too_deep(error):
    assert type(error) is RecursionError
    assert "too deep" in str(error)


def build_until_refused(chain):
    """Deepens a tree until the thread's stack refuses; every step before either succeeds or raises
    RecursionError, never crashes."""
    tree, steps = chain.start[0](), 0
    while True:
        try:
            deeper = chain.step(tree)
        except RecursionError as error:
            assert_too_deep(error)
            break
        tree, steps = deeper, steps + 1
    try:
        written = tree.to_json()
    except RecursionError as error:
        assert_too_deep(error)
        written = None
    return tree, steps, written


@pytest.mark.parametrize("stack_size", [SMALL_STACK, 1024 * 1024])
@pytest.mark.parametrize("name", CHAINS)
def test_building_deeper_ends_in_recursion_error(name, stack_size):
    chain = CHAINS[name]
    tree, steps, written = on_thread(lambda: build_until_refused(chain), stack_size)
    expected = chain.text(steps)
    # The guard is not so cautious that shallow trees are refused.
    assert steps >= 40 * stack_size // SMALL_STACK
    assert written in (None, expected)
    # Refused on its thread, the deepest tree is unchanged and still writes its JSON here.
    assert tree.to_json() == expected


@pytest.fixture(scope="module")
def deep():
    """Trees built on the main thread, too deep for a small stack."""
    trees = {}
    for name in ("negate", "duration negate", "dataset tag"):
        chain = CHAINS[name]
        depth = chain.start[2] + MAIN_THREAD_DEPTH
        trees[name] = (chain.build(MAIN_THREAD_DEPTH), chain.text(MAIN_THREAD_DEPTH), depth)
    return trees


SPEED = NumericSeries.Reference("speed")
DAYS = Duration.Days(1)

REFUSED_ON_A_SMALL_STACK = {
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
    ("name", "call"), [(name, call) for name, calls in REFUSED_ON_A_SMALL_STACK.items() for call in calls])
def test_tree_from_the_main_thread_is_refused_on_a_small_stack(deep, name, call):
    tree, expected, depth = deep[name]
    with pytest.raises(RecursionError) as raised:
        on_thread(lambda: call(tree), SMALL_STACK)
    # Operators too: NotImplemented would hide this behind the interpreter's TypeError.
    assert_too_deep(raised.value)
    assert str(raised.value).startswith(f"expression tree of depth {depth} ")
    assert tree.to_json() == expected
    call(tree)  # the main thread's stack is large enough


def test_very_deep_tree_is_freed_on_a_small_stack():
    # About 8,000 levels across four classes and lists, twice what a free that recursed once per level could
    # take on the small stack. Every step copies its receiver, so building costs O(depth^2).
    levels = {"duration": 1500, "dataset": 1000, "numeric": 4500}

    def build():
        dataset = Dataset.Run("r").time_shift(CHAINS["duration negate"].build(levels["duration"]))
        for _ in range(levels["dataset"]):
            dataset = Dataset.Combine([dataset.tag("k", "v")])
        series = NumericSeries.SelectNumeric("v", dataset)
        for _ in range(levels["numeric"]):
            series = -series
        return series, series.to_json()

    box = list(on_thread(build, 64 * 1024 * 1024))
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
