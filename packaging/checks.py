"""The one way the package checks report: each check printed as it is made, the failures kept
for the end."""

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)
    return condition
