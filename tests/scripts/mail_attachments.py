#!/usr/bin/python3
"""Parses a stored message with Python's email package and saves its attachments.

Prints one JSON object: the message's subject, from, to, reply-to, Message-ID and set headers,
whether it is multipart, its plain text, and for each attachment its file name and the path it was saved to.
"""

import email
import email.policy
import json
import os
import sys


def text_of(message):
    """The plain text part of the message, empty when it has none."""
    body = message.get_body(preferencelist=("plain",))
    return body.get_content() if body is not None else ""


def main():
    message_path, out_folder = sys.argv[1], sys.argv[2]
    with open(message_path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    attachments = []
    for index, part in enumerate(message.iter_attachments()):
        name = part.get_filename()
        target = os.path.join(out_folder, "attachment-%d" % index)
        with open(target, "wb") as out:
            out.write(part.get_payload(decode=True))
        attachments.append({"filename": name, "path": target})
    print(json.dumps({
        "subject": str(message["Subject"]),
        "from": str(message["From"]),
        "to": str(message["To"]),
        "message_id": str(message["Message-ID"] or ""),
        "set": str(message["X-Kestrel-Set"] or ""),
        "reply_to": str(message["Reply-To"] or ""),
        "multipart": message.is_multipart(),
        "text": text_of(message),
        "defects": [str(defect) for defect in message.defects],
        "attachments": attachments,
    }))


if __name__ == "__main__":
    main()
