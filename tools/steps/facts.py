# Tovinel: the report shared by the scripts that check facts of built files.
# A fact is (name, expected, actual), or (name, expected, actual, why) where the values alone would not
# say what went wrong; every failure prints its name and both values, or its name and why, in one line.


def report_facts(facts):
    """Prints each failed fact and a closing 'N passed, N failed' line; returns the exit code."""
    failed = 0
    for name, expected, actual, *why in facts:
        if expected != actual:
            failed += 1
            if why:
                print("FAIL %s: %s" % (name, why[0]))
            else:
                print("FAIL %s\n  expected: %r\n  actual:   %r" % (name, expected, actual))
    print("%d passed, %d failed" % (len(facts) - failed, failed))
    return 1 if failed else 0
