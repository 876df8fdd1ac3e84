#!/usr/bin/env bash
# The test certificate chain, made with openssl in the build tree and never committed: a root CA
# and below it the test publisher's code-signing certificate, which signs the sample loader and,
# when no publisher certificate is given, the package. The tests also sign loaders with a renewed
# publisher certificate and another publisher's under the same root, and with a certificate under
# a root no machine trusts. Made again when any certificate is a day from its end.
#   test-chain.sh DIR     prints nothing; DIR/<name>.pem, .key, .sha256 (the DER's SHA-256), root.cer
set -euo pipefail
dir=${1:?usage: test-chain.sh DIR}
mkdir -p "$dir"
# Others may pass (not list): the certificates are public (644), the keys their owner's (600), and
# the standard user's test environment reads the root it trusts.
chmod 711 "$dir"
exec 9>"$dir/.lock"
flock 9  # the two architectures' builds and the package may ask at once

# name, subject, issuer (empty: self-signed root)
certs=("root|qxChecker Test Root|" "signer|qxChecker Test Publisher|root"
       "renewed|qxChecker Test Publisher|root" "other|qxChecker Test Other Publisher|root"
       "stranger-root|qxChecker Untrusted Root|" "stranger|qxChecker Test Publisher|stranger-root")
fresh=1
for cert in "${certs[@]}"; do
  name=${cert%%|*}
  openssl x509 -checkend 86400 -noout -in "$dir/$name.pem" >/dev/null 2>&1 && [ -s "$dir/$name.key" ] \
    && [ -s "$dir/$name.sha256" ] || fresh=0
done
[ $fresh = 0 ] || exit 0

find "$dir" -mindepth 1 ! -name .lock -delete
umask 077
for cert in "${certs[@]}"; do
  IFS='|' read -r name subject issuer <<<"$cert"
  if [ -z "$issuer" ]; then
    openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 3650 -subj "/CN=$subject" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
      -keyout "$dir/$name.key" -out "$dir/$name.pem" 2>/dev/null
  else
    openssl req -new -newkey rsa:3072 -sha256 -nodes -subj "/CN=$subject" \
      -keyout "$dir/$name.key" -out "$dir/$name.csr" 2>/dev/null
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
      "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >"$dir/$name.ext"
    openssl x509 -req -sha256 -days 825 -in "$dir/$name.csr" -CA "$dir/$issuer.pem" -CAkey "$dir/$issuer.key" \
      -set_serial "0x$(openssl rand -hex 16)" -extfile "$dir/$name.ext" -out "$dir/$name.pem" 2>/dev/null
    rm -f "$dir/$name.csr" "$dir/$name.ext"
  fi
  # The thumbprint a DLL pins: SHA-256 of the certificate's DER encoding.
  openssl x509 -in "$dir/$name.pem" -outform DER | sha256sum | cut -d' ' -f1 >"$dir/$name.sha256"
  chmod 644 "$dir/$name.pem" "$dir/$name.sha256"
done
openssl x509 -in "$dir/root.pem" -outform DER -out "$dir/root.cer"
chmod 644 "$dir/root.cer"
