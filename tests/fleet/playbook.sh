#!/usr/bin/env bash
# The fleet playbook as Ansible reads it (--syntax-check, every module name
# resolved), then its logic run against stand-in hosts: ansible.windows
# modules that work on a folder standing for drive C:, and a brindle.exe
# that writes what its case name says. Ends with "fleet: N passed, M failed";
# exit 77 when ansible-playbook is not installed.
set -u
cd "$(dirname "$0")/../.."
if ! command -v ansible-playbook >/dev/null; then
  echo "fleet: SKIPPED — ansible-playbook is not installed (Debian package 'ansible'; 'make deps')"
  exit 77
fi
passed=0 failed=0
check() {
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)) && echo "fleet: FAILED: $what"; fi
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A private home: no user configuration or cache comes into it.
export HOME=$scratch ANSIBLE_LOCAL_TEMP=$scratch/tmp ANSIBLE_NOCOLOR=1
check "collect.yml passes ansible-playbook --syntax-check" ansible-playbook --syntax-check \
  -i examples/fleet/inventory.ini examples/fleet/collect.yml >"$scratch/syntax.log" 2>&1 ||
  cat "$scratch/syntax.log"

play=$scratch/play
mkdir -p "$play/files" "$scratch/C/Windows/Temp"
cp examples/fleet/collect.yml examples/fleet/private-folder.ps1 "$play/"
# plain: .tgz, exit 0; sealed: .tgz.p7m (an --encrypt-to copy), exit 4;
# broken: no result, exit 1; stuck: a result the controller cannot take.
cat >"$play/files/brindle.exe" <<'PY'
#!/usr/bin/env python3
import sys
opt = dict(a[1:].split('=', 1) for a in sys.argv[1:] if '=' in a)
kind, code = opt['case'].split('-')
if kind != 'broken':
    open(opt['outfile'] + opt['case'] + ('.tgz.p7m' if kind == 'sealed' else '.tgz'), 'w').write(kind)
sys.exit(int(code))
PY
chmod +x "$play/files/brindle.exe"
echo '<Check/>' >"$play/files/check.tov"
mkdir -p "$play/results/stuck-0.tgz"
printf '[windows]\nPlain-0\nsealed-4\nbroken-1\nstuck-0\n[windows:vars]\nansible_connection=local\nansible_python_interpreter=%s\n' \
  "$(command -v python3)" >"$play/hosts"
STANDIN_C=$scratch/C ANSIBLE_COLLECTIONS_PATH=$PWD/tests/fleet/stand-in \
  ansible-playbook -i "$play/hosts" "$play/collect.yml" >"$scratch/run.log" 2>&1
rc=$?
recap() { grep -qE "^$1 +: .* failed=$2 " "$scratch/run.log"; }
check "the playbook fails for the failed hosts only (exit $rc)" test "$rc" = 2
check "the hosts that wrote a result pass" eval 'recap Plain-0 0 && recap sealed-4 0'
check "a host without a result fails with its exit code's meaning" \
  grep -q 'brindle.exe exited 1 (the result could not be written or is incomplete)' "$scratch/run.log"
check "a .tgz and a .tgz.p7m are both fetched, named in lower case" \
  eval 'grep -qx plain "$play/results/plain-0.tgz" && grep -qx sealed "$play/results/sealed-4.tgz.p7m"'
check "a result that was not fetched stays on its host, alone" eval \
  '[ "$(cd "$scratch/C/Windows/Temp" && ls -A */)" = stuck-0.tgz ] && recap stuck-0 1'
check "every other working folder is gone" test "$(ls "$scratch/C/Windows/Temp" | wc -l)" = 1
[ "$failed" = 0 ] || tail -n 40 "$scratch/run.log"
echo "fleet: $passed passed, $failed failed"
[ "$failed" = 0 ]
