"""Reads a mail with Python's email package and prints what the mail tests compare, as JSON.

    mail_check.py MAIL FOLDER

Each attachment is also written to FOLDER/attachment-<n> for other programs to check.
"""

import email
import email.policy
import hashlib
import io
import json
import os
import sys
import zipfile

raw = open(sys.argv[1], "rb").read()
message = email.message_from_bytes(raw, policy=email.policy.default)
defects, header_defects, parts = [], [], []
for part in message.walk():
    defects += [type(d).__name__ for d in part.defects]
    for name, value in part.items():
        header_defects += ["%s: %s" % (name, d) for d in getattr(value, "defects", ())]
    entry = {"type": part.get_content_type(), "charset": part.get_param("charset"),
             "cte": part.get("Content-Transfer-Encoding")}
    if part.is_attachment():
        data = part.get_payload(decode=True)
        entry["filename"] = part.get_filename()
        entry["file"] = os.path.join(sys.argv[2], "attachment-%d" % len(parts))
        with open(entry["file"], "wb") as f:
            f.write(data)
        with zipfile.ZipFile(io.BytesIO(data), metadata_encoding="cp866") as z:
            entry["bad_entry"] = z.testzip()
            entry["entries"] = [{"name": i.filename, "sha256": hashlib.sha256(z.read(i)).hexdigest()}
                                for i in z.infolist()]
    elif part.get_content_maintype() == "text":
        entry["text"] = part.get_content().replace("\r\n", "\n")
    parts.append(entry)

print(json.dumps({
    "subject": message["subject"],
    "defects": defects,
    "header_defects": header_defects,
    "bare_line_ends": raw.replace(b"\r\n", b"").count(b"\n") + raw.replace(b"\r\n", b"").count(b"\r"),
    # Text parts with their character set and transfer encoding.
    "types": ["; ".join(filter(None, (p["type"], p["charset"], p["cte"] if p["charset"] else None))) for p in parts],
    "parts": parts,
}, ensure_ascii=False))
