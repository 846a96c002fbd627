#!/usr/bin/env bash
# Every option a program's --help (and each of its commands' --help) names
# is documented in its page under
# docs/, and every option documented there exists (the man pages are made
# from --help, so they agree too). With --operations, the table of REST
# operations in the docs is the one in the code, row for row.
#
# Usage: cli-docs-test.sh [--operations TABLE.cpp DOC] PROGRAM DOC [PROGRAM DOC ...]
set -euo pipefail
status=0
if [ "${1:-}" = --operations ]; then
  table="$2" doc="$3"
  shift 3
  # "name method path former" per row, from the initialisers and from the doc's table.
  from_code="$(tr '\n' ' ' < "$table" |
    grep -oE '"[a-z_]+", *"(GET|POST|DELETE)", *"[^"]*", *"[a-z_]+"' | tr -d '",' | tr -s ' ')"
  from_doc="$(grep -E '^\| `[a-z_]+` \| `(GET|POST|DELETE)`' "$doc" | tr -d '`|' | tr -s ' ' |
    sed 's/^ //; s/ $//')"
  if [ -z "$from_code" ] || [ "$from_code" != "$from_doc" ]; then
    echo "kit_cli_docs: the REST operations of $table and $doc disagree (< code, > doc):" >&2
    diff <(echo "$from_code") <(echo "$from_doc") >&2 || true
    status=1
  fi
fi
options() { grep -o -- '--[a-z][a-z-]*' | LC_ALL=C sort -u; }
while [ $# -ge 2 ]; do
  program="$1" doc="$2"
  shift 2
  # A program with sub-commands lists them under "Commands:"; each has its
  # own --help.
  commands="$("$program" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')"
  from_help="$({ "$program" --help; for command in $commands; do "$program" "$command" --help; done; } | options)"
  from_doc="$(grep '^| `--' "$doc" | cut -d'|' -f2 | options)"
  if [ "$from_help" != "$from_doc" ]; then
    echo "kit_cli_docs: $(basename "$program") --help and $doc disagree (< --help, > doc):" >&2
    diff <(echo "$from_help") <(echo "$from_doc") >&2 || true
    status=1
  fi
done
exit $status
