"""Reads a message file with Python's email package (default policy) and prints what a mail
program would see, as JSON: every defect found, the header names, the subject, the addresses,
the plain-text body and the attachments with their bytes in hex."""

import email
import email.policy
import json
import sys


def header_defects(part):
    found = []
    for name, value in part.items():
        found += ["%s: %r" % (name, defect) for defect in getattr(value, "defects", ())]
    return found


def addresses(message, name):
    header = message[name]
    if header is None:
        return None
    return [{"name": a.display_name, "address": a.addr_spec} for a in header.addresses]


def main(path):
    with open(path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    defects = [repr(d) for d in message.defects] + header_defects(message)
    attachments = []
    for part in message.walk():
        if part is not message:
            defects += [repr(d) for d in part.defects] + header_defects(part)
        if part.get_content_disposition() == "attachment":
            attachments.append({"filename": part.get_filename(), "hex": part.get_content().hex()})
    body = message.get_body(("plain",))
    result = {
        "defects": defects,
        "headers": list(message.keys()),
        "subject": message["Subject"],
        "to": addresses(message, "To"),
        "from": addresses(message, "From"),
        "unsent": message["X-Unsent"],
        "body": body.get_content() if body is not None else None,
        "attachments": attachments,
    }
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
