"""The installer's publisher, checked before it starts: Setup starts only an installer whose chain
holds the publisher's pinned key and whose signer has the publisher's subject, and refuses every
other one with its reason, leaving the file where it is and the window idle.

    python3 tests/e2e/signature_e2e_test.py [TestClass[.test_name] ...]

The build pins the key of a throwaway root made at configure time (SETUP_TEST_PUBLISHER: the
build tree's test-publisher/root.pem and root.key) and the subject CN=Ostrevo Test Publisher,
O=Ostrevo Test. Each run issues its certificates under that root with openssl, into the build tree:
the publisher, a renewal (new key), the publisher under a new issuing CA below the root, and
another publisher; besides, a rogue root with the pinned root's exact name and a second CA, both
trusted in the test prefix only, each with a certificate of the publisher's subject; an untrusted
self-signed certificate and a CA the prefix does not trust, both with the publisher's subject.
Files are signed with osslsigncode. The test build checks only when asked (SETUP_TEST_CHECK_SIGNATURE=1
in Setup's environment), since the other tests serve an unsigned sample installer.
Environment: as tests/e2e/setup_e2e_test.py.
"""

import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import harness  # noqa: E402
import publisher_certificates  # noqa: E402
from setup_e2e_test import TITLE, WAIT_S, SetupCase  # noqa: E402

# The subject the test build pins (cmake/publisher.cmake), and its pinned root's.
PUBLISHER = "/CN=Ostrevo Test Publisher/O=Ostrevo Test"
PINNED_ROOT = "/CN=Setup Test Publisher Root/O=Ostrevo Test"
CODE_SIGNING = ("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
CA_EXTENSIONS = ("basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n")
# Setup's environment when it is to check the installer (a test build's seam).
CHECK = {"SETUP_TEST_CHECK_SIGNATURE": "1"}


def test_publisher_root():
    """The root whose key the test build pins, made when the build was configured."""
    return os.path.join(harness.build_dir(), "test-publisher", "root")


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

    def issued(self, name, subject, ca, extensions=CODE_SIGNING):
        """A certificate issued by ca (a code-signing one unless told); its chain file holds it
        and the CA's chain."""
        self.serial += 1
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", subject,
            "-keyout", self.path(name + ".key"), "-out", self.path(name + ".csr"))
        run("openssl", "x509", "-req", "-in", self.path(name + ".csr"), "-CA", self.path(ca + ".pem"),
            "-CAkey", self.path(ca + ".key"), "-set_serial", str(self.serial), "-days", "7",
            "-sha256", "-extfile", self.extensions(name, extensions),
            "-out", self.path(name + ".pem"))
        ca_chain = self.path(ca + ".chain.pem")
        with open(self.path(name + ".chain.pem"), "wb") as chain:
            for part in (self.path(name + ".pem"),
                         ca_chain if os.path.exists(ca_chain) else self.path(ca + ".pem")):
                with open(part, "rb") as f:
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


def subject_der(pem):
    return publisher_certificates.certificate_parts(
        publisher_certificates.read_certificates(pem)[0])["subject"]


