"""The installer's publisher, checked before it starts: a signed Setup.exe starts only an installer
signed by its own publisher, and refuses every other one with its reason, leaving the file where it
is and the window idle.

    python3 tests/e2e/signature_e2e_test.py [TestClass[.test_name] ...]

Each run makes its own certificates with openssl into the build tree: a code-signing CA, trusted
in the test prefix only, with the publisher, a renewal of the publisher (new key, same names) and
another publisher under it; a second trusted CA with a certificate of the publisher's subject; an
untrusted self-signed certificate and a CA the prefix does not trust, both with the publisher's
subject. Files are signed with osslsigncode; Setup.exe itself is
a signed copy (under SETUP_INSTALLER_SIGNATURE=AUTO that is what makes it require the signature).
Environment: as tests/e2e/setup_e2e_test.py.
"""

import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from setup_e2e_test import ERROR_SHARING_VIOLATION, TITLE, WAIT_S, SetupCase  # noqa: E402

PUBLISHER = "/CN=Ostrevo Test Publisher/O=Ostrevo Test"
CODE_SIGNING = ("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
CA_EXTENSIONS = ("basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n")


def run(*command, **kwargs):
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, capture_output=True, **kwargs)


class Signing:
    """Certificates and signed files of one run, in a directory of the build tree."""

    def __init__(self, directory):
        self.dir = directory
        os.makedirs(directory, exist_ok=True)
        self.serial = int.from_bytes(os.urandom(6), "big")

    def path(self, name):
        return os.path.join(self.dir, name)

    def extensions(self, name, text):
        path = self.path(name + ".ext")
        with open(path, "w") as f:
            f.write(text)
        return path

    def self_signed(self, name, subject, extensions):
        extensions = [arg for line in extensions.strip().split("\n") for arg in ("-addext", line)]
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7", "-sha256",
            "-subj", subject, "-keyout", self.path(name + ".key"), "-out", self.path(name + ".pem"),
            *extensions)
        return self.path(name + ".pem")

    def issued(self, name, subject, ca):
        """A code-signing certificate issued by ca; its chain file holds it and the CA."""
        self.serial += 1
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", subject,
            "-keyout", self.path(name + ".key"), "-out", self.path(name + ".csr"))
        run("openssl", "x509", "-req", "-in", self.path(name + ".csr"), "-CA", self.path(ca + ".pem"),
            "-CAkey", self.path(ca + ".key"), "-set_serial", str(self.serial), "-days", "7",
            "-sha256", "-extfile", self.extensions(name, CODE_SIGNING),
            "-out", self.path(name + ".pem"))
        with open(self.path(name + ".chain.pem"), "wb") as chain:
            for part in (name, ca):
                with open(self.path(part + ".pem"), "rb") as f:
                    chain.write(f.read())
        return name

    def sign(self, source, certificate, name):
        """source signed with certificate's key (SHA-256), with its chain."""
        out = self.path(name)
        if os.path.exists(out):
            os.remove(out)
        chain = self.path(certificate + ".chain.pem")
        if not os.path.exists(chain):
            chain = self.path(certificate + ".pem")
        run("osslsigncode", "sign", "-certs", chain, "-key", self.path(certificate + ".key"),
            "-h", "sha256", "-n", "Ostrevo Test", "-in", source, "-out", out)
        return out


# -- the PE image's digest, as the signature covers it --------------------------------------------

