"""The release build as the README tells a maker to run it: the release preset with real-looking
https:// origins, a throwaway code-signing certificate made here with openssl, the publisher's pins
derived from it by scripts/publisher-pins.py, the dist folder it leaves, and that folder checked by
scripts/check-release.py. The program's version information is read back under Wine the way
Windows reads it.

    python3 tests/release/release_test.py [TestClass[.test_name] ...]

Environment (ctest sets it):
  SETUP_BUILD_DIR        the Windows build (tools/version_probe.exe); the release trees go below it
  SETUP_PROJECT_VERSION  the project version that the program must carry
  SETUP_OBJDUMP          the MinGW objdump
  WINEPREFIX             a Wine prefix to read the version information in
"""

import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402

REPO = harness.REPO
# Placeholders in the reserved .test domain: never anyone's service, yet real-looking hosts.
ORIGINS = {
    "PROD": "https://www.ostrevo.test",
    "UAT": "https://uat.ostrevo.test",
    "SIT": "https://sit.ostrevo.test:8443",
    "DIT": "https://dit.ostrevo.test",
}


def origin_args(origins):
    return [f"-DSETUP_ORIGIN_{env}={value}" for env, value in origins.items()]


def run(command, **kwargs):
    return subprocess.run(command, cwd=REPO, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, timeout=900, **kwargs)


def configure(build_dir, *args):
    return run(["cmake", "--preset", "release", "-B", build_dir, *args])


def release_targets():
    """What `cmake --build --preset release` builds, read from the presets so the test follows them."""
    with open(os.path.join(REPO, "CMakePresets.json")) as f:
        presets = json.load(f)["buildPresets"]
    return next(p for p in presets if p["name"] == "release")["targets"]


def build(build_dir):
    return run(["cmake", "--build", build_dir, "-j2", "--target", *release_targets()])


def version_quad(version):
    parts = version.split(".")
    return ".".join(parts + ["0"] * (4 - len(parts)))


def make_signing_certificate(directory, subject):
    """A self-signed code-signing certificate in a password-protected PKCS#12, and the password
    file; both exist only for this run."""
    key, cert = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
    pkcs12, password = os.path.join(directory, "signing.p12"), os.path.join(directory, "password")
    with open(password, "w") as f:
        f.write(uuid.uuid4().hex + "\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", subject, "-addext", "basicConstraints=critical,CA:FALSE",
                    "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning", "-keyout", key, "-out", cert],
                   check=True, capture_output=True, stdin=subprocess.DEVNULL)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pkcs12,
                    "-passout", "file:" + password],
                   check=True, capture_output=True, stdin=subprocess.DEVNULL)
    os.remove(key)
    return cert, pkcs12, password


def publisher_pins(cert):
    """The -D options of the publisher's key and subject, as the README has the maker derive them."""
    result = subprocess.run([sys.executable, os.path.join(REPO, "scripts", "publisher-pins.py"),
                             cert], capture_output=True, text=True, check=True,
                            stdin=subprocess.DEVNULL)
    return shlex.split(result.stdout)


def check_release(dist, *args):
    """scripts/check-release.py on a dist folder: its exit code and what it printed."""
    result = subprocess.run([sys.executable, os.path.join(REPO, "scripts", "check-release.py"),
                             "--dist", dist, *args], capture_output=True, text=True,
                            stdin=subprocess.DEVNULL, timeout=120)
    return result.returncode, result.stdout + result.stderr


def certificate_table_size(exe):
    """Size of the PE image's certificate table, where an Authenticode signature lives (0: none)."""
    with open(exe, "rb") as f:
        image = f.read()
    pe = int.from_bytes(image[0x3C:0x40], "little")
    assert image[pe:pe + 4] == b"PE\0\0", exe
    optional = pe + 24
    assert image[optional:optional + 2] == b"\x0b\x02", "not a PE32+ image"
    # Data directory 4 (IMAGE_DIRECTORY_ENTRY_SECURITY): offset and size.
    entry = optional + 112 + 4 * 8
    return int.from_bytes(image[entry + 4:entry + 8], "little")


def verify_signature(exe, ca_file):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", exe],
                            capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=60)
    return result.returncode, result.stdout + result.stderr


