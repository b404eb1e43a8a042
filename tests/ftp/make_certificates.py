#!/usr/bin/python3
"""make_certificates.py DIR: DIR/root.pem, a private root for the test to trust,
and per row DIR/<row>.pem (leaf, then any intermediate) with the key DIR/leaf.key."""
import datetime
import glob
import ipaddress
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization as ser
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.x509.oid import NameOID

NOW, DAY = datetime.datetime.utcnow(), datetime.timedelta(days=1)
key = lambda: ec.generate_private_key(ec.SECP256R1())
name = lambda cn: x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def cert(subject, issuer, public, signer, alt=None, ca=False, start=-1, end=2):
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer).public_key(public)
         .serial_number(x509.random_serial_number()).not_valid_before(NOW + start * DAY)
         .not_valid_after(NOW + end * DAY)
         .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if alt:
        kind, value = alt.split(":", 1)
        alt = x509.IPAddress(ipaddress.ip_address(value)) if kind == "IP" else x509.DNSName(value)
        b = b.add_extension(x509.SubjectAlternativeName([alt]), critical=False)
    return b.sign(signer, hashes.SHA256())


# OpenSSL takes a root as a leaf's issuer only if its key type could have
# made the leaf's signature: the forgery is signed with RSA, as such roots.
def expired_system_root():
    for path in sorted(glob.glob("/etc/ssl/certs/*.pem")):
        root = x509.load_pem_x509_certificate(open(path, "rb").read())
        if root.not_valid_after < NOW and isinstance(root.public_key(), rsa.RSAPublicKey):
            return root.subject
    sys.exit("no expired RSA root in /etc/ssl/certs")


def main(out):
    ca_key, stranger, leaf = key(), key(), key()
    ca = name("Vrex test root")
    middle = cert(name("Vrex expired CA"), ca, stranger.public_key(), ca_key, None, True, -3, -1)
    me, pub, ip = name("Vrex test"), leaf.public_key(), "IP:127.0.0.1"
    rows = {
        "root": [cert(ca, ca, ca_key.public_key(), ca_key, ca=True)],
        "good": [cert(me, ca, pub, ca_key, "DNS:localhost")],
        "ip": [cert(me, ca, pub, ca_key, ip)],
        "wronghost": [cert(me, ca, pub, ca_key, "DNS:other.example.org")],
        "expired": [cert(me, ca, pub, ca_key, ip, start=-3, end=-1)],
        "notyet": [cert(me, ca, pub, ca_key, ip, start=1, end=3)],
        "selfsigned": [cert(me, me, pub, leaf, ip)],
        "unknown": [cert(me, name("Vrex unknown CA"), pub, stranger, ip)],
        "forgedmiddle": [cert(me, middle.subject, pub, key(), ip), middle],
        "systemroot": [cert(me, expired_system_root(), pub, rsa.generate_private_key(65537, 2048), ip)],
    }
    for row, chain in rows.items():
        open("%s/%s.pem" % (out, row), "wb").write(
            b"".join(c.public_bytes(ser.Encoding.PEM) for c in chain))
    open(out + "/leaf.key", "wb").write(
        leaf.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.PKCS8, ser.NoEncryption()))


if __name__ == "__main__":
    main(sys.argv[1])
