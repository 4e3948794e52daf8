"""Repeat rules expanded by our store and by python-dateutil's rrule.

A seeded generator draws a few thousand valid RFC 5545 rules: every FREQ,
INTERVAL, COUNT and UNTIL, each BY part alone and with others, positive and
negative values, WKST, starting in UTC, in zones with summer time, on the
floating clock and on dates. Each is handed to our store through
recurrence_expansion_driver and to dateutil, and the starts both give in a
range are compared as instants. At least 99.5 % must agree, and every rule
where they differ must fall under one of the readings named in READINGS.

    recurrence_peer.py DRIVER
"""

import datetime
import os
import random
import signal
import subprocess
import sys
import zoneinfo

from dateutil import rrule

SEED = 55
RULES = 3000
AGREEMENT = 0.995
# How long dateutil may look for one rule's starts.
DATEUTIL_SECONDS = 0.2
# The zone of the driver's own clock, on which floating times are read.
FLOATING_ZONE = "Europe/Berlin"
ZONES = ["UTC", "Europe/Berlin", "America/New_York", "Australia/Sydney", FLOATING_ZONE + "@floating"]
UTC = datetime.timezone.utc
WEEKDAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]

# Where RFC 5545 reads two ways and the programs that wrote calendar files
# differ, our store keeps libical's reading, and dateutil is handed the
# same reading in explicit parts:
#
# - A yearly rule with BYMONTHDAY and without BYMONTH, BYWEEKNO or
#   BYYEARDAY holds in the month of DTSTART (libical; dateutil reads every
#   month). RFC 5545 §3.3.10: "Information, not contained in the rule,
#   necessary to determine the various recurrence instance start time and
#   dates are derived from the Start Time ("DTSTART") component attribute."
#   dateutil is given BYMONTH=<the month of DTSTART>, and a numbered BYDAY
#   of such a rule counts in that month, as with BYMONTH.
#
# - BYWEEKNO without BYDAY gives every day of the week it names (dateutil,
#   and the table of §3.3.10, where BYWEEKNO expands a yearly rule to
#   weeks; libical has no reading of its own that keeps to the week). No
#   part is added.
#
# Rules where the two still differ, each with the RFC 5545 reading that
# decides for our answer. A difference not named here fails the test.
READINGS = {
    "dateutil-mixed-setpos": "a BYDAY of plain and numbered weekdays with BYSETPOS, which dateutil cannot be "
    "handed in a form it reads right (it lets a day through only when it is both among the plain and among "
    "the numbered weekdays); §3.3.10 makes BYDAY a list, each value naming days of its own",
    "dateutil-january-weeks": "dateutil counts the weeks of the year before wrongly for the first days of "
    "January that belong to its last week (it takes the length of the new year for the old one); §3.3.10: "
    "\"Week number one of the calendar year is the first week that contains at least four (4) days in that "
    "calendar year\", so 2021 has 52 weeks and 1 January 2022 is in its week 52",
    "dateutil-weekno-spill": "dateutil does not look for a day at the end of a year in week 1 of the next "
    "year when the rule names that week by a negative number (its own source marks it TODO); §3.3.10 "
    "numbers weeks from the end of the year as well as from its start, and week 1 of a year is the week "
    "of that year's numbering wherever its days fall",
}


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


class Rule:
    def __init__(self, frequency, start, zone, all_day):
        self.frequency = frequency
        self.start = start
        self.zone = zone
        self.all_day = all_day
        self.parts = {}

    def text(self):
        order = ["FREQ", "INTERVAL", "COUNT", "UNTIL", "BYMONTH", "BYWEEKNO", "BYYEARDAY", "BYMONTHDAY", "BYDAY",
                 "BYHOUR", "BYMINUTE", "BYSECOND", "BYSETPOS", "WKST"]
        parts = ["FREQ=" + self.frequency] + [f"{name}={self.parts[name]}" for name in order[1:] if name in self.parts]
        return ";".join(parts)

    def start_line(self):
        if self.all_day:
            return "DTSTART;VALUE=DATE:" + self.start.strftime("%Y%m%d")
        fields = self.start.strftime("%Y%m%dT%H%M%S")
        if self.zone == "UTC":
            return "DTSTART:" + fields + "Z"
        if self.zone.endswith("@floating"):
            return "DTSTART:" + fields
        return f"DTSTART;TZID={self.zone}:" + fields

    def local_zone(self):
        return zoneinfo.ZoneInfo(self.zone.split("@")[0])


