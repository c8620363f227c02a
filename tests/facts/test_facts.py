# SPDX-License-Identifier: Apache-2.0
# What the schemas and the administration guide say about values and statuses, held to
# facts.json (written by the build from the tools' own tables): a limit or a status line that
# drifts fails here.
import json
import os
import re
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("SHARE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
FACTS = json.loads(Path(os.environ["SHARE_FACTS"]).read_text())
RULES = FACTS["value_rules"]


def schema_node(file, pointer):
    node = json.loads((SOURCE / "schema" / file).read_text())
    for token in pointer.strip("/").split("/"):
        node = node[int(token)] if isinstance(node, list) else node[token]
    return node


def number_limits(rule):
    return {"minimum": rule["min"], "maximum": rule["max"]}


def text_limits(rule, less=0):
    # a rule of no byte limit leaves maxLength out
    limits = {"minLength": 1 if rule["non_empty"] else None,
              "maxLength": rule["max_bytes"] - less if rule["max_bytes"] else None}
    return limits


CONFIG = "config.schema.json"
SHARE = "$defs/share/properties"
OPTIONS = "$defs/options/properties"
# (schema, pointer, the limits it must carry from facts.json)
LIMITS = [
    (CONFIG, f"{SHARE}/name", lambda: text_limits(RULES["share-name"])),
    (CONFIG, f"{SHARE}/comment", lambda: text_limits(RULES["comment"])),
    # the path and "VOLUME:" together: the shortest volume and its colon take 2 bytes
    (CONFIG, f"{SHARE}/path", lambda: {"maxLength": RULES["location"]["max_bytes"] - 2}),
    (CONFIG, f"{SHARE}/max_users", lambda: number_limits(RULES["max-users"])),
    (CONFIG, "properties/invalid_users/properties/timeout_minutes",
     lambda: number_limits(RULES["invalid-user-timeout"])),
    (CONFIG, "properties/invalid_users/properties/permanent/items",
     lambda: text_limits(RULES["user-name"])),
    (CONFIG, "properties/user_contexts/items", lambda: text_limits(RULES["user-context"])),
    *[(CONFIG, f"{OPTIONS}/cache/properties/{kind.lower()}",
       lambda: number_limits(RULES["cache"])) for kind in ("SDIRCACHE", "DIRCACHE", "FILECACHE")],
    (CONFIG, f"{OPTIONS}/dfs-referral-cache-duration", lambda: number_limits(RULES["dfs-minutes"])),
    (CONFIG, f"{OPTIONS}/share-volumes-by-default/propertyNames",
     lambda: text_limits(RULES["server-name"])),
    (CONFIG, f"{OPTIONS}/virtual-server/items/allOf/1/properties/name",
     lambda: {"maxLength": RULES["virtual-server-name"]["max_bytes"]}),
    (CONFIG, f"{OPTIONS}/dns-entry/items/allOf/1/properties/name",
     lambda: {"maxLength": RULES["dns-entry-name"]["max_bytes"]}),
    (CONFIG, "$defs/member/properties/name",
     lambda: {"minLength": 1 if RULES["dns-entry-name"]["non_empty"] else None}),
    (CONFIG, f"{OPTIONS}/multichannel-interface/items", lambda: text_limits(RULES["interface"])),
    ("common.schema.json", "$defs/connection_id", lambda: number_limits(RULES["connection-id"])),
    # an error document never says "done"
    ("common.schema.json", "$defs/error/properties/exit_status",
     lambda: {"minimum": min(e["code"] for e in FACTS["exit_statuses"] if e["code"] != 0),
              "maximum": max(e["code"] for e in FACTS["exit_statuses"])}),
]


@pytest.mark.parametrize("file,pointer,expected", LIMITS, ids=lambda v: v if isinstance(v, str) else "")
def test_schema_limit_agrees_with_the_value_rule(file, pointer, expected):
    node = schema_node(file, pointer)
    assert {key: node.get(key) for key in expected()} == expected()


def test_the_cache_kinds_are_the_rules_words():
    kinds = schema_node(CONFIG, f"{OPTIONS}/cache/properties")
    assert sorted(kinds) == sorted(w.lower() for w in RULES["cache"]["words"])
    assert sorted(kinds) == sorted(FACTS["settings"]["cache"]["keys"])


def test_config_takes_every_server_option_and_no_other():
    names = set(schema_node(CONFIG, OPTIONS))
    assert names == set(FACTS["options"]) | set(FACTS["settings"])
    for name, setting in FACTS["settings"].items():
        for rule in (setting["value_rule"], setting["key_rule"]):
            assert rule is None or rule in RULES, name


def test_every_option_with_a_rule_names_its_own():
    for name, option in FACTS["options"].items():
        assert option["rule"] in (name, None)
        if option["rule"]:
            assert option["rule"] in RULES


def documented_statuses():
    text = (SOURCE / "doc" / "administration.md").read_text()
    table = text.split("| Status | Name | Meaning |\n|---|---|---|\n", 1)[1].split("\n\n", 1)[0]
    rows = []
    for line in table.splitlines():
        match = re.fullmatch(r"\| (\d+) \| ([a-z-]+) \| (.+) \|", line)
        assert match, f"status row not understood: {line!r}"
        rows.append({"code": int(match[1]), "name": match[2], "text": match[3]})
    return rows


def test_documented_status_table_is_the_servers_word_for_word():
    assert documented_statuses() == FACTS["statuses"]
