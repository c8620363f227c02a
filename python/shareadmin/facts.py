# SPDX-License-Identifier: Apache-2.0
"""What the package shares with the command-line tools: the server's statuses, the limits and
words of every value, and the server options. They come from ``facts.json``, which the build
generates from the tools' own tables and installs inside the package, so they cannot drift."""

from __future__ import annotations

import json
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Optional, Union

PATH = Path(__file__).with_name("facts.json")
SCHEMA_VERSION = 1


class FactsMissing(ImportError):
    """The package's facts file is missing or unreadable: the package is incomplete."""


@dataclass(frozen=True)
class ValueRule:
    """What a value accepts (``kind`` number, keyword, text, ...); ``accepted`` says it in
    words, as the tools do."""

    name: str
    kind: str
    min: int
    max: int
    words: tuple[str, ...]
    accepted: str


@dataclass(frozen=True)
class Option:
    """A single-value server option: its stored kind (u8, i32, text, field) and the keywords
    that stand for values, in the tools' order."""

    name: str
    kind: str
    keywords: tuple[tuple[str, int], ...]
    default: Union[int, str]
    help: str

    def keyword_for(self, value: int) -> Optional[str]:
        """The first keyword standing for a number, or None."""
        return next((w for w, v in self.keywords if v == value), None)


@dataclass(frozen=True)
class Facts:
    statuses: dict[int, tuple[str, str]]
    rules: dict[str, ValueRule]
    options: dict[str, Option]


def _parse(raw: Any) -> Facts:
    statuses = {int(s["code"]): (str(s["name"]), str(s["text"])) for s in raw["statuses"]}
    rules = {name: ValueRule(name, str(r["kind"]), int(r["min"]), int(r["max"]),
                             tuple(str(w) for w in r["words"]), str(r["accepted"]))
             for name, r in raw["value_rules"].items()}
    options = {name: Option(name, str(o["kind"]),
                            tuple((str(k["word"]), int(k["value"])) for k in o["keywords"]),
                            o["default"], str(o["help"]))
               for name, o in raw["options"].items()}
    return Facts(statuses, rules, options)


def load(path: Path = PATH) -> Facts:
    """The facts of a file; FactsMissing when it is absent, unreadable or of another schema."""
    try:
        raw = json.loads(path.read_text(encoding="utf-8"))
    except FileNotFoundError:
        raise FactsMissing(f"shareadmin: {path} is missing; the package is incomplete "
                           f"(the build copies it from facts/facts.json): rebuild or "
                           f"reinstall it") from None
    except (OSError, ValueError) as e:
        raise FactsMissing(f"shareadmin: {path} cannot be read: {e}") from e
    if not isinstance(raw, dict) or raw.get("schema_version") != SCHEMA_VERSION:
        raise FactsMissing(f"shareadmin: {path} is not a facts file of schema version "
                           f"{SCHEMA_VERSION}")
    try:
        return _parse(raw)
    except (KeyError, TypeError, ValueError, AttributeError) as e:
        raise FactsMissing(f"shareadmin: {path} is malformed: {e!r}") from e


FACTS = load()


def number(rule: str, what: str, value: object) -> int:
    """An integer argument within a value rule's range, as the tools accept it (TypeError,
    ValueError before anything is sent)."""
    r = FACTS.rules[rule]
    if not isinstance(value, int) or isinstance(value, bool):
        raise TypeError(f"{what} must be int, not {type(value).__name__}")
    if not r.min <= value <= r.max:
        raise ValueError(f"{what} must be {r.accepted}, not {value}")
    return value
