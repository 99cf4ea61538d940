#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the Grafana dashboard against what the program and the rules give:
every query names only series that the program exports (the names in its
exposition code) or the rule file records, every panel has a place and an
id of its own, and the variables the queries use exist.

    check-dashboard.py DASHBOARD.json RULES.yml EXPOSITION_SOURCE...
"""
import json
import re
import sys

dashboard_path, rules_path, *sources = sys.argv[1:]
failures = []

exported = set()
for source in sources:
    exported |= set(re.findall(r'"(chanload_[a-z_]+)[" {]', open(source, encoding="utf-8").read()))
recorded = set(re.findall(r"^\s*- record:\s*(\S+)", open(rules_path, encoding="utf-8").read(), re.M))
if "chanload_load_ratio" not in exported:
    failures.append("no metric names found in " + " ".join(sources))

board = json.load(open(dashboard_path, encoding="utf-8"))
variables = {v["name"] for v in board["templating"]["list"]} | {"__rate_interval", "__interval", "__range"}

queries = []
for v in board["templating"]["list"]:
    if v["type"] == "query":
        queries.append(("variable " + v["name"], v["query"]["query"]))
ids = set()
for p in board["panels"]:
    if p["id"] in ids:
        failures.append("panel id %d twice" % p["id"])
    ids.add(p["id"])
    g = p["gridPos"]
    if not (0 <= g["x"] and g["x"] + g["w"] <= 24 and g["h"] > 0):
        failures.append("panel %r outside the 24-column grid" % p["title"])
    if not p.get("targets"):
        failures.append("panel %r has no query" % p["title"])
    for t in p.get("targets", []):
        queries.append(("panel " + p["title"], t["expr"]))

for where, expr in queries:
    for name in re.findall(r"\b((?:[a-z_]+:)?chanload_[a-z_]+(?::[a-z_0-9]+)?)\b", expr):
        if name not in exported and name not in recorded:
            failures.append("%s: %s is neither exported nor recorded" % (where, name))
    for var in re.findall(r"\$\{?(\w+)", expr):
        if var not in variables:
            failures.append("%s: no variable %s" % (where, var))
    if expr.count("(") != expr.count(")") or expr.count("{") != expr.count("}"):
        failures.append("%s: unbalanced brackets in %s" % (where, expr))

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
