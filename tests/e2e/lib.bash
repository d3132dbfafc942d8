# Shared by the whole-program tests: a private copy of brindle.exe on C: of
# the harness's prefix, a signer, and small checks that count and report.
set -u
e2e_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$e2e_repo/tests/harness/wine-env"
TOVKIT=${BRINDLE_TOVKIT:-$e2e_repo/build/native/tools/tovkit/tovkit}
e2e_passed=0
e2e_failed=0

# e2e_setup NAME EXE: fresh folder C:\e2e_NAME holding brindle.exe;
# sets $E2E_DIR (Unix path) and $E2E_WIN (C:\e2e_NAME).
e2e_setup() {
  E2E_WIN="C:\\e2e_$1"
  E2E_DIR="$WINEPREFIX/drive_c/e2e_$1"
  rm -rf "$E2E_DIR"
  mkdir -p "$E2E_DIR"
  cp "$2" "$E2E_DIR/brindle.exe"
}

# brindle ARGS...: runs the copy, with a time limit so that a hang fails.
brindle() {
  timeout 300 "$e2e_repo/tests/harness/wine-run" "$E2E_DIR/brindle.exe" "$@"
}

# sign [OPTIONS] FILE...: signs scripts with tovkit; lint must then read
# each signed script as it read its source, saying only that the signature
# holds (places may move by the tokens and the key's line).
sign() {
  local arg files=() before=()
  for arg in "$@"; do [[ $arg == *.tov ]] && files+=("$arg"); done
  for arg in "${files[@]}"; do before+=("$(lint_findings --unsigned "$arg")"); done
  "$TOVKIT" sign "$@" >/dev/null
  for arg in "${!files[@]}"; do
    check "lint reads the signed $(basename "${files[$arg]}") as its source" test \
      "$(lint_findings "${files[$arg]}")" = "${files[$arg]}: signature holds${before[$arg]:+
${before[$arg]}}"
  done
}
lint_findings() { "$TOVKIT" lint "$@" | sed -E 's/^([^:]*):[0-9]+:[0-9]+:/\1:/'; }

# check DESCRIPTION COMMAND...: one named check.
check() {
  local what=$1
  shift
  if "$@"; then
    e2e_passed=$((e2e_passed + 1))
  else
    e2e_failed=$((e2e_failed + 1))
    echo "FAILED: $what"
  fi
}

# has_line FILE TEXT: the file (CR LF lines) holds a line ending in TEXT.
has_line() { tr -d '\r' <"$1" | grep -qF -- "$2"; }

e2e_done() {
  echo "e2e: $e2e_passed passed, $e2e_failed failed"
  [ "$e2e_failed" -eq 0 ]
}
