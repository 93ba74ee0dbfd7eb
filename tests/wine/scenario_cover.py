# Tovinel Wine tests: which scenarios of the table the Wine runner plays by default. A scenario costs
# Wine about a second, and several where qemu runs Wine's 32-bit programs, while the emulated runner
# (tests/emulated/run_emulated.py) plays the whole table on the same bytes in about a second. So Wine
# plays a cover: scenarios that together meet every Win32 call the launcher makes in the scenarios
# Wine can play, every outcome, every code page, each kind of registry data (none, a key without a
# default value, each type) and each view that holds it, an open window the launcher looks for,
# and an expectation of Wine's own. The calls are those the emulated runner records for each scenario,
# so the cover follows the table and the launcher as they change. TOVINEL_WINE_ALL=1 plays all.
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def outcome(scenario):
    """What the launcher does in the scenario on Windows: starts nothing, the installed application
    (the command is the key's default value) or the setup program."""
    expected = scenario["expect"]
    if expected is None:
        return "nothing started"
    kind, data = scenario["registry"]
    value = data.split(b"\0")[0]
    if kind in ("sz", "expand") and value and expected.startswith(value):
        return "the application started"
    return "setup started"


def features(scenario, calls):
    """What playing `scenario` under Wine shows, given the Win32 calls the launcher makes in it."""
    met = {f"call {name}" for name in calls}
    met.add(f"outcome: {outcome(scenario)}")
    met.add(f"code page {scenario['codepage']}")
    kind = scenario["registry"][0]
    met.add(f"registry: {kind}")
    if kind != "none":
        met.add(f"registry view {scenario['registry_view']}")
    if scenario["windows"] and "FindWindowA" in calls:
        met.add("an open window looked for")
    if scenario["wine"][0] == "differs":
        met.add("an expectation of Wine's own")
    return met


def greedy_cover(feature_sets):
    """Indexes of sets that together hold every feature of all: each time the set that adds the most
    features still missing, the first of equals. Returns [(index, the features it added)] in the
    order chosen."""
    missing = set().union(*feature_sets)
    chosen = []
    while missing:
        best = max(range(len(feature_sets)), key=lambda i: (len(feature_sets[i] & missing), -i))
        chosen.append((best, feature_sets[best] & missing))
        missing -= feature_sets[best]
    return chosen


def emulated_calls(scenarios, exe, ini_library):
    """The Win32 calls the launcher makes in each scenario, as the emulated runner records them."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "emulated"))
    import run_emulated  # noqa: E402  (Unicorn: only when the cover is asked for)
    ini = run_emulated.load_ini_library(ini_library)
    with open(exe, "rb") as image_file:
        image = run_emulated.Image(image_file.read())
    return [run_emulated.play(image, scenario, ini)[2] for scenario in scenarios]


def choose(scenarios, exe, ini_library):
    """The scenarios Wine plays by default, as {index in `scenarios`: the features it was chosen for},
    and the features met only in scenarios that Wine skips."""
    calls = emulated_calls(scenarios, exe, ini_library)
    playable = [i for i, scenario in enumerate(scenarios) if scenario["wine"][0] != "skip"]
    sets = [features(scenarios[i], calls[i]) for i in playable]
    chosen = {playable[i]: added for i, added in greedy_cover(sets)}
    skipped_only = set().union(*(features(s, c) for s, c in zip(scenarios, calls))) - set().union(*sets)
    return chosen, skipped_only
