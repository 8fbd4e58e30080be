#!/usr/bin/env bash
# Tests scripts/sign.sh with a throw-away certificate authority and code-signing certificate:
# signed copies verify against that authority, signing again replaces the signature, a wrong
# password fails and leaves the file as it was, and a changed byte breaks the signature.
#   scripts/test-signing.sh [BIN]   BIN: where the installer and engine pair were built
#                                   (default build/win/bin); without them a tiny PE is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/win/bin}
installer=none
# The installer's name, from the hotfix's definition the build wrote beside BIN.
if [ -f "$bin/../hotfix-definition.sh" ]; then . "$bin/../hotfix-definition.sh"; installer=$hotfix_installer; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

# The throw-away authority and a code-signing certificate it issued, as PKCS#12 with a
# password that a shell would mangle if it were ever passed unquoted.
password='pa$$ word "quoted" & ; `x`'
(
  cd "$work"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=HotFix Throw-away Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=HotFix Throw-away Code Signing" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > ext.cnf
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signer.pem \
    -days 2 -extfile ext.cnf 2>/dev/null
  openssl pkcs12 -export -out signer.pfx -inkey signer.key -in signer.pem -certfile ca.pem \
    -passout fd:3 3<<<"$password"
)
# An unrelated authority, which must not vouch for our signatures.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/other.key" -out "$work/other.pem" -days 2 \
  -subj "/CN=Unrelated CA" 2>/dev/null

# What to sign: copies of the real build outputs, or a tiny PE made here.
mkdir -p "$work/files"
for name in "$installer" patch.exe Patchw32.dll; do
  [ -f "$bin/$name" ] && cp "$bin/$name" "$work/files/"
done
if [ -z "$(ls -A "$work/files")" ]; then
  command -v i686-w64-mingw32-gcc >/dev/null || { echo "FAIL: nothing to sign and no MinGW compiler" >&2; exit 1; }
  printf 'int main(void){return 0;}\n' > "$work/tiny.c"
  i686-w64-mingw32-gcc -o "$work/files/tiny.exe" "$work/tiny.c"
fi

verify() { osslsigncode verify -in "$1" -CAfile "$2" >"$work/verify.out" 2>&1; }

export SIGN_PFX="$work/signer.pfx"
for file in "$work"/files/*; do
  name=$(basename "$file")
  if SIGN_PASS="$password" "$root/scripts/sign.sh" "$file" >/dev/null && verify "$file" "$work/ca.pem"; then
    pass "$name signed and verified"
  else
    fail "$name: not signed or not verified"; cat "$work/verify.out" >&2
  fi
  if verify "$file" "$work/other.pem"; then fail "$name verified against an unrelated authority"; fi

  SIGN_PASS="$password" "$root/scripts/sign.sh" "$file" >/dev/null
  if verify "$file" "$work/ca.pem" && grep -q 'Number of verified signatures: 1' "$work/verify.out"; then
    pass "$name signed again carries one signature"
  else
    fail "$name: signing again broke it"; cat "$work/verify.out" >&2
  fi

  cp "$file" "$work/before"
  if SIGN_PASS=wrong "$root/scripts/sign.sh" "$file" >/dev/null 2>&1; then fail "$name: a wrong password signed"; fi
  if cmp -s "$file" "$work/before" && [ -z "$(ls "$work/files" | grep -F .signing.)" ]; then
    pass "$name: a wrong password fails and changes nothing"
  else
    fail "$name: a failed signing changed the file or left a temporary behind"
  fi
done

# A byte changed after signing is caught.
first=$(ls "$work"/files/* | head -n 1)
cp "$first" "$work/tampered"
printf '\x90' | dd of="$work/tampered" bs=1 seek=1024 conv=notrunc status=none
if verify "$work/tampered" "$work/ca.pem"; then fail "a changed byte still verified"; else pass "a changed byte breaks the signature"; fi

# Without a certificate, nothing is signed.
if env -u SIGN_PFX "$root/scripts/sign.sh" "$first" >/dev/null 2>&1; then fail "signed without SIGN_PFX"; else pass "no certificate: refused"; fi

[ "$failures" -eq 0 ] && echo "signing: all passed" || { echo "signing: $failures failed" >&2; exit 1; }
