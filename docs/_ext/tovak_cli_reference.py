"""The command reference, generated from the commands' own argument parsers.

``.. tovak-command::`` (no argument) documents the ``tovak`` command itself
and lists its commands; ``.. tovak-command:: NAME`` documents one command:
its usage line and description as ``tovak NAME --help`` prints them, then
each argument as an option (``:option:`tovak NAME --flag``` links to it),
with its help text and its choices.
"""

from __future__ import annotations

import argparse
import re
from typing import Any

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective
from sphinx.util.nodes import nested_parse_with_titles

from tovak.cli.app import build_parser


def escaped(text: str) -> str:
    """Plain text as reStructuredText that shows it unchanged."""
    return re.sub(r"([\\`*|_\[\]])", r"\\\1", text)


def usage(parser: argparse.ArgumentParser) -> str:
    return parser.format_usage().removeprefix("usage: ").strip()


def metavar(action: argparse.Action) -> str:
    """The argument's placeholder as the usage line shows it."""
    if isinstance(action.metavar, str):
        return action.metavar
    if action.choices is not None:
        return "{" + ",".join(str(choice) for choice in action.choices) + "}"
    return action.dest if not action.option_strings else action.dest.upper()


def option_name(action: argparse.Action) -> str:
    if not action.option_strings:
        return metavar(action)
    if action.nargs == 0:
        return ", ".join(action.option_strings)
    return ", ".join(f"{option} {metavar(action)}" for option in action.option_strings)


def help_text(parser: argparse.ArgumentParser, action: argparse.Action) -> str:
    if not action.help or action.help == argparse.SUPPRESS:
        return ""
    return parser._get_formatter()._expand_help(action)  # the text --help prints


class TovakCommand(SphinxDirective):
    optional_arguments = 1
    has_content = False

    def run(self) -> list[nodes.Node]:
        top = build_parser()
        name = self.arguments[0] if self.arguments else None
        lines = self.command_lines(top) if name is None else self.subcommand_lines(top, name)
        container = nodes.section()
        nested_parse_with_titles(self.state, StringList(lines, source="tovak.cli"), container)
        return container.children

    def command_lines(self, parser: argparse.ArgumentParser) -> list[str]:
        lines = [".. program:: tovak", "", "::", "", "   " + usage(parser), ""]
        lines += self.description(parser)
        lines += self.arguments_lines(parser, skip_subcommands=True)
        lines += ["Commands:", ""]
        for choice in self.subcommand_actions(parser):
            lines.append(f"- :ref:`tovak {choice.dest} <tovak-{choice.dest}>`: {escaped(choice.help or '')}")
        return lines + [""]

    def subcommand_lines(self, top: argparse.ArgumentParser, name: str) -> list[str]:
        commands = getattr(top, "commands", {})
        if name not in commands:
            raise self.error(f"tovak has no command {name!r} (it has {', '.join(commands)})")
        parser = commands[name]
        lines = [f".. program:: tovak {name}", "", "::", "", "   " + usage(parser), ""]
        return lines + self.description(parser) + self.arguments_lines(parser)

    def subcommand_actions(self, parser: argparse.ArgumentParser) -> list[Any]:
        for action in parser._actions:
            if isinstance(action, argparse._SubParsersAction):
                return list(action._choices_actions)
        return []

    def description(self, parser: argparse.ArgumentParser) -> list[str]:
        if not parser.description:
            return []
        # Shown as the help prints it: the descriptions are laid out by hand.
        return ["::", ""] + ["   " + line for line in parser.description.rstrip().splitlines()] + [""]

    def arguments_lines(self, parser: argparse.ArgumentParser, skip_subcommands: bool = False) -> list[str]:
        lines: list[str] = []
        for action in parser._actions:
            if isinstance(action, (argparse._HelpAction, argparse._SubParsersAction)):
                continue
            lines += [f".. option:: {option_name(action)}", ""]
            text = help_text(parser, action)
            if text:
                lines += ["   " + escaped(text), ""]
            if action.choices is not None and not isinstance(action.choices, dict):
                choices = ", ".join(f"``{choice}``" for choice in action.choices)
                lines += [f"   One of {choices}.", ""]
        lines += [".. option:: -h, --help", "", "   Show the help of this command and exit.", ""]
        return lines


def setup(app: Sphinx) -> dict[str, Any]:
    app.add_directive("tovak-command", TovakCommand)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