def pe_layout(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    entry = optional + (96 if magic == 0x10B else 112) + 4 * 8
    table, size = struct.unpack_from("<II", data, entry)
    return optional + 64, entry, table, size


def image_digest(data):
    checksum, entry, table, size = pe_layout(data)
    end = table if size else len(data)
    return hashlib.sha256(data[:checksum] + data[checksum + 4:entry] + data[entry + 8:end]).digest()


def code_offset(data):
    """A byte well inside the code section."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from(
        "<H", data, pe + 20)[0]
    sections = pe + 24 + optional_size
    for i in range(count):
        name, _, _, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, sections + 40 * i)
        if name.rstrip(b"\0") == b".text":
            return raw_offset + raw_size // 2
    raise AssertionError("no .text section")


def with_code_byte_changed(data):
    changed = bytearray(data)
    changed[code_offset(data)] ^= 0xFF
    return bytes(changed)


def with_digest_patched(signed):
    """One code byte changed, and the digest inside the signature changed to match it."""
    changed = bytearray(with_code_byte_changed(signed))
    _, _, table, _ = pe_layout(signed)
    old, new = image_digest(signed), image_digest(bytes(changed))
    at = bytes(changed).find(old, table)
    assert at > 0 and bytes(changed).find(old, at + 1) < 0, "the signed digest is not found once"
    changed[at:at + len(new)] = new
    return bytes(changed)


def with_signature(unsigned, pkcs7):
    """unsigned with pkcs7 as its certificate table (revision 2.0, PKCS signed data)."""
    data = bytearray(unsigned)
    data += b"\0" * (-len(data) % 8)
    table = len(data)
    entry_data = struct.pack("<IHH", 8 + len(pkcs7), 0x0200, 0x0002) + pkcs7
    entry_data += b"\0" * (-len(entry_data) % 8)
    data += entry_data
    _, entry, _, _ = pe_layout(unsigned)
    struct.pack_into("<II", data, entry, table, len(entry_data))
    return bytes(data)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


class SignatureTest(SetupCase):
    """A signed Setup.exe and the installers it starts or refuses."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        build = harness.build_dir()
        cls.signing = Signing(tempfile.mkdtemp(prefix="signing-", dir=build))
        s = cls.signing
        s.self_signed("ca", "/CN=Setup Test Code Signing CA", CA_EXTENSIONS)
        s.self_signed("second_ca", "/CN=Setup Test Second CA", CA_EXTENSIONS)
        s.self_signed("unknown_ca", "/CN=Setup Test Unknown CA", CA_EXTENSIONS)
        s.issued("publisher", PUBLISHER, "ca")
        s.issued("renewed", PUBLISHER, "ca")
        s.issued("other", "/CN=Another Test Publisher/O=Another Test", "ca")
        s.issued("stranger", PUBLISHER, "unknown_ca")
        s.issued("namesake", PUBLISHER, "second_ca")
        s.self_signed("self", PUBLISHER, CODE_SIGNING)
        # Only this run's two code-signing CAs are trusted, and only in the test prefix.
        for ca in ("ca", "second_ca"):
            trusted = harness.wine_run(harness.tool_exe("trust_ca.exe"),
                                       [harness.windows_path(s.path(ca + ".pem"))])
            if trusted.returncode != 0:
                raise AssertionError(f"trust_ca failed: {trusted.stderr}")
        setup_dir = s.path("setup")
        os.makedirs(setup_dir)
        cls.signed_setup = os.path.join(setup_dir, "Setup.exe")
        s.sign(harness.setup_exe(), "publisher", "setup/Setup.exe")
        cls.sample = harness.tool_exe("sample_installer.exe")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.signing.dir, ignore_errors=True)

    def installer(self, name):
        """The sample installer in one of the forms the tests serve."""
        s = self.signing
        if name == "unsigned":
            return self.sample
        if name in ("publisher", "renewed", "other", "namesake", "stranger", "self"):
            return s.sign(self.sample, name, name + ".exe")
        signed = read(s.sign(self.sample, "publisher", "publisher.exe"))
        if name == "code byte changed":
            return write(s.path("changed.exe"), with_code_byte_changed(signed))
        if name == "digest patched":
            return write(s.path("patched.exe"), with_digest_patched(signed))
        if name == "transplanted":
            # A PowerShell script's signature by the same publisher, on the program.
            script = write(s.path("script.ps1"), b"Write-Output 'Ostrevo'\r\n")
            signed_script = s.sign(script, "publisher", "script-signed.ps1")
            run("osslsigncode", "extract-signature", "-in", signed_script,
                "-out", s.path("script.p7"))
            return write(s.path("transplanted.exe"),
                         with_signature(read(self.sample), read(s.path("script.p7"))))
        raise AssertionError(name)

    def run_signed_setup(self, installer):
        self.service.installer(file=installer)
        return self.start_setup(exe=self.signed_setup)

    def support_log_lines(self, prefix):
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            text = f.read().decode("utf-8", "replace")
        return [line for line in text.splitlines() if prefix in line]

    def assert_own_file_held(self):
        """The running Setup.exe cannot be replaced under its name: its signature is the one the
        installer is compared with."""
        result = harness.wine_run(harness.tool_exe("file_access.exe"),
                                  [harness.windows_path(self.signed_setup)], timeout=60)
        attempts = json.loads(result.stdout.strip().splitlines()[-1])
        self.assertEqual(attempts, dict(read=0, write=ERROR_SHARING_VIOLATION,
                                        delete=ERROR_SHARING_VIOLATION,
                                        rename=ERROR_SHARING_VIOLATION))

    def test_installer_of_the_same_publisher_starts(self):
        for name in ("publisher", "renewed"):
            with self.subTest(name):
                self.remove(self.installer_file)
                installer = self.installer(name)
                process = self.run_signed_setup(installer)
                self.assert_ended(process)
                self.wait_for("the installer's record", self.sample_runs)
                self.assertEqual(self.read_file(self.installer_file), read(installer))
                checked = self.support_log_lines("installer signature:")
                print(f"\n{name}: {checked[-1]}", file=sys.stderr)
                self.assertIn("same publisher", checked[-1])
                os.remove(self.record)

    def test_refused_installers_are_never_started(self):
        cases = [
            ("unsigned", "The installer is not signed"),
            ("other", "The installer is signed by another publisher than Setup"),
            # The publisher's subject, from another trusted CA: someone else's certificate.
            ("namesake", "The installer is signed by another publisher than Setup"),
            ("code byte changed",
             "The installer's signature is not valid: the file is not what was signed"),
            ("digest patched",
             "The installer's signature is not valid: the file is not what was signed"),
            ("transplanted",
             "The installer's signature is not valid: the file is not what was signed"),
            ("self", "The installer's signature is not trusted on this computer"),
            ("stranger", "The installer's signature is not trusted on this computer"),
        ]
        for name, reason in cases:
            with self.subTest(name):
                self.remove(self.installer_file)
                installer = self.installer(name)
                process = self.run_signed_setup(installer)
                dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
                path = self.installer_path()
                self.assert_message(dialog, f"Error!  {reason}, so Setup does not start it.\r\r"
                                            f"It was left for inspection: {path}")
                self.assert_idle(process)
                # Left where it is, exactly as downloaded, and never started.
                self.assertEqual(self.read_file(self.installer_file), read(installer))
                self.assertEqual(self.sample_runs(), [])
                if name == "unsigned":
                    self.assert_own_file_held()
                refused = self.support_log_lines("installer signature: refused")
                print(f"\n{name}: {refused[-1]}", file=sys.stderr)
                self.assertIn("outcome: signature refused",
                              self.support_log_lines("outcome:")[-1])
                self.end_setup(process)


if __name__ == "__main__":
    unittest.main()
