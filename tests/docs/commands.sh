#!/usr/bin/env bash
# Every shell block of README.md and docs/*.md marked "```sh runnable" runs,
# in reading order, as a reader would run it: from the root of a scratch copy
# of the checkout holding its dist/ artifacts, with the harness's Wine prefix
# and a home of its own. A block marked "runnable checkout" runs in the
# checkout itself (it only builds into build/ and installs under $HOME).
# Files a block uses that no earlier block made are made first (placeholders
# below). Ends with "docs: N passed, M failed".
set -u
cd "$(dirname "$0")/../.."
repo=$PWD
source tests/harness/wine-env
if [ ! -x dist/tovkit ] || [ ! -f dist/brindle.exe ] || [ ! -f dist/win64/brindle.exe ]; then
  echo "docs: FAILED: dist/ lacks the artifacts of 'make build'"
  echo "docs: 0 passed, 1 failed"
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch" "$WINEPREFIX/drive_c/docs-demo"' EXIT
copy=$scratch/checkout
mkdir -p "$copy" "$scratch/home"
git ls-files -z -co --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"
cp -a dist "$copy/"
export HOME=$scratch/home BRINDLE_WINEPREFIX=$WINEPREFIX BRINDLE_DRIVES=$BRINDLE_DRIVES
tests/harness/wine-prefix boot >/dev/null

# placeholder PATH: makes it in the scratch copy, from what exists by then.
placeholder() {
  local c=$WINEPREFIX/drive_c/docs-demo
  case $1 in
  build/demo/demo.tgz) # the demo's result, from a real run
    rm -rf "$c" && mkdir -p "$c" build/demo
    cp dist/win64/brindle.exe examples/basics.tov "$c/"
    dist/tovkit sign "$c/basics.tov" >/dev/null
    tests/harness/wine-run 'C:\docs-demo\brindle.exe' /silent /case=demo '/outfile=C:\docs-demo\'
    cp "$c/demo.tgz" build/demo/demo.tgz
    ;;
  acme42.tgz.p7m) # what a copy branded --encrypt-to support-cert.pem sends back
    openssl cms -encrypt -binary -outform DER -aes256 -in build/demo/demo.tgz -out "$1" support-cert.pem
    ;;
  examples/fleet/results/) # one plain and one encrypted result
    mkdir -p "$1" && cp build/demo/demo.tgz "$1/pc-0101.tgz" && cp acme42.tgz.p7m "$1/pc-0102.tgz.p7m"
    ;;
  esac
}
placeholders=(build/demo/demo.tgz acme42.tgz.p7m examples/fleet/results/)

passed=0 failed=0
for doc in README.md docs/*.md; do
  # Each block as "LINE WHERE" then its text, blocks separated by a NUL.
  while IFS= read -r -d '' block; do
    read -r line where <<<"${block%%$'\n'*}"
    body=${block#*$'\n'}
    dir=$copy
    [ "$where" = checkout ] && dir=$repo
    for p in "${placeholders[@]}"; do
      if [[ $body == *"$p"* ]] && [ ! -e "$copy/$p" ]; then
        (cd "$copy" && placeholder "$p") >>"$scratch/placeholders.log" 2>&1
      fi
    done
    if (cd "$dir" && bash -e -o pipefail -c "$body") >"$scratch/out" 2>&1; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "docs: FAILED: the block at $doc:$line"
      sed 's/^/  | /' "$scratch/out" | tail -n 15
      [ -s "$scratch/placeholders.log" ] && sed 's/^/  placeholders: /' "$scratch/placeholders.log" | tail -n 5
    fi
  done < <(awk '/^```sh runnable/ { block = 1; text = NR " " $3 "\n"; next }
                block && /^```/ { block = 0; printf "%s%c", text, 0; next }
                block { text = text $0 "\n" }' "$doc")
done
echo "docs: $passed passed, $failed failed"
[ "$failed" = 0 ]
