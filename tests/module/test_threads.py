"""The catalogue's first build and sampling from many native threads at once
(the hardening run builds the same program with ThreadSanitizer)."""

import kinetrope

INT32_MIN, INT32_MAX = -2**31, 2**31 - 1


def test_threads_get_one_catalogue_and_the_values_python_sees(native_program):
    lines = native_program("threads.cpp", "").splitlines()
    listing = kinetrope.catalogue()
    assert lines[0] == f"rows {len(listing)}"
    assert len(lines) == len(listing) + 1
    for k, (line, row) in enumerate(zip(lines[1:], listing)):
        name, period, *values = line.split()
        assert (name, int(period)) == (row["name"], row["period_pips"])
        pips = [0, k - 700, INT32_MIN + k, INT32_MAX - k]
        native = [tuple(float.fromhex(v).hex() for v in values[i:i + 3]) for i in range(0, 12, 3)]
        assert native == [tuple(v.hex() for v in kinetrope.sample(name, pip).as_tuple()) for pip in pips]
