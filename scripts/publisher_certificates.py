"""Certificates as Setup pins its publisher: the SHA-256 of a certificate's DER SubjectPublicKeyInfo
(its key pin) and its subject's attributes as text. Python's standard library only, so that a build
machine needs no private key and no extra package: scripts/publisher-pins.py derives the build's
settings from a public certificate, scripts/check-release.py checks a finished release with them.
The subject is read and written with the rules of bootstrap/trust/publisher_subject.cpp."""

import base64
import hashlib
import re

# The attribute types a subject is written with, as Setup's parser knows them.
NAMES = {
    "2.5.4.3": "CN", "2.5.4.5": "SERIALNUMBER", "2.5.4.6": "C", "2.5.4.7": "L", "2.5.4.8": "ST",
    "2.5.4.9": "STREET", "2.5.4.10": "O", "2.5.4.11": "OU", "1.2.840.113549.1.9.1": "E",
}
TYPES = {name: oid for oid, name in NAMES.items()}
TYPES.update({"S": "2.5.4.8", "EMAILADDRESS": "1.2.840.113549.1.9.1"})


class NotACertificate(ValueError):
    pass


def read_certificates(path):
    """Every certificate in a PEM file (in order), or the file itself when it holds DER."""
    with open(path, "rb") as f:
        data = f.read()
    blocks = re.findall(rb"-----BEGIN CERTIFICATE-----(.*?)-----END CERTIFICATE-----", data, re.S)
    if not blocks:
        return [data]
    return [base64.b64decode(b"".join(block.split())) for block in blocks]


def tlv(data, at=0):
    """(tag, content, end) of the DER element at `at`."""
    if len(data) - at < 2:
        raise NotACertificate("truncated DER")
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or len(data) - at < count:
            raise NotACertificate("unsupported DER length")
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    if len(data) - at < length:
        raise NotACertificate("truncated DER")
    return tag, data[at:at + length], at + length


def elements(content):
    """(tag, content, whole encoding) of each element of a content, in order."""
    at = 0
    while at < len(content):
        tag, value, end = tlv(content, at)
        yield tag, value, content[at:end]
        at = end


def certificate_parts(der):
    """The subject, issuer and SubjectPublicKeyInfo encodings and the serial number's content."""
    tag, content, end = tlv(der)
    if tag != 0x30 or end != len(der):
        raise NotACertificate("not one DER certificate")
    tbs = next(elements(content))
    fields = list(elements(tbs[1]))
    if fields and fields[0][0] == 0xA0:
        fields = fields[1:]
    if len(fields) < 6:
        raise NotACertificate("too few certificate fields")
    serial, _, issuer, _, subject, key = (field for field in fields[:6])
    return {"serial": serial[1], "issuer": issuer[2], "subject": subject[2], "key": key[2]}


def key_pin(der):
    """The hex SHA-256 of the certificate's SubjectPublicKeyInfo, exactly as it is encoded in it."""
    return hashlib.sha256(certificate_parts(der)["key"]).hexdigest()