class ReleaseBuild(unittest.TestCase):
    """One release tree, built three times: without a certificate and without the installer's
    check (SETUP_INSTALLER_SIGNATURE=OFF), signed with the publisher pinned, and with a wrong
    password. The dist folders of the first two are kept for the tests."""

    @classmethod
    def setUpClass(cls):
        work = os.path.join(harness.build_dir(), "release-test")
        os.makedirs(work, exist_ok=True)
        cls.certs = tempfile.mkdtemp(prefix="signing-", dir=work)
        cls.build_dir = os.path.join(work, "tree")
        # A fresh subject each run, so a signature left over from an earlier run cannot pass.
        cls.common_name = f"Ostrevo Throwaway Signing {uuid.uuid4().hex[:12]}"
        cls.subject = f"/CN={cls.common_name}/O=Ostrevo Test"
        cls.cert, cls.pkcs12, cls.password = make_signing_certificate(cls.certs, cls.subject)
        cls.pins = publisher_pins(cls.cert)

        cls.outputs = {}
        cls.configured = {}
        cls.kept = {}
        for name, signing in (("unsigned", ["-DSETUP_SIGN_PKCS12=", "-DSETUP_SIGN_PASSWORD_FILE=",
                                            "-DSETUP_INSTALLER_SIGNATURE=OFF"]),
                              ("signed", [f"-DSETUP_SIGN_PKCS12={cls.pkcs12}",
                                          f"-DSETUP_SIGN_PASSWORD_FILE={cls.password}",
                                          *cls.pins])):
            configured = configure(cls.build_dir, *origin_args(ORIGINS), *signing)
            if configured.returncode != 0:
                raise AssertionError(f"release configure ({name}) failed:\n{configured.stdout}"
                                     f"{configured.stderr}")
            cls.configured[name] = configured.stdout + configured.stderr
            built = build(cls.build_dir)
            if built.returncode != 0:
                raise AssertionError(f"release build ({name}) failed:\n{built.stdout}{built.stderr}")
            cls.outputs[name] = built.stdout + built.stderr
            kept = os.path.join(work, name)
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(os.path.join(cls.build_dir, "dist"), kept)
            cls.kept[name] = kept

        # The right certificate with a wrong password: the build fails and ships nothing.
        wrong = os.path.join(cls.certs, "wrong-password")
        with open(wrong, "w") as f:
            f.write("not the password\n")
        configured = configure(cls.build_dir, *origin_args(ORIGINS),
                               f"-DSETUP_SIGN_PKCS12={cls.pkcs12}",
                               f"-DSETUP_SIGN_PASSWORD_FILE={wrong}", *cls.pins)
        if configured.returncode != 0:
            raise AssertionError(f"release configure (wrong password) failed:\n"
                                 f"{configured.stdout}{configured.stderr}")
        cls.failed_signing = build(cls.build_dir)

    @classmethod
    def tearDownClass(cls):
        # The key is gone already; the certificate and password go with the run.
        shutil.rmtree(cls.certs, ignore_errors=True)

    def test_dist_holds_exactly_the_program_and_its_checksum(self):
        for name, folder in self.kept.items():
            with self.subTest(name):
                self.assertEqual(sorted(os.listdir(folder)), ["Setup.exe", "Setup.exe.sha256"])
                with open(os.path.join(folder, "Setup.exe"), "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                with open(os.path.join(folder, "Setup.exe.sha256")) as f:
                    self.assertEqual(f.read(), f"{digest}  Setup.exe\n")
                # The checksum file is what sha256sum -c reads.
                checked = subprocess.run(["sha256sum", "-c", "Setup.exe.sha256"], cwd=folder,
                                         capture_output=True, text=True)
                self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_signed_build_verifies_and_names_the_certificate(self):
        exe = os.path.join(self.kept["signed"], "Setup.exe")
        code, report = verify_signature(exe, self.cert)
        self.assertEqual(code, 0, report)
        self.assertIn("Signature verification: ok", report)
        self.assertRegex(report, r"Message digest algorithm\s*: SHA256")
        self.assertIn(f"Subject: {self.subject}", report)
        self.assertIn("Text description: Ostrevo Setup", report)
        self.assertIn(f"URL description: {ORIGINS['PROD']}", report)
        self.assertGreater(certificate_table_size(exe), 0)
        # The build checked its own signature and said so.
        self.assertIn("Signature verification: ok", self.outputs["signed"])
        self.assertIn(self.common_name, self.outputs["signed"])
        # Another certificate of the same name is not the signer.
        other = tempfile.mkdtemp(prefix="other-", dir=self.certs)
        other_cert, _, _ = make_signing_certificate(other, self.subject)
        code, report = verify_signature(exe, other_cert)
        self.assertNotEqual(code, 0, report)
        self.assertNotIn("Signature verification: ok", report)

    def test_configure_says_whether_the_installer_is_checked(self):
        self.assertIn("Installer signature: NOT checked (SETUP_INSTALLER_SIGNATURE=OFF)",
                      self.configured["unsigned"])
        self.assertIn(f"Installer signature: required, 1 pinned key(s), subject "
                      f"'O=Ostrevo Test, CN={self.common_name}'", self.configured["signed"])

    def test_release_check_passes_only_the_pinned_publisher(self):
        """scripts/check-release.py, as the README runs it after signing: the build's own pins
        (from its cache) against what the dist folder holds."""
        work = tempfile.mkdtemp(prefix="check-", dir=self.certs)
        # The unsigned program signed by another certificate of the very same subject.
        other_cert, other_pkcs12, other_password = make_signing_certificate(
            tempfile.mkdtemp(prefix="other-", dir=self.certs), self.subject)
        namesake = os.path.join(work, "namesake")
        os.makedirs(namesake)
        subprocess.run(["osslsigncode", "sign", "-pkcs12", other_pkcs12, "-readpass",
                        other_password, "-h", "sha256", "-in",
                        os.path.join(self.kept["unsigned"], "Setup.exe"), "-out",
                        os.path.join(namesake, "Setup.exe")],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL)
        with open(os.path.join(namesake, "Setup.exe"), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(os.path.join(namesake, "Setup.exe.sha256"), "w") as f:
            f.write(f"{digest}  Setup.exe\n")
        both = os.path.join(work, "both.pem")
        with open(both, "w") as f:
            for cert in (self.cert, other_cert):
                with open(cert) as c:
                    f.write(c.read())
        build = ["--build", self.build_dir]
        cases = [
            ("signed by the pinned publisher", self.kept["signed"], [*build, "--ca-file", self.cert],
             0, "release check: ok"),
            ("unsigned", self.kept["unsigned"], [*build, "--ca-file", self.cert], 1,
             "Setup.exe is not signed"),
            ("the same subject with another key", namesake, [*build, "--ca-file", both], 1,
             "no certificate of the signer's chain has a pinned key"),
            ("the pinned key, another subject wanted", self.kept["signed"],
             [*build, "--ca-file", self.cert, "--subject", "CN=Ostrevo Software, O=Ostrevo Test"],
             1, "is not 'CN=Ostrevo Software, O=Ostrevo Test'"),
            ("a root the signature does not chain to", self.kept["signed"],
             [*build, "--ca-file", other_cert], 1, "the signature does not verify"),
        ]
        for name, dist, args, code, said in cases:
            with self.subTest(name):
                returned, output = check_release(dist, *args)
                self.assertEqual(returned, code, output)
                self.assertIn(said, output)

    def test_without_a_certificate_the_build_says_so_and_ships_unsigned(self):
        self.assertIn("Setup.exe is NOT signed: no signing certificate is configured",
                      self.outputs["unsigned"])
        code, report = verify_signature(os.path.join(self.kept["unsigned"], "Setup.exe"),
                                        self.cert)
        self.assertNotEqual(code, 0, report)
        self.assertIn("No signature found", report)
        self.assertEqual(certificate_table_size(os.path.join(self.kept["unsigned"], "Setup.exe")),
                         0)

    def test_failed_signing_fails_the_build_and_leaves_no_program_to_ship(self):
        output = self.failed_signing.stdout + self.failed_signing.stderr
        self.assertNotEqual(self.failed_signing.returncode, 0, output)
        self.assertIn("Signing Setup.exe failed", output)
        self.assertFalse(os.path.exists(os.path.join(self.build_dir, "dist")))

    def test_shipped_program_has_consistent_unwind_data(self):
        check = os.path.join(REPO, "tests", "check_unwind.py")
        for name, folder in self.kept.items():
            with self.subTest(name):
                result = subprocess.run([sys.executable, check, "--objdump",
                                         os.environ["SETUP_OBJDUMP"],
                                         os.path.join(folder, "Setup.exe")],
                                        capture_output=True, text=True, stdin=subprocess.DEVNULL)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("unwind data consistent", result.stdout)

    def test_version_resource_and_manifest_carry_the_project_version(self):
        version = os.environ["SETUP_PROJECT_VERSION"]
        quad = version_quad(version)
        for name, folder in self.kept.items():
            with self.subTest(name):
                result = harness.wine_run(harness.tool_exe("version_probe.exe"),
                                          [harness.windows_path(os.path.join(folder, "Setup.exe"))])
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                info = json.loads(result.stdout.strip().splitlines()[-1])
                self.assertEqual(info["file_version"], quad)
                self.assertEqual(info["product_version"], quad)
                strings = info["strings"]
                expected = {
                    "CompanyName": "Ostrevo Software",
                    "FileDescription": "Ostrevo Setup",
                    "FileVersion": version,
                    "OriginalFilename": "Setup.exe",
                    "ProductName": "Ostrevo Software Setup",
                    "ProductVersion": version,
                }
                for key, value in expected.items():
                    self.assertEqual(strings.get(key), value, key)
                self.assertRegex(strings.get("LegalCopyright", ""),
                                 r"^Copyright \(C\) \d{4} Ostrevo Software$")
                identity = re.search(r"<assemblyIdentity [^>]*>", info["manifest"]).group(0)
                self.assertIn('name="SETUP"', identity)
                self.assertIn(f'version="{quad}"', identity)
                self.assertIn('level="requireAdministrator"', info["manifest"])

    def test_program_carries_the_given_origins_stripped(self):
        with open(os.path.join(self.kept["signed"], "Setup.exe"), "rb") as f:
            image = f.read()
        for origin in ORIGINS.values():
            self.assertIn(origin.encode(), image)
        self.assertNotIn(b"localhost", image)
        symbols = subprocess.run([os.environ["SETUP_OBJDUMP"], "--syms", "--section-headers",
                                  os.path.join(self.kept["signed"], "Setup.exe")],
                                 capture_output=True, text=True, check=True).stdout
        self.assertIn("no symbols", symbols)
        self.assertNotIn(".debug", symbols)
        with open(os.path.join(self.build_dir, "CMakeCache.txt")) as f:
            self.assertIn("CMAKE_BUILD_TYPE:STRING=MinSizeRel", f.read())


class ReleaseConfigureRefusals(unittest.TestCase):
    """What the release configure refuses, each case in one scratch tree."""

    def test_refused_configurations(self):
        work = os.path.join(harness.build_dir(), "release-test")
        scratch = os.path.join(work, "refused")
        certs = tempfile.mkdtemp(prefix="signing-", dir=work)
        self.addCleanup(shutil.rmtree, certs, True)
        cert, pkcs12, password = make_signing_certificate(certs, "/CN=Ostrevo Refused Signing")
        pins = publisher_pins(cert)
        local = {env: f"https://localhost:{47443 + i}" for i, env in enumerate(ORIGINS)}
        cases = [
            ("no origins", [], [f"SETUP_ORIGIN_{env} is not set" for env in ORIGINS]),
            ("one origin missing", origin_args({**ORIGINS, "SIT": ""}),
             ["SETUP_ORIGIN_SIT is not set"]),
            ("plain http", origin_args({**ORIGINS, "UAT": "http://uat.ostrevo.test"}),
             ["SETUP_ORIGIN_UAT='http://uat.ostrevo.test' is not an HTTPS origin"]),
            ("the local defaults", origin_args(local),
             [f"SETUP_ORIGIN_{env}='{origin}' is the local test service"
              for env, origin in local.items()]),
            ("other loopback hosts",
             origin_args({**ORIGINS, "SIT": "https://LocalHost", "DIT": "https://127.0.0.1:9443"}),
             ["SETUP_ORIGIN_SIT='https://LocalHost' is the local test service",
              "SETUP_ORIGIN_DIT='https://127.0.0.1:9443' is the local test service"]),
            ("the test seams", origin_args(ORIGINS) + pins + ["-DSETUP_TEST_SEAMS=ON"],
             ["A release build never has the test seams"]),
            ("a certificate without its password file",
             origin_args(ORIGINS) + pins + [f"-DSETUP_SIGN_PKCS12={pkcs12}",
                                            "-DSETUP_SIGN_PASSWORD_FILE="],
             ["SETUP_SIGN_PASSWORD_FILE must name the file holding its password"]),
            ("a key file in the repository",
             origin_args(ORIGINS) + pins + [
                 f"-DSETUP_SIGN_PKCS12={os.path.join(REPO, 'README.md')}",
                 f"-DSETUP_SIGN_PASSWORD_FILE={password}"],
             ["is tracked by git"]),
            # The installer's check: pinned keys, or OFF said in so many words.
            ("no publisher keys", origin_args(ORIGINS),
             ["A release build needs the publisher's pinned keys"]),
            ("no publisher keys, the check ON",
             origin_args(ORIGINS) + ["-DSETUP_INSTALLER_SIGNATURE=ON"],
             ["SETUP_INSTALLER_SIGNATURE=ON needs the publisher's pinned keys"]),
            ("the test publisher", origin_args(ORIGINS) + ["-DSETUP_TEST_PUBLISHER=ON"],
             ["A release build never pins the throwaway test publisher"]),
        ]
        for name, args, messages in cases:
            with self.subTest(name):
                # The preset empties the origins on every run; the signing settings are emptied
                # here, so that no case inherits what an earlier one left in the cache.
                result = configure(scratch, "-DSETUP_SIGN_PKCS12=", "-DSETUP_SIGN_PASSWORD_FILE=",
                                   *args)
                output = result.stdout + result.stderr
                self.assertNotEqual(result.returncode, 0, output)
                self.assertIn("Configuring incomplete, errors occurred!", output)
                # CMake wraps long messages; compare with the line breaks taken out.
                flat = re.sub(r"\s+", " ", output)
                for message in messages:
                    self.assertIn(message, flat)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:], verbosity=2)
