#!/usr/bin/env bash
# Arguments: extracteur-cli, the folder of the generated pages and completions, the source folder.
set -uo pipefail
cli=$(realpath "$1") documentation=$(realpath "$2") source=$(realpath "$3")
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The page as man shows it, in plain text; groff's warnings go to standard error.
render() { groff -Kutf8 -man -Tutf8 -P-cbou -rLL=300n -ww "$@"; }

# What bash's completion function offers for a command line; the cursor is at its end.
complete_bash() {
    local completion=$1 line=$2
    (
        cd "$work/tree" || exit 1
        # shellcheck disable=SC1091
        source /usr/share/bash-completion/bash_completion
        # shellcheck disable=SC1090
        source "$completion"
        COMP_LINE=$line
        COMP_POINT=${#line}
        read -r -a COMP_WORDS <<<"$line"
        [[ $line == *' ' ]] && COMP_WORDS+=('')
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _extracteur_cli extracteur-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort
    )
}

mkdir -p "$work/tree/dossier"
touch "$work/tree/liste.txt"
bash_completion=$documentation/bash/extracteur-cli

# Each case: the command line, then the words offered, in order.
while IFS='|' read -r line expected; do
    offered=$(complete_bash "$bash_completion" "$line" | tr '\n' ' ')
    [ "$offered" = "$expected" ] || fail "bash on \"$line\" offers \"$offered\", not \"$expected\""
done <<'CASES'
extracteur-cli --enc|--encoding 
extracteur-cli --encoding |cp1252 utf16be utf16le utf8 
extracteur-cli --encoding utf1|utf16be utf16le 
extracteur-cli -o |dossier liste.txt 
extracteur-cli --files-from l|liste.txt 
extracteur-cli |dossier liste.txt 
extracteur-cli -u d|dossier 
extracteur-cli --jobs |
CASES
# The values the help announces for the other options that take a list, if it has them.
for option in --input-encoding --format; do
    values=$("$cli" --help | sed -n "s/^ *\(-., \)\?$option \([^ ]*|[^ ]*\).*/\2/p" | tr '|' '\n' | sort | tr '\n' ' ')
    [ -z "$values" ] && continue
    offered=$(complete_bash "$bash_completion" "extracteur-cli $option " | tr '\n' ' ')
    [ "$offered" = "$values" ] || fail "bash after $option offers \"$offered\", not \"$values\""
done

# Every option of --help is offered by bash and described in the page.
options=$("$cli" --help | grep -oE '^  (-[[:alnum:]], |    )--[[:alnum:]-]+' | grep -oE -- '--[[:alnum:]-]+$')
[ -n "$options" ] || fail "no option found in --help"
offered=$(complete_bash "$bash_completion" "extracteur-cli -" | tr '\n' ' ')
page=$(render "$documentation/extracteur-cli.1" 2>"$work/groff.log")
[ -s "$work/groff.log" ] && fail "groff warns on extracteur-cli.1: $(cat "$work/groff.log")"
options_section=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$page")
for option in $options; do
    [[ " $offered " == *" $option "* ]] || fail "bash does not offer $option"
    grep -qE -- "^ +(-[[:alnum:]], )?$option( |$)" <<<"$options_section" || fail "the page's OPTIONS lack $option"
done
for section in NOM SYNOPSIS DESCRIPTION OPTIONS 'CODES DE SORTIE' FICHIERS EXEMPLES; do
    grep -qx "$section" <<<"$page" || fail "extracteur-cli.1 has no section $section"
    render "$documentation/extracteur.1" 2>/dev/null | grep -qx "$section" ||
        fail "extracteur.1 has no section $section"
done
render -z "$documentation/extracteur.1" 2>"$work/groff.log"
[ -s "$work/groff.log" ] && fail "groff warns on extracteur.1: $(cat "$work/groff.log")"
for page in extracteur extracteur-cli; do
    cmp -s <(gzip -dc "$documentation/$page.1.gz") "$documentation/$page.1" ||
        fail "$page.1.gz is not the page"
done

# The other shells read their files without a syntax error.
if command -v zsh >/dev/null; then
    zsh -n "$documentation/zsh/_extracteur-cli" 2>"$work/zsh.log" || fail "zsh: $(cat "$work/zsh.log")"
fi
if command -v fish >/dev/null; then
    fish --no-execute "$documentation/fish/extracteur-cli.fish" 2>"$work/fish.log" ||
        fail "fish: $(cat "$work/fish.log")"
    grep -qE -- "-l encoding -x -a 'cp1252 utf8 utf16le utf16be'" "$documentation/fish/extracteur-cli.fish" ||
        fail "fish does not offer the values of --encoding"
fi

# A help text with an option and a section the generators have never seen passes through.
cat >"$work/help.txt" <<'HELP'
Usage : extracteur-cli [OPTIONS] [FICHIER] ...

Une description.

Options :
  -u, --unique        garder la première occurrence
      --nouveau-mode rapide|lent
                      une option venue plus tard ; sa description
                      tient sur deux lignes
      --version       afficher la version

Remarques : une section nouvelle.

Exemples :
  extracteur-cli --nouveau-mode rapide a.txt
HELP
"$source/scripts/help-to-man" 9.9 "Aucun." <"$work/help.txt" >"$work/new.1" || fail "help-to-man on a new help"
new_page=$(render "$work/new.1" 2>&1)
grep -q 'une option venue plus tard ; sa description tient sur deux lignes' <<<"$new_page" ||
    fail "the new option's description is not in the page: $new_page"
grep -qE '^ +--nouveau-mode rapide\|lent$' <<<"$new_page" || fail "the new option is not in the page"
grep -q '^Remarques' <<<"$new_page" || fail "the new section is not in the page"
grep -q 'une section nouvelle' <<<"$new_page" || fail "the new section's text is not in the page"
"$source/scripts/help-to-completion" bash <"$work/help.txt" >"$work/new.bash" || fail "help-to-completion"
offered=$(complete_bash "$work/new.bash" "extracteur-cli --nouveau-mode " | tr '\n' ' ')
[ "$offered" = "lent rapide " ] || fail "the new option's values: \"$offered\""

[ "$failures" -eq 0 ] || exit 1
echo "manual pages and completions: all checks passed"
