#!/usr/bin/env python3
"""Prints an XML file as Python's xml.etree reads it, as JSON: every element with its tag, its
attributes in document order, its text and its children."""
import json
import sys
import xml.etree.ElementTree as ET


def element(e):
    return {
        "tag": e.tag,
        "attrib": [[k, v] for k, v in e.attrib.items()],
        "text": e.text,
        "children": [element(c) for c in e],
    }


print(json.dumps(element(ET.parse(sys.argv[1]).getroot()), ensure_ascii=False))