def values(generator, low, high, most, signed):
    count = generator.randint(1, most)
    chosen = set()
    while len(chosen) < count:
        value = generator.randint(low, high)
        if signed and generator.random() < 0.35:
            value = -value
        chosen.add(value)
    return ",".join(str(value) for value in sorted(chosen))


def draw_rule(generator):
    frequency = generator.choices(["YEARLY", "MONTHLY", "WEEKLY", "DAILY", "HOURLY", "MINUTELY", "SECONDLY"],
                                  weights=[24, 22, 18, 18, 8, 6, 4])[0]
    zone = generator.choice(ZONES)
    sub_daily = frequency in ("HOURLY", "MINUTELY", "SECONDLY")
    all_day = not sub_daily and generator.random() < 0.12
    if all_day:
        zone = FLOATING_ZONE + "@floating"
    start = datetime.datetime(generator.randint(2000, 2030), generator.randint(1, 12), generator.randint(1, 28),
                              generator.randint(0, 23), generator.choice([0, 0, 15, 30, 45]),
                              generator.choice([0, 0, 0, 20]))
    if all_day:
        start = start.replace(hour=0, minute=0, second=0)
    rule = Rule(frequency, start, zone, all_day)
    parts = rule.parts
    chance = generator.random
    if chance() < 0.3:
        parts["INTERVAL"] = str(generator.choice([2, 2, 3, 4, 5, 7]))
    if chance() < 0.25:
        parts["WKST"] = generator.choice(WEEKDAYS)
    # Day-level parts, a few at a time: many more and the rule seldom holds.
    allowed = ["BYMONTH", "BYMONTHDAY", "BYDAY", "BYDAY"]
    if frequency == "WEEKLY":
        allowed.remove("BYMONTHDAY")
    if frequency == "YEARLY":
        allowed += ["BYWEEKNO", "BYYEARDAY"]
    if sub_daily:
        allowed += ["BYYEARDAY"]
    chosen = set(generator.sample(allowed, min(len(allowed), generator.choices([0, 1, 2, 3], [25, 45, 25, 5])[0])))
    if "BYMONTH" in chosen:
        parts["BYMONTH"] = values(generator, 1, 12, 4, False)
    if "BYWEEKNO" in chosen:
        parts["BYWEEKNO"] = values(generator, 1, 53, 3, True)
    if "BYYEARDAY" in chosen:
        parts["BYYEARDAY"] = values(generator, 1, 366, 3, True)
    if "BYMONTHDAY" in chosen:
        parts["BYMONTHDAY"] = values(generator, 1, 31, 4, True)
    if "BYDAY" in chosen:
        days = generator.sample(WEEKDAYS, generator.randint(1, 4))
        numbered = frequency == "MONTHLY" or (frequency == "YEARLY" and "BYWEEKNO" not in parts)
        if numbered and chance() < 0.5:
            highest = 4 if frequency == "MONTHLY" or "BYMONTH" in parts else 52
            # Now and then plain and numbered weekdays in one list.
            share = 1.0 if chance() < 0.85 else 0.5
            days = [f"{generator.choice([1, -1]) * generator.randint(1, highest)}{day}" if chance() < share else day
                    for day in days]
        parts["BYDAY"] = ",".join(days)
    if not all_day:
        if chance() < (0.5 if sub_daily else 0.25):
            parts["BYHOUR"] = values(generator, 0, 23, 3, False)
        if chance() < (0.4 if frequency in ("MINUTELY", "SECONDLY") else 0.12):
            parts["BYMINUTE"] = values(generator, 0, 59, 3, False)
        if chance() < (0.4 if frequency == "SECONDLY" else 0.08):
            parts["BYSECOND"] = values(generator, 0, 59, 2, False)
    if chance() < 0.25:
        # Mostly the first and last few, which most sets hold.
        parts["BYSETPOS"] = values(generator, 1, generator.choice([1, 2, 2, 3, 6]), 2, True)
    if frequency == "MINUTELY" and "BYHOUR" not in parts:
        parts["BYHOUR"] = str(generator.randint(0, 23))
    if frequency == "SECONDLY":
        parts.setdefault("BYHOUR", str(generator.randint(0, 23)))
        parts.setdefault("BYMINUTE", values(generator, 0, 59, 2, False))
    ending = chance()
    if ending < 0.3:
        parts["COUNT"] = str(generator.randint(1, 40))
    elif ending < 0.55:
        until = start + span_of(frequency) * generator.uniform(0.1, 0.9)
        if all_day:
            parts["UNTIL"] = until.strftime("%Y%m%d")
        elif zone.endswith("@floating"):
            parts["UNTIL"] = until.strftime("%Y%m%dT%H%M%S")
        else:
            local = until.replace(tzinfo=rule.local_zone())
            parts["UNTIL"] = local.astimezone(UTC).strftime("%Y%m%dT%H%M%SZ")
    return rule


