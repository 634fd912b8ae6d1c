"""Dataset: the rid factories, Combine, tag, time_shift."""

import pytest

from veltrix_compute._compute import Dataset, Duration, StringConstant

RUN = '{"type":"run","run":{"rid":{"type":"literal","literal":"r1"}}}'
DAY = '{"type":"days","days":{"days":{"type":"literal","literal":1}}}'


def literal(text):
    return '{"type":"literal","literal":"%s"}' % text


@pytest.fixture
def run():
    return Dataset.Run("r1")


@pytest.mark.parametrize(
    ("make", "json"),
    [
        (lambda r: Dataset.Asset(StringConstant.Reference("a")), '{"type":"asset","asset":{"rid":{"type":"variable","variable":"a"}}}'),
        (lambda r: Dataset.Saved(rid="s"), '{"type":"saved","saved":{"rid":%s}}' % literal("s")),
        (lambda r: Dataset.Combine([]), '{"type":"combine","combine":{}}'),
        (lambda r: Dataset.Combine((r, r)), '{"type":"combine","combine":{"inputs":[%s,%s]}}' % (RUN, RUN)),
        (lambda r: r.tag("unit", StringConstant.Reference("u")),
         '{"type":"tag","tag":{"input":%s,"key":%s,"value":{"type":"variable","variable":"u"}}}' % (RUN, literal("unit"))),
        (lambda r: r.tag(value="v", key="k"), '{"type":"tag","tag":{"input":%s,"key":%s,"value":%s}}' % (RUN, literal("k"), literal("v"))),
        (lambda r: r.time_shift(Duration.Days(1)), '{"type":"timeShift","timeShift":{"input":%s,"offset":%s}}' % (RUN, DAY)),
    ],
)
def test_builds(run, make, json):
    assert make(run).to_json() == json
    assert run.to_json() == RUN


def both_alternatives(argument, refused):
    return (
        f"argument '{argument}': failed to extract enum StringConstantInput ('Wrapped | Native0')\n"
        "- variant Wrapped (Wrapped): TypeError: failed to extract field StringConstantInput::Wrapped.0, "
        f"caused by TypeError: {refused} not an instance of 'StringConstant'\n"
        "- variant Native0 (Native0): TypeError: failed to extract field StringConstantInput::Native0.0, "
        f"caused by TypeError: {refused} not an instance of 'str'"
    )


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda r: Dataset.Asset(None), both_alternatives("rid", "'None' is")),
        (lambda r: Dataset.Asset(5), both_alternatives("rid", "'int' object is")),
        (lambda r: r.tag(5, None), both_alternatives("key", "'int' object is")),
        (lambda r: r.tag("k", r), both_alternatives("value", "'Dataset' object is")),
        (lambda r: Dataset.Combine(r), "argument 'inputs': 'Dataset' object is not an instance of 'Sequence'"),
        (lambda r: Dataset.Combine("r1"), "argument 'inputs': Can't extract `str` to `Vec`"),
        (lambda r: Dataset.Combine([r, "r2"]), "argument 'inputs': 'str' object is not an instance of 'Dataset'"),
        (lambda r: r.time_shift(5), "argument 'offset': 'int' object is not an instance of 'Duration'"),
    ],
)
def test_refusals(run, call, message):
    with pytest.raises(TypeError) as raised:
        call(run)
    assert str(raised.value) == message
    assert run.to_json() == RUN
