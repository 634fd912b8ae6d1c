"""Duration: the factories and the operators -d, d1 + d2, d1 - d2."""

import operator

import pytest
from conftest import interpreter_message

from veltrix_compute._compute import Duration, IntegerConstant, NumericSeries, StringConstant

DAYS, HOURS = Duration.Days(1), Duration.Hours(2)
DAY = '{"type":"days","days":{"days":{"type":"literal","literal":1}}}'
TWO_HOURS = '{"type":"hours","hours":{"hours":{"type":"literal","literal":2}}}'


def unit(name, count):
    return '{"type":"%s","%s":{"%s":{"type":"literal","literal":%d}}}' % (name, name, name, count)


@pytest.mark.parametrize(
    ("make", "json"),
    [
        (lambda: Duration.Reference("window"), '{"type":"reference","reference":{"name":"window"}}'),
        (lambda: Duration.Nanoseconds(7), unit("nanoseconds", 7)),
        (lambda: Duration.Milliseconds(milliseconds=-3), unit("milliseconds", -3)),
        (lambda: Duration.Seconds(2**31 - 1), unit("seconds", 2**31 - 1)),
        (lambda: Duration.Minutes(-(2**31)), unit("minutes", -(2**31))),
        (lambda: Duration.Hours(IntegerConstant.Reference("h")), '{"type":"hours","hours":{"hours":{"type":"variable","variable":"h"}}}'),
        (lambda: -DAYS, '{"type":"negate","negate":{"input":%s}}' % DAY),
        (lambda: --DAYS, '{"type":"negate","negate":{"input":{"type":"negate","negate":{"input":%s}}}}' % DAY),
        (lambda: DAYS + HOURS, '{"type":"add","add":{"left":%s,"right":%s}}' % (DAY, TWO_HOURS)),
        (lambda: DAYS - HOURS, '{"type":"subtract","subtract":{"left":%s,"right":%s}}' % (DAY, TWO_HOURS)),
        (lambda: DAYS + DAYS, '{"type":"add","add":{"left":%s,"right":%s}}' % (DAY, DAY)),
    ],
)
def test_builds(make, json):
    assert make().to_json() == json
    assert (DAYS.to_json(), HOURS.to_json()) == (DAY, TWO_HOURS)


def stand_in(value):
    """A plain object whose type shows the same name in the interpreter's own operator messages."""
    cls = type(value)
    return type(cls.__name__ if cls.__module__ == "builtins" else f"{cls.__module__}.{cls.__name__}", (), {})()


@pytest.mark.parametrize(
    ("op", "operands"),
    [
        (operator.add, (DAYS, 5)),
        (operator.add, (5, DAYS)),
        (operator.sub, (DAYS, 5)),
        (operator.add, (-5, DAYS)),
        (operator.add, (DAYS, NumericSeries.Reference("s"))),
        (operator.add, (NumericSeries.Reference("s"), DAYS)),
        (operator.sub, (DAYS, IntegerConstant.Literal(1))),
        (operator.mul, (DAYS, 2)),
        (operator.pos, (DAYS,)),
        (operator.abs, (DAYS,)),
    ],
)
def test_other_operands_and_operators_are_left_to_the_interpreter(op, operands):
    with pytest.raises(TypeError) as raised:
        op(*operands)
    assert str(raised.value) == interpreter_message(lambda: op(*map(stand_in, operands)))


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: Duration.Reference(StringConstant.Literal("w")), "argument 'name': 'StringConstant' object is not an instance of 'str'"),
        (lambda: Duration.Seconds(seconds=None), "argument 'seconds': failed to extract enum IntegerConstantInput ('Wrapped | Native0')\n"),
        (lambda: Duration.Hours(1.0), "argument 'hours': failed to extract enum IntegerConstantInput ('Wrapped | Native0')\n"),
    ],
)
def test_refusals(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value).startswith(message)