def span_of(frequency):
    days = {"YEARLY": 2200, "MONTHLY": 800, "WEEKLY": 300, "DAILY": 100, "HOURLY": 8, "MINUTELY": 2,
            "SECONDLY": 1}[frequency]
    return datetime.timedelta(days=days)


def instant(naive, rule):
    """Seconds since the epoch of a time on the rule's clock: a time a
    change skips is read with the offset before it, a repeated one as the
    first (fold 0), as RFC 5545 §3.3.5 has it."""
    return int(naive.replace(tzinfo=rule.local_zone(), fold=0).timestamp())


class OutOfTime(Exception):
    pass


def out_of_time(*_):
    raise OutOfTime()


def dateutil_starts(rule, range_start, range_end):
    """dateutil's starts in the range, DTSTART included; NOTHING_FOUND when
    dateutil is still looking for the rule's first instance after a while
    (it looks for a rule that never holds through every year to 9999), None
    when it fails on the rule or is stopped later."""
    try:
        return dateutil_starts_in_time(rule, range_start, range_end)
    except (IndexError, KeyError, OutOfTime):
        return None


NOTHING_FOUND = "nothing found"


def instances_in_time(recurrence, after, high):
    """The instances from `after` through the first past `high`, or None
    when dateutil finds none in its time."""
    found = []
    signal.setitimer(signal.ITIMER_REAL, DATEUTIL_SECONDS)
    try:
        for when in recurrence.xafter(after, inc=True):
            found.append(when)
            if when > high:
                break
    except OutOfTime:
        if not found:
            return None
        raise
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
    return found


def mixes_weekdays(rule):
    days = rule.parts.get("BYDAY", "").split(",")
    return any(day[:-2] for day in days) and any(not day[:-2] for day in days)