def dotted(oid):
    arcs, value = [], 0
    for byte in oid:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    first = min(arcs[0] // 40, 2)
    return ".".join(str(arc) for arc in [first, arcs[0] - 40 * first] + arcs[1:])


def decode_value(tag, value):
    """The text of a string value, or None for what Setup does not read as text."""
    try:
        if tag == 0x0C:
            text = value.decode("utf-8")
        elif tag in (0x12, 0x13, 0x16, 0x1A):
            text = value.decode("ascii")
        elif tag == 0x14:
            try:
                text = value.decode("utf-8")
            except UnicodeDecodeError:
                text = value.decode("latin-1")
        elif tag == 0x1E:
            text = value.decode("utf-16-be")
        elif tag == 0x1C:
            text = value.decode("utf-32-be")
        else:
            return None
    except UnicodeDecodeError:
        return None
    return None if "\0" in text else text


def decode_name(der):
    """[(dotted type, text or None)] of a DER Name, multi-valued parts flattened, in order."""
    tag, content, _ = tlv(der)
    if tag != 0x30:
        raise NotACertificate("not a Name")
    attributes = []
    for _, part, _ in elements(content):
        for _, pair, _ in elements(part):
            (_, oid, _), (value_tag, value, _) = list(elements(pair))
            attributes.append((dotted(oid), decode_value(value_tag, value)))
    return attributes


def escape(value):
    escaped = re.sub(r'([,+;"\\<>=#])', r"\\\1", value)
    if escaped.startswith(" "):
        escaped = "\\" + escaped
    if escaped.endswith(" "):
        escaped = escaped[:-1] + "\\ "
    return escaped


def format_subject(attributes):
    """The subject as SETUP_PUBLISHER_SUBJECT takes it, most specific first ("CN=..., O=...")."""
    return ", ".join(f"{NAMES.get(oid, oid)}={escape(value)}"
                     for oid, value in reversed(attributes) if value is not None)


def parse_subject(text):
    """[(dotted type, text)] of a configured subject, or ValueError."""
    attributes, at = [], 0
    while True:
        equals = text.find("=", at)
        if equals < 0:
            raise ValueError(f"no '=' after {text[at:]!r}")
        name = text[at:equals].strip(" ")
        upper = name.upper()
        oid = TYPES.get(upper) or (name[4:] if upper.startswith("OID.") else name)
        if not re.fullmatch(r"[0-2](\.(0|[1-9][0-9]*))+", oid):
            raise ValueError(f"unknown attribute type {name!r}")
        at = equals + 1
        while at < len(text) and text[at] == " ":
            at += 1
        raw, at = read_value(text, at)
        value = raw.decode("utf-8")
        if not value or "\0" in value:
            raise ValueError(f"empty value of {name}")
        attributes.append((oid, value))
        if at == len(text):
            return attributes
        if text[at] not in ",;+":
            raise ValueError(f"unexpected {text[at:]!r}")
        at += 1


def read_value(text, at):
    raw, kept = bytearray(), 0

    def escape_at(at):
        nxt = text[at + 1:at + 2]
        if nxt and nxt in ',+;"\\<>=# ':
            raw.extend(nxt.encode())
            return at + 2
        pair = text[at + 1:at + 3]
        if re.fullmatch(r"[0-9A-Fa-f]{2}", pair):
            raw.append(int(pair, 16))
            return at + 3
        raise ValueError(f"bad escape at {text[at:]!r}")

    if text[at:at + 1] == '"':
        at += 1
        while True:
            if at >= len(text):
                raise ValueError("unterminated quote")
            if text[at] == '"':
                if text[at + 1:at + 2] == '"':
                    raw.extend(b'"')
                    at += 2
                    continue
                at += 1
                break
            if text[at] == "\\":
                at = escape_at(at)
                continue
            raw.extend(text[at].encode())
            at += 1
        while at < len(text) and text[at] == " ":
            at += 1
        return bytes(raw), at
    if text[at:at + 1] == "#":
        raise ValueError("encoded values are not supported")
    while at < len(text) and text[at] not in ",;+":
        c = text[at]
        if c in '"<>':
            raise ValueError(f"unescaped {c!r}")
        if c == "\\":
            at = escape_at(at)
            kept = len(raw)
            continue
        raw.extend(c.encode())
        at += 1
        if c != " ":
            kept = len(raw)
    return bytes(raw[:kept]), at


def subject_matches(wanted, subject):
    """For every type wanted names, the subject has exactly its values there, in any order; exact
    text, case included (as Setup compares)."""
    if not wanted:
        return False

    def values(attributes, oid):
        return sorted((value is None, value or "") for t, value in attributes if t == oid)

    return all(values(subject, oid) == values(wanted, oid) for oid, _ in wanted)
