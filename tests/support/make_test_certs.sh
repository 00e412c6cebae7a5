#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make_test_certs.sh DIR: throwaway certificates for the TLS tests, made
# fresh each run: a CA (ca.pem), a server certificate for 127.0.0.1 and
# localhost that it signed (server.pem, server.key), and a second CA
# (other_ca.pem) that signed nothing.
set -euo pipefail
cd "$1"
run() { "$@" > openssl.log 2>&1 || { echo "make_test_certs: failed: $* $(cat openssl.log)" >&2; exit 1; }; }
key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
for ca in ca other_ca; do
  run openssl req -x509 "${key[@]}" -keyout "$ca.key" -out "$ca.pem" -days 2 -subj "/CN=corvid test $ca"
done
run openssl req "${key[@]}" -keyout server.key -out server.csr -subj "/CN=localhost" \
  -addext "subjectAltName=IP:127.0.0.1,DNS:localhost"
run openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
  -copy_extensions copyall
