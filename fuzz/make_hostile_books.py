#!/usr/bin/env python3
"""Writes the hostile address books that once made the vCard reader slow or
greedy, too big to keep in the repository: python3 make_hostile_books.py DIR

  param-1mb.vcf       one property whose long parameter section is followed
                      by folded lines ending in a soft line break (1 MB)
  empty-64mib.vcf     64 MiB of bare BEGIN:VCARD lines
  named-64mib.vcf     64 MiB of the smallest cards that have a name
  lone-cr.vcf         cards whose values hold a lone CR
"""
import os
import sys

MIB = 1024 * 1024


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def param_file():
    head = b"BEGIN:VCARD\r\nVERSION:2.1\r\nN;" + b"X-P=" + b"p" * (512 * 1024) + b";ENCODING=QUOTED-PRINTABLE:a=\r\n"
    body = b" =\r\n" * ((MIB - len(head)) // 4)
    return head + body + b"END:VCARD\r\n"


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    write(folder, "param-1mb.vcf", param_file())
    line = b"BEGIN:VCARD\r\n"
    write(folder, "empty-64mib.vcf", line * (64 * MIB // len(line)))
    card = b"BEGIN:VCARD\nN:a\n"
    write(folder, "named-64mib.vcf", card * (64 * MIB // len(card)))
    lone = b"".join(b"BEGIN:VCARD\r\nN:a\rb.c%d\r\nTEL;TYPE=FAX:1\r2\r\nEND:VCARD\r\n" % i for i in range(100000))
    write(folder, "lone-cr.vcf", lone)


if __name__ == "__main__":
    main()
