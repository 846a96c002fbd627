#!/usr/bin/env bash
# Every option a program's --help (and each of its commands' --help) names
# is documented in its page under
# docs/, and every option documented there exists (the man pages are made
# from --help, so they agree too).
#
# Usage: cli-docs-test.sh PROGRAM DOC [PROGRAM DOC ...]
set -euo pipefail
status=0
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