def faithful_form(parts, rule):
    """The rule in a form dateutil reads as RFC 5545 does, its instances
    from DTSTART on in order, COUNT left to the caller.

    A BYDAY of plain and numbered weekdays together is the union of a rule
    of each kind (dateutil otherwise wants a day to be in both), when no
    BYSETPOS picks from the whole set. A weekly rule with BYSETPOS starts at
    the beginning of DTSTART's week, its weekday named, so that dateutil
    picks from the whole week (it otherwise forms the first week's set from
    DTSTART on); what it gives before DTSTART is dropped."""
    parts = dict(parts)
    parts.pop("COUNT", None)
    start = rule.start
    if rule.frequency == "WEEKLY" and "BYSETPOS" in parts:
        parts.setdefault("BYDAY", WEEKDAYS[start.weekday()])
        week_start = WEEKDAYS.index(parts.get("WKST", "MO"))
        start -= datetime.timedelta(days=(start.weekday() - week_start) % 7)
    texts = [parts]
    if mixes_weekdays(rule) and "BYSETPOS" not in parts:
        days = parts["BYDAY"].split(",")
        texts = [dict(parts, BYDAY=",".join(day for day in days if day[:-2])),
                 dict(parts, BYDAY=",".join(day for day in days if not day[:-2]))]
    return [rrule.rrulestr(";".join(["FREQ=" + rule.frequency] + [f"{name}={value}" for name, value in each.items()]),
                           dtstart=start, cache=False) for each in texts]


def dateutil_starts_in_time(rule, range_start, range_end):
    parts = dict(rule.parts)
    if (rule.frequency == "YEARLY" and "BYMONTHDAY" in parts and
            not any(name in parts for name in ("BYMONTH", "BYWEEKNO", "BYYEARDAY"))):
        parts["BYMONTH"] = str(rule.start.month)
    if "UNTIL" in parts and parts["UNTIL"].endswith("Z"):
        # dateutil compares UNTIL on the start's own clock.
        until = datetime.datetime.strptime(parts["UNTIL"], "%Y%m%dT%H%M%SZ").replace(tzinfo=UTC)
        parts["UNTIL"] = until.astimezone(rule.local_zone()).replace(tzinfo=None).strftime("%Y%m%dT%H%M%S")
    elif "UNTIL" in parts and rule.all_day:
        parts["UNTIL"] += "T235959"
    starts = {instant(rule.start, rule)}
    # The range is on the rule's clock, with a day each side for offsets.
    low = datetime.datetime.fromtimestamp(range_start, rule.local_zone()).replace(tzinfo=None) - datetime.timedelta(days=1)
    high = datetime.datetime.fromtimestamp(range_end, rule.local_zone()).replace(tzinfo=None) + datetime.timedelta(days=1)
    try:
        recurrence = faithful_form(parts, rule)
    except ValueError:
        # dateutil refuses a rule whose BYHOUR, BYMINUTE or BYSECOND its
        # INTERVAL never reaches: the rule gives nothing.
        return sorted(start for start in starts if in_range(rule, start, range_start, range_end))
    count = int(parts["COUNT"]) if "COUNT" in parts else None
    found = [instances_in_time(each, rule.start if count else max(low, rule.start), high) for each in recurrence]
    if all(each is None for each in found):
        return NOTHING_FOUND
    for when in sorted(set(when for each in found if each for when in each)):
        if when < rule.start:
            continue
        if when > high:
            break
        starts.add(instant(when, rule))
        if count is not None:
            count -= 1
            if count == 0:
                break
    return sorted(start for start in starts if in_range(rule, start, range_start, range_end))


def in_range(rule, start, range_start, range_end):
    """Whether an occurrence that begins at `start` overlaps the range: an
    all-day one lasts its day, a timed one (without DTEND) no time."""
    if rule.all_day:
        day = datetime.datetime.fromtimestamp(start, rule.local_zone()).replace(tzinfo=None)
        return start < range_end and instant(day + datetime.timedelta(days=1), rule) > range_start
    return range_start <= start < range_end


