import kinetrope
from builtin_tables import declared_patterns, registry_rows
from formula_table import FORMULA_PATTERNS
from native_symbols import exported_symbols

KEYS = ["name", "description", "period_pips", "dimensions"]


def test_rows_are_the_formula_patterns_then_every_declared_table():
    rows = kinetrope.catalogue()
    assert [(r["name"], r["period_pips"], r["dimensions"]) for r in rows[: len(FORMULA_PATTERNS)]] == FORMULA_PATTERNS
    assert [r["name"] for r in registry_rows()] == [name for _, name in declared_patterns()]
    assert len(rows) == len(FORMULA_PATTERNS) + len(declared_patterns())


def test_formula_rows_carry_their_descriptions():
    rows = kinetrope.catalogue()
    assert rows[0]["description"] == "One-beat vertical bounce"
    assert rows[7]["description"] == "Loam/Motes four-beat accented background drift"
    assert rows[14]["description"] == "Two diddles resolving to an accented fifth motion"


def test_every_row_is_a_dict_of_four_keys_in_order():
    for row in kinetrope.catalogue():
        assert type(row) is dict and list(row) == KEYS
        assert [type(row[k]) for k in KEYS] == [str, str, int, int]
        assert 1 <= row["period_pips"] <= 65535 and row["dimensions"] in (1, 2, 3)


def test_names_are_unique():
    names = [row["name"] for row in kinetrope.catalogue()]
    assert len(set(names)) == len(names)


def test_each_call_builds_fresh_objects():
    first, second = kinetrope.catalogue(), kinetrope.catalogue()
    assert first == second and first is not second
    assert all(a is not b for a, b in zip(first, second))
    count = len(second)
    first[0]["name"] = "changed"
    first.clear()
    assert second[0]["name"] == "bounce" and len(second) == count
    assert len(kinetrope.catalogue()) == count and kinetrope.catalogue()[0]["name"] == "bounce"


def test_native_catalogue_is_the_python_listing(native_program):
    lines = native_program("consumer.cpp", "catalogue\n").splitlines()
    rows = kinetrope.catalogue()
    assert int(lines[0]) == len(rows)
    assert lines[1:] == [f"{r['name']} {r['period_pips']}" for r in rows]


def test_every_table_and_sampler_is_exported_with_the_lookup():
    exported = exported_symbols()
    expected = {"kinetrope::catalogue()", "kinetrope::sample(std::basic_string_view<char, std::char_traits<char> >, int)"}
    for collection, name in declared_patterns():
        expected |= {f"kinetrope_{collection}::table_{name}", f"kinetrope_{collection}::sample_{name}(int)"}
    assert expected <= exported
    assert not {s for s in exported if "registry" in s or "name_index" in s}
