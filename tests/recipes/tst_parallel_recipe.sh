#!/usr/bin/env bash
# One mbox cut into pieces at message starts and read by several processes gives, once merged
# and deduplicated, the addresses one process finds. Argument: extracteur-cli.
set -uo pipefail
cli=$1
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }
parallel --version 2>/dev/null | grep -q 'GNU parallel' || { echo "parallel is not GNU parallel"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mbox=$work/boite.mbox

# Messages of different sizes, addresses in headers and bodies, some repeated with another case,
# an address at the very end of a message, and bodies quoting "From " as mbox does (">From ").
awk 'BEGIN {
    for (m = 1; m <= 1200; m++) {
        printf "From expediteur%d@exemple.fr Thu Dec 10 00:00:00 2026\n", m % 97
        printf "From: Personne %d <personne%d@exemple.fr>\n", m, m % 500
        printf "To: \"Dupont, Jean\" <Jean.Dupont%d@Labo.org>, marie@univ-paris.fr\n", m % 40
        printf "Subject: message %d\n\n", m
        for (l = 0; l < m % 13; l++)
            printf "ligne %d du message %d, contact%d@entreprise.eu et texte\n", l, m, (m * l) % 700
        printf ">From quelqu.un%d@exemple.fr dans le texte\n", m % 30
        printf "fin%d@exemple.fr\n\n", m % 250
    }
}' >"$mbox"

"$cli" -q -u "$mbox" | sort -u >"$work/one.txt"
[ -s "$work/one.txt" ] || { echo "FAIL: one process found nothing"; exit 1; }
failures=0
for block in 16k 100k; do
    parallel --pipepart -a "$mbox" --block "$block" --recstart 'From ' --recend '\n' -k "$cli" -q -u \
        | sort -u >"$work/pieces.txt"
    if ! cmp -s "$work/one.txt" "$work/pieces.txt"; then
        echo "FAIL: with --block $block the pieces differ from one process:"
        diff "$work/one.txt" "$work/pieces.txt" | head
        failures=$((failures + 1))
    fi
done
# Alone, --recstart also cuts inside a line (">From " in a body): the recipe needs --recend.
# Without --recstart a block may cut a message, and a line, in two: the recipe needs it.
parallel --pipepart -a "$mbox" --block 16k --recend '' "$cli" -q -u | sort -u >"$work/cut.txt"
cmp -s "$work/one.txt" "$work/cut.txt" && { echo "FAIL: cutting anywhere changed nothing, the test shows nothing"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] || exit 1
echo "the parallel recipe finds what one process finds: $(wc -l <"$work/one.txt") addresses"