def range_of(generator, rule):
    start = instant(rule.start, rule)
    span = int(span_of(rule.frequency).total_seconds())
    if generator.random() < 0.3:
        # Far into the series, where our store starts late.
        start += generator.randint(span // 4, span // 2)
        return start, start + span // 3
    return start - 86400, start + span


def named_reading(rule, ours, theirs):
    differing = sorted(set(ours) ^ set(theirs))
    first = differing[0]
    day = datetime.datetime.fromtimestamp(first, rule.local_zone())
    if mixes_weekdays(rule) and "BYSETPOS" in rule.parts:
        return "dateutil-mixed-setpos"
    weeks = [value for value in rule.parts.get("BYWEEKNO", "").split(",") if value]
    if weeks and day.month == 1 and day.day <= 7:
        return "dateutil-january-weeks"
    if any(value.startswith("-") for value in weeks) and first in ours and day.month == 12 and day.day >= 25:
        return "dateutil-weekno-spill"
    return None


def main():
    signal.signal(signal.SIGALRM, out_of_time)
    driver = sys.argv[1]
    generator = random.Random(SEED)
    rules = [draw_rule(generator) for _ in range(RULES)]
    ranges = [range_of(generator, rule) for rule in rules]
    lines = "".join(f"{rule.start_line()}\t{rule.text()}\t{low}\t{high}\n" for rule, (low, high) in zip(rules, ranges))
    environment = dict(os.environ, TZ=FLOATING_ZONE)
    answer = subprocess.run([driver], input=lines, capture_output=True, text=True, env=environment, timeout=240)
    if answer.returncode != 0:
        fail(f"the driver ended with {answer.returncode}: {answer.stderr[-2000:]}")
    answers = answer.stdout.splitlines()
    if len(answers) != len(rules):
        fail(f"the driver answered {len(answers)} of {len(rules)} rules")
    agreed = 0
    named = {}
    unnamed = []
    compared = 0
    unanswered = []
    for rule, (low, high), line in zip(rules, ranges, answers):
        theirs = dateutil_starts(rule, low, high)
        if theirs is None:
            unanswered.append(f"{rule.start_line()} RRULE:{rule.text()}: ours {line[:60]}")
            continue
        compared += 1
        if theirs is NOTHING_FOUND:
            # dateutil finds no instance after DTSTART before it is stopped.
            start = instant(rule.start, rule)
            theirs = [start] if in_range(rule, start, low, high) else []
        if line == "set-aside":
            start = instant(rule.start, rule)
            ours = [start]
        elif line == "unreadable":
            ours = None
        else:
            ours = [int(value) for value in line.split()]
        if line == "set-aside" and not in_range(rule, instant(rule.start, rule), low, high):
            ours = []
        if ours == theirs:
            agreed += 1
            continue
        reading = named_reading(rule, ours or [], theirs)
        described = f"{rule.start_line()} RRULE:{rule.text()}: ours {describe(ours, rule)}, dateutil's {describe(theirs, rule)}"
        if reading:
            named.setdefault(reading, []).append(described)
        else:
            unnamed.append(described)
    share = agreed / max(1, compared)
    print(f"{agreed} of {compared} rules agree ({share:.2%}); dateutil gave no answer for {len(unanswered)}")
    for case in unanswered[:10]:
        print("   dateutil unanswered: " + case)
    for reading, cases in named.items():
        print(f"{len(cases)} differ by a named reading: {READINGS[reading]}")
        for case in cases[:3]:
            print("   " + case)
    for case in unnamed[:60]:
        print("UNNAMED " + case)
    if unnamed:
        fail(f"{len(unnamed)} rules differ without a named reading")
    if compared < 0.95 * len(rules):
        fail("dateutil answered too few of the rules to compare")
    if share < AGREEMENT:
        fail(f"only {share:.2%} of the rules agree")


def describe(starts, rule):
    if starts is None:
        return "unreadable"
    shown = [datetime.datetime.fromtimestamp(when, rule.local_zone()).strftime("%Y-%m-%dT%H:%M:%S") for when in starts]
    return f"{len(starts)} [{', '.join(shown[:6])}{', ...' if len(shown) > 6 else ''}]"


if __name__ == "__main__":
    main()
