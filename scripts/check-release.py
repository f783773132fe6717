#!/usr/bin/env python3
"""Checks a finished release before it ships: dist/Setup.exe is signed, the signature verifies,
and its signer is the pinned publisher, as Setup itself will demand of the installer: a chain from
the signer that holds one of SETUP_PUBLISHER_KEYS, and a signer with SETUP_PUBLISHER_SUBJECT.

    python3 scripts/check-release.py [--build build/release] [--ca-file chain.pem]
                                     [--keys HEX;HEX] [--subject 'CN=..., O=...']

The keys and the subject are the release build's own (its CMakeCache.txt) unless given. The
signature is verified with osslsigncode against the CA file (default: the system's roots) and
the certificates it carries; the chain is walked with openssl, each link's signature checked.
Exit code 0 and "release check: ok" when all holds, 1 with the reason otherwise.
"""

import argparse
import base64
import hashlib
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import publisher_certificates as pc  # noqa: E402

SYSTEM_ROOTS = "/etc/ssl/certs/ca-certificates.crt"


def fail(reason):
    print(f"release check: FAILED: {reason}")
    sys.exit(1)


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].rstrip("\n")
    return ""


def pem(der):
    body = base64.encodebytes(der).decode().replace("\n", "")
    lines = [body[i:i + 64] for i in range(0, len(body), 64)]
    return "-----BEGIN CERTIFICATE-----\n" + "\n".join(lines) + "\n-----END CERTIFICATE-----\n"


def signature_certificates(signature):
    """The certificates a PKCS #7 signed-data blob carries, and its one signer's issuer and serial
    number encodings."""
    _, content_info, _ = pc.tlv(signature)
    parts = list(pc.elements(content_info))
    _, signed_data, _ = pc.tlv(parts[1][1])
    fields = list(pc.elements(signed_data))
    carried = next((content for tag, content, _ in fields if tag == 0xA0), b"")
    certificates = [whole for _, _, whole in pc.elements(carried)]
    signers = list(pc.elements(fields[-1][1]))
    if len(signers) != 1:
        fail(f"the signature has {len(signers)} signers")
    signer = list(pc.elements(signers[0][1]))
    issuer_serial = list(pc.elements(signer[1][1]))
    return certificates, issuer_serial[0][2], issuer_serial[1][1]


def signs(issuer_der, child_der, work):
    """Whether issuer's key signed child (openssl, the issuer trusted for this one question)."""
    issuer, child = os.path.join(work, "issuer.pem"), os.path.join(work, "child.pem")
    with open(issuer, "w") as f:
        f.write(pem(issuer_der))
    with open(child, "w") as f:
        f.write(pem(child_der))
    result = subprocess.run(["openssl", "verify", "-partial_chain", "-no_check_time",
                             "-CAfile", issuer, child], capture_output=True, text=True)
    return result.returncode == 0


def chain_of(signer, pool, work):
    """The signer and the certificates above it, each found by name among pool and proven by its
    signature, up to a self-issued one or one with no issuer in the pool."""
    chain = [signer]
    while len(chain) < 10:
        child = pc.certificate_parts(chain[-1])
        if child["issuer"] == child["subject"]:
            break
        issuer = next((der for der in pool if der not in chain and
                       pc.certificate_parts(der)["subject"] == child["issuer"] and
                       signs(der, chain[-1], work)), None)
        if issuer is None:
            break
        chain.append(issuer)
    return chain


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--dist")
    parser.add_argument("--ca-file")
    parser.add_argument("--keys")
    parser.add_argument("--subject")
    args = parser.parse_args()
    dist = args.dist or os.path.join(args.build, "dist")
    keys = args.keys if args.keys is not None else cache_value(args.build, "SETUP_PUBLISHER_KEYS")
    subject = (args.subject if args.subject is not None
               else cache_value(args.build, "SETUP_PUBLISHER_SUBJECT"))
    keys = [key.strip().lower() for key in keys.split(";") if key.strip()]
    if not keys or not subject:
        fail("no SETUP_PUBLISHER_KEYS and SETUP_PUBLISHER_SUBJECT to check against")
    wanted = pc.parse_subject(subject)

    exe = os.path.join(dist, "Setup.exe")
    if not os.path.isfile(exe):
        fail(f"{exe} does not exist")
    with open(exe, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    sums = os.path.join(dist, "Setup.exe.sha256")
    if not os.path.isfile(sums) or open(sums).read() != f"{digest}  Setup.exe\n":
        fail(f"{sums} does not hold Setup.exe's SHA-256 {digest}")

    ca_file = args.ca_file or SYSTEM_ROOTS
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", exe],
                            capture_output=True, text=True, stdin=subprocess.DEVNULL)
    report = verify.stdout + verify.stderr
    if "No signature found" in report:
        fail("Setup.exe is not signed")
    if verify.returncode != 0 or "Signature verification: ok" not in report:
        fail(f"the signature does not verify against {ca_file}:\n{report}")

    with tempfile.TemporaryDirectory() as work:
        extracted = os.path.join(work, "signature.der")
        subprocess.run(["osslsigncode", "extract-signature", "-in", exe, "-out", extracted],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL)
        with open(extracted, "rb") as f:
            carried, issuer, serial = signature_certificates(f.read())
        signer = next((der for der in carried if pc.certificate_parts(der)["issuer"] == issuer and
                       pc.certificate_parts(der)["serial"] == serial), None)
        if signer is None:
            fail("the signature does not carry its signer's certificate")
        pool = carried + pc.read_certificates(ca_file)
        chain = chain_of(signer, pool, work)
        pins = [pc.key_pin(der) for der in chain]
        names = [pc.format_subject(pc.decode_name(pc.certificate_parts(der)["subject"]))
                 for der in chain]
        for pin, name in zip(pins, names):
            print(f"chain: {pin}  {name}")
        if not any(pin in keys for pin in pins):
            fail("no certificate of the signer's chain has a pinned key")
        if not pc.subject_matches(wanted, pc.decode_name(pc.certificate_parts(signer)["subject"])):
            fail(f"the signer's subject '{names[0]}' is not '{subject}'")
    print(f"release check: ok: {exe} signed by '{names[0]}', a pinned key in its chain, "
          f"SHA-256 {digest}")


if __name__ == "__main__":
    main()
