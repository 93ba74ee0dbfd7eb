# Tovinel: the report shared by the scripts that check facts of built files.
# A fact is (name, expected, actual); every failure prints its name and both values.


def report_facts(facts):
    """Prints each failed fact and a closing 'N passed, N failed' line; returns the exit code."""
    failed = 0
    for name, expected, actual in facts:
        if expected != actual:
            failed += 1
            print("FAIL %s\n  expected: %r\n  actual:   %r" % (name, expected, actual))
    print("%d passed, %d failed" % (len(facts) - failed, failed))
    return 1 if failed else 0
