#!/bin/bash
# A build signed with a throw-away certificate: the program and the kernel
# library verify against the certificate's authority and not against
# another, and the kernel carried in the program is the signed one.
#
#   signed_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail

SOURCE="$1"
WORK="$(mkdir -p "$2" && cd "$2" && pwd)"
mkdir -p "$WORK/keys"
cd "$WORK/keys"

# An authority and a code-signing certificate it issued, as a publisher
# buys one; and an authority that issued nothing here.
make_authority() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 \
        -subj "/CN=Throw-away $1" -addext basicConstraints=critical,CA:TRUE 2>/dev/null
}
make_authority authority
make_authority stranger
openssl req -newkey rsa:2048 -nodes -keyout publisher.key -out publisher.csr \
    -subj "/CN=Throw-away publisher" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >publisher.ext
openssl x509 -req -in publisher.csr -CA authority.pem -CAkey authority.key -CAcreateserial -days 2 \
    -extfile publisher.ext -out publisher.pem 2>/dev/null

cmake -S "$SOURCE" -B "$WORK/build" -G Ninja --log-level=WARNING >/dev/null \
    -DKORVANE_SIGN_CERT="$WORK/keys/publisher.pem" -DKORVANE_SIGN_KEY="$WORK/keys/publisher.key"
cmake --build "$WORK/build" --target korvane >/dev/null

PROGRAM="$(find "$WORK/build/app" -maxdepth 1 -name '*.exe' ! -name '*-local-reports.exe')"
KERNEL="$WORK/build/resources/engine/DLBT.dll"
status=0
for file in "$PROGRAM" "$KERNEL"; do
    if ! osslsigncode verify -CAfile authority.pem -in "$file" >verify.log 2>&1; then
        echo "FAIL: $(basename "$file") does not verify:"
        cat verify.log
        status=1
    fi
    if osslsigncode verify -CAfile stranger.pem -in "$file" >/dev/null 2>&1; then
        echo "FAIL: $(basename "$file") verifies against an authority that never signed it"
        status=1
    fi
done

if ! /usr/bin/python3 -c 'import sys; sys.exit(open(sys.argv[2], "rb").read() not in open(sys.argv[1], "rb").read())' \
    "$PROGRAM" "$KERNEL"; then
    echo "FAIL: the program does not carry the signed kernel library"
    status=1
fi
[[ $status -eq 0 ]] && echo "signed build verifies"
exit $status
