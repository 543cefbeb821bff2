#!/usr/bin/python3
"""Reads a stored mail as a receiving mail program would (Python's email
package, default policy) and prints, as JSON, its subject, its text body
(line breaks as "\\n"), its charset and transfer encoding, and its
Message-ID."""

import email
import email.policy
import json
import sys

with open(sys.argv[1], "rb") as source:
    message = email.message_from_bytes(source.read(), policy=email.policy.default)
print(json.dumps({
    "subject": str(message["subject"] or ""),
    "body": message.get_content(),
    "charset": message.get_content_charset(),
    "transfer": str(message["content-transfer-encoding"] or ""),
    "message_id": str(message["message-id"] or ""),
}, ensure_ascii=False))
