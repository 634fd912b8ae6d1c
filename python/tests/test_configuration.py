"""NegativeValueConfiguration, UdfSource, GroupByTags, GroupByTimestamp and ConstantNumericSeries."""

import pytest

import veltrix_compute._compute as compute
from veltrix_compute._compute import ConstantNumericSeries, FloatConstant, GroupByTags, GroupByTimestamp, UdfSource
from veltrix_compute._compute import NegativeValueConfiguration as Negative


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (Negative.AllowNegativeValues, '{"type":"allowNegativeValues","allowNegativeValues":{}}'),
        (Negative.SetNegativeValuesToZero, '{"type":"setNegativeValuesToZero","setNegativeValuesToZero":{}}'),
        (Negative.ExcludeNegativeValues, '{"type":"excludeNegativeValues","excludeNegativeValues":{}}'),
        (GroupByTags.Current, '{"type":"current","current":{}}'),
        (GroupByTimestamp.Current, '{"type":"current","current":{}}'),
        (lambda: UdfSource.Rust(source_code=""), '{"type":"rust","rust":{"sourceCode":""}}'),
        (lambda: ConstantNumericSeries.Float(2), '{"type":"double","double":{"type":"literal","literal":2.0}}'),
        (lambda: ConstantNumericSeries.Float(value=FloatConstant.Reference("c")),
         '{"type":"double","double":{"type":"variable","variable":"c"}}'),
        (lambda: GroupByTags.Subset(["site", "asset", "site"]),
         '{"type":"subset","subset":{"tags":[{"type":"literal","literal":"asset"},'
         '{"type":"literal","literal":"site"}]}}'),
        (lambda: GroupByTags.Subset((compute.StringConstant.Reference("v"), "a")),
         '{"type":"subset","subset":{"tags":[{"type":"literal","literal":"a"},{"type":"variable","variable":"v"}]}}'),
        (lambda: GroupByTags.Subset([]), '{"type":"subset","subset":{}}'),
    ],
)
def test_factories(make, expected):
    made = make()
    assert made.to_json() == expected and make() is not made


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: GroupByTags.Subset("site"), "argument 'tags': Can't extract `str` to `Vec`"),
        (lambda: GroupByTags.Subset({"site"}), "argument 'tags': 'set' object is not an instance of 'Sequence'"),
        (lambda: UdfSource.Rust(b"x"), "argument 'source_code': 'bytes' object is not an instance of 'str'"),
        (lambda: ConstantNumericSeries.Float("2"), "argument 'value': failed to extract enum FloatConstantInput"),
        (lambda: GroupByTimestamp.Every("5m"), "argument 'every': 'str' object is not an instance of 'Duration'"),
    ],
)
def test_refusals(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value).startswith(message)


def test_every_holds_the_duration_itself():
    five = compute.Duration.Minutes(5)
    assert GroupByTimestamp.Every(five).to_json() == (
        '{"type":"every","every":{"type":"minutes","minutes":{"minutes":{"type":"literal","literal":5}}}}')
    assert five.to_json() == '{"type":"minutes","minutes":{"minutes":{"type":"literal","literal":5}}}'