class SignatureTest(SetupCase):
    """Setup with the pinned test publisher and the installers it starts or refuses."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        build = harness.build_dir()
        cls.signing = Signing(tempfile.mkdtemp(prefix="signing-", dir=build))
        s = cls.signing
        for part in (".pem", ".key"):
            shutil.copyfile(test_publisher_root() + part, s.path("root" + part))
        s.self_signed("rogue_root", PINNED_ROOT, CA_EXTENSIONS)
        s.self_signed("second_ca", "/CN=Setup Test Second CA", CA_EXTENSIONS)
        s.self_signed("unknown_ca", "/CN=Setup Test Unknown CA", CA_EXTENSIONS)
        # The rogue root is the pinned one by name, byte for byte; only its key differs.
        assert subject_der(s.path("rogue_root.pem")) == subject_der(s.path("root.pem"))
        s.issued("publisher", PUBLISHER, "root")
        s.issued("renewed", PUBLISHER, "root")
        s.issued("issuing_ca", "/CN=Setup Test Issuing CA 2/O=Ostrevo Test", "root",
                 CA_EXTENSIONS)
        s.issued("rotated", PUBLISHER, "issuing_ca")
        s.issued("other", "/CN=Another Test Publisher/O=Another Test", "root")
        s.issued("rogue", PUBLISHER, "rogue_root")
        s.issued("stranger", PUBLISHER, "unknown_ca")
        s.issued("namesake", PUBLISHER, "second_ca")
        s.self_signed("self", PUBLISHER, CODE_SIGNING)
        # The pinned root, the rogue one and a second CA are trusted, in the test prefix only.
        for ca in ("root", "rogue_root", "second_ca"):
            trusted = harness.wine_run(harness.tool_exe("trust_ca.exe"),
                                       [harness.windows_path(s.path(ca + ".pem"))])
            if trusted.returncode != 0:
                raise AssertionError(f"trust_ca failed: {trusted.stderr}")
        cls.sample = harness.tool_exe("sample_installer.exe")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.signing.dir, ignore_errors=True)

    def installer(self, name):
        """The sample installer in one of the forms the tests serve."""
        s = self.signing
        if name == "unsigned":
            return self.sample
        if name in ("publisher", "renewed", "rotated", "other", "rogue", "namesake", "stranger",
                    "self"):
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

    def run_setup(self, installer, env=CHECK):
        self.service.installer(file=installer)
        return self.start_setup(env=env)

    def support_log_lines(self, prefix):
        with open(os.path.join(self.temp_dir, "Setup.log"), "rb") as f:
            text = f.read().decode("utf-8", "replace")
        return [line for line in text.splitlines() if prefix in line]

    def test_installer_of_the_pinned_publisher_starts(self):
        # The publisher's certificate, its renewal with a new key, and the publisher under a new
        # issuing CA below the pinned root.
        for name in ("publisher", "renewed", "rotated"):
            with self.subTest(name):
                self.remove(self.installer_file)
                installer = self.installer(name)
                process = self.run_setup(installer)
                self.assert_ended(process)
                self.wait_for("the installer's record", self.sample_runs)
                self.assertEqual(self.read_file(self.installer_file), read(installer))
                checked = self.support_log_lines("installer signature:")
                print(f"\n{name}: {checked}", file=sys.stderr)
                self.assertIn("the pinned publisher's", checked[-1])
                os.remove(self.record)

    def test_a_test_build_checks_only_when_asked(self):
        """The seam the other tests stand on: without SETUP_TEST_CHECK_SIGNATURE the unsigned
        sample installer starts, and the log says that nothing was checked."""
        self.remove(self.installer_file)
        process = self.run_setup(self.sample, env={})
        self.assert_ended(process)
        self.wait_for("the installer's record", self.sample_runs)
        self.assertIn("installer signature: not checked (a test build, not asked to)",
                      self.support_log_lines("installer signature:")[-1])

    def test_refused_installers_are_never_started(self):
        cases = [
            ("unsigned", "The installer is not signed", "WinVerifyTrust"),
            # Under the pinned root, but another subject.
            ("other", "The installer is signed by another publisher than Setup",
             "publisher subject"),
            # The publisher's subject under a trusted root with the pinned root's exact name.
            ("rogue", "The installer is signed by another publisher than Setup", "publisher key"),
            # The publisher's subject from another trusted CA: someone else's certificate.
            ("namesake", "The installer is signed by another publisher than Setup",
             "publisher key"),
            ("code byte changed",
             "The installer's signature is not valid: the file is not what was signed", None),
            ("digest patched",
             "The installer's signature is not valid: the file is not what was signed", None),
            ("transplanted",
             "The installer's signature is not valid: the file is not what was signed", None),
            ("self", "The installer's signature is not trusted on this computer", None),
            ("stranger", "The installer's signature is not trusted on this computer", None),
        ]
        for name, reason, step in cases:
            with self.subTest(name):
                self.remove(self.installer_file)
                installer = self.installer(name)
                process = self.run_setup(installer)
                dialog = harness.press(TITLE, timeout_ms=WAIT_S * 1000)
                path = self.installer_path()
                self.assert_message(dialog, f"Error!  {reason}, so Setup does not start it.\r\r"
                                            f"It was left for inspection: {path}")
                self.assert_idle(process)
                # Left where it is, exactly as downloaded, and never started.
                self.assertEqual(self.read_file(self.installer_file), read(installer))
                self.assertEqual(self.sample_runs(), [])
                refused = self.support_log_lines("installer signature: refused")
                print(f"\n{name}: {refused[-1]}", file=sys.stderr)
                if step:
                    self.assertIn(f"refused by {step},", refused[-1])
                self.assertIn("outcome: signature refused",
                              self.support_log_lines("outcome:")[-1])
                self.end_setup(process)


if __name__ == "__main__":
    unittest.main()
