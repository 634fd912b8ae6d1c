"""CategoricalSeries: Reference and ValueMap."""

import pytest

import veltrix_compute._compute as compute
from veltrix_compute._compute import CategoricalSeries, StringConstant

SPEED = '{"type":"raw","raw":{"name":"speed"}}'


@pytest.mark.parametrize(
    ("call", "expected"),
    [
        (lambda s: CategoricalSeries.Reference("mode"), '{"type":"raw","raw":{"name":"mode"}}'),
        (lambda s: CategoricalSeries.ValueMap(s, []), f'"input":{SPEED}'),
        (lambda s: CategoricalSeries.ValueMap(s, (), None), f'"input":{SPEED}'),
        (lambda s: CategoricalSeries.ValueMap(3, []),
         '"input":{"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":3.0}}}'),
        (lambda s: CategoricalSeries.ValueMap(s, [], default=StringConstant.Reference("d")),
         f'"input":{SPEED},"default":{{"type":"variable","variable":"d"}}'),
    ],
)
def test_factories(speed, call, expected):
    written = call(speed).to_json()
    assert written in (expected, '{"type":"valueMap","valueMap":{' + expected + "}}")
    assert speed.to_json() == SPEED


def test_value_map_keeps_key_and_range_order(speed):
    ranges = [compute.RangeMap("high", 10), compute.RangeMap("low", None, 10), compute.RangeMap("high", 10)]
    written = ",".join(r.to_json() for r in ranges)
    mapped = CategoricalSeries.ValueMap(default="mid", mapping=ranges, input=speed)
    assert mapped.to_json() == ('{"type":"valueMap","valueMap":{"input":' + SPEED + ',"mapping":[' + written
                                + '],"default":{"type":"literal","literal":"mid"}}}')
    assert ",".join(r.to_json() for r in ranges) == written
    with pytest.raises(TypeError) as raised:
        CategoricalSeries.ValueMap(speed, [*ranges, "high"])
    assert str(raised.value) == "argument 'mapping': 'str' object is not an instance of 'RangeMap'"


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda s: CategoricalSeries.Reference(5), "argument 'name': 'int' object is not an instance of 'str'"),
        (lambda s: CategoricalSeries.ValueMap(),
         "CategoricalSeries.ValueMap() missing 2 required positional arguments: 'input' and 'mapping'"),
        # the first failing parameter is the one reported
        (lambda s: CategoricalSeries.ValueMap("x", "y", 5), "argument 'input': failed to extract enum"),
        (lambda s: CategoricalSeries.ValueMap(s, "y", 5), "argument 'mapping': Can't extract `str` to `Vec`"),
        (lambda s: CategoricalSeries.ValueMap(s, [], 5), "argument 'default': failed to extract enum"),
    ],
)
def test_refusals(speed, call, message):
    with pytest.raises(TypeError) as raised:
        call(speed)
    assert str(raised.value).startswith(message)
