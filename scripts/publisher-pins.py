#!/usr/bin/env python3
"""Derives the build's publisher settings from public certificates: no private key is needed, so
the signing key may live on a hardware token or in a cloud signing service.

    python3 scripts/publisher-pins.py SIGNING_CERT [CA_CERT ...] [--pin all|ca] [--print options|keys|subject]

SIGNING_CERT is the code-signing certificate (.cer/.crt in DER or PEM; a PEM file may carry its
chain after it). SETUP_PUBLISHER_SUBJECT is its subject; SETUP_PUBLISHER_KEYS the SHA-256 of the
SubjectPublicKeyInfo of every certificate given (--pin all), or of all but the signing certificate
(--pin ca). Pin a CA's key so that a renewal with a new key, or a new issuing CA under a pinned
root, still passes; the signing certificate's own key alone passes only that certificate's key.
Prints the -D options for cmake (or only the keys, or only the subject), and to stderr what each
pinned key belongs to.
"""

import argparse
import os
import shlex
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import publisher_certificates as pc  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("certificates", nargs="+", help="the signing certificate first, then CAs")
    parser.add_argument("--pin", choices=("all", "ca"), default="all")
    parser.add_argument("--print", dest="output", choices=("options", "keys", "subject"),
                        default="options")
    args = parser.parse_args()

    certificates = [der for path in args.certificates for der in pc.read_certificates(path)]
    try:
        leaf = pc.certificate_parts(certificates[0])
        subject = pc.format_subject(pc.decode_name(leaf["subject"]))
        pinned = certificates if args.pin == "all" else certificates[1:]
        if not pinned:
            sys.exit("publisher-pins: --pin ca needs the CA certificates after the signing one")
        keys = []
        for der in pinned:
            key = pc.key_pin(der)
            name = pc.format_subject(pc.decode_name(pc.certificate_parts(der)["subject"]))
            print(f"pinned {key}  {name}", file=sys.stderr)
            if key not in keys:
                keys.append(key)
    except (pc.NotACertificate, ValueError, StopIteration) as error:
        sys.exit(f"publisher-pins: not a certificate: {error}")
    # What Setup will read back must be what the certificate says.
    if not pc.subject_matches(pc.parse_subject(subject), pc.decode_name(leaf["subject"])):
        sys.exit(f"publisher-pins: the subject {subject!r} does not read back as the certificate's")
    if args.output == "keys":
        print(";".join(keys))
    elif args.output == "subject":
        print(subject)
    else:
        print(shlex.join([f"-DSETUP_PUBLISHER_KEYS={';'.join(keys)}",
                          f"-DSETUP_PUBLISHER_SUBJECT={subject}"]))


if __name__ == "__main__":
    main()
