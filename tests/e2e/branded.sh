#!/usr/bin/env bash
# Branded copies: only the organisation's key-signed scripts run, and the
# result is encrypted for the recipient, opened by OpenSSL and by tovkit to
# the same .tgz. An unbranded copy still runs what its checksum admits.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.bash"
exe=$1
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
newcert() { # NAME rsa|ec
  local kind="-newkey rsa:2048"
  [ "$2" = ec ] && kind="-newkey ec -pkeyopt ec_paramgen_curve:P-256"
  # shellcheck disable=SC2086
  openssl req -x509 -nodes -days 30 $kind -subj "/O=Acme/CN=$1" \
    -keyout "$keys/$1.key" -out "$keys/$1.pem" 2>/dev/null
}
newcert signer rsa && newcert ecsigner ec && newcert support rsa
script() { printf '<%s><DEBUG Note="%s"/></%s>\r\n' "$1" "$1" "$1" >"$2/$1.tov"; }
log_of() { tar -xzOf "$1" "Activity Log.csv" | tr -d '\r'; }

# --- a copy that trusts an RSA key and encrypts for the support engineer;
# its result box names the recipient, not the clear-text warning
e2e_setup branded "$exe"
"$TOVKIT" brand "$exe" --trust "$keys/signer.pem" --encrypt-to "$keys/support.pem" \
  -o "$E2E_DIR/brindle.exe" >/dev/null
for name in rsa pss tampered checksum unsigned; do script "$name" "$E2E_DIR"; done
sign --key "$keys/signer.key" --cert "$keys/signer.pem" "$E2E_DIR/rsa.tov" "$E2E_DIR/tampered.tov"
sign --pss --key "$keys/signer.key" --cert "$keys/signer.pem" "$E2E_DIR/pss.tov"
sign "$E2E_DIR/checksum.tov"
sed -i 's/Note="tampered"/Note="changed"/' "$E2E_DIR/tampered.tov"
sign "$E2E_DIR/tampered.tov" # the checksum holds again, the key signature cannot
brindle /case=Boxed &
box=$(timeout 120 "$e2e_repo/tests/harness/wine-run" "$2/tests/window_driver.exe" boxes 100 1 | tr -d '\r')
wait $!
status=$?
sealed="$E2E_DIR/boxed.tgz.p7m"
check "the run ends, exit code 4 (scripts were refused)" test "$status" -eq 4
check "only the encrypted result is written" bash -c "[ -f '$sealed' ] && [ ! -e '$E2E_DIR/boxed.tgz' ]"
check "openssl cms opens it" openssl cms -decrypt -inform DER -binary -in "$sealed" \
  -inkey "$keys/support.key" -recip "$keys/support.pem" -out "$E2E_DIR/openssl.tgz"
check "the result box names the encrypted file ($box)" grep -qF "result file name:  $E2E_WIN\\boxed.tgz.p7m" <<<"$box"
check "and the recipient instead of the warning" \
  bash -c "grep -qF 'O=Acme, CN=support' <<<\"\$1\" && ! grep -q 'easily readable' <<<\"\$1\"" _ "$box"
log=$(log_of "$E2E_DIR/openssl.tgz")
ran() { grep -q ",XML Value: $1$" <<<"$log"; }
refused() { grep -qF ",ERROR,XML file $1.tov $2" <<<"$log"; }
check "the RSA PKCS#1 signed script runs" ran rsa
check "the RSA PSS signed script runs" ran pss
check "a script changed after signing is refused" refused tampered "was changed after it was signed"
check "a checksum-only script is refused" refused checksum "is not signed with the key this copy trusts (no key signature)"
check "an unsigned script is refused as before" refused unsigned "does not have a valid signiture"
none_ran() { ! grep -qE ",XML Value: ($1)$" <<<"$log"; }
check "no refused script runs" none_ran "changed|checksum|unsigned"

# --- a copy that trusts an EC P-256 key and does not encrypt
scripts=$E2E_DIR
e2e_setup ec "$exe"
"$TOVKIT" brand "$exe" --trust "$keys/ecsigner.pem" -o "$E2E_DIR/brindle.exe" >/dev/null
script ec "$E2E_DIR"
sign --key "$keys/ecsigner.key" --cert "$keys/ecsigner.pem" "$E2E_DIR/ec.tov"
cp "$scripts/rsa.tov" "$E2E_DIR/"
mkdir -p "$E2E_DIR/out"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
log=$(log_of "$E2E_DIR/out/r.tgz")
check "the P-256 signed script runs" ran ec
check "the RSA-signed one is another key's here" refused rsa "is signed with another key"

# --- the unbranded program runs whatever its checksum admits
e2e_setup unbranded "$exe"
cp "$scripts"/*.tov "$E2E_DIR/"
mkdir -p "$E2E_DIR/out"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
log=$(log_of "$E2E_DIR/out/r.tgz")
for name in rsa pss changed checksum; do check "unbranded, $name runs" ran "$name"; done

e2e_done
