#!/usr/bin/env python3
"""The installer's translation files, checked against the texts the sources hold.

  check_translations.py --check SOURCE.ts LANG.ts...
      fails (status 1) when a source text has no finished translation in a language, or a
      translation loses, adds or renames a placeholder
  check_translations.py --pseudo SOURCE.ts OUT.ts
      writes the pseudo-language: every text as "[!! text !!]", so that a text shown without
      it has escaped translation

SOURCE.ts is what lupdate finds in the sources now. A source text's placeholders are %1, %2 ...
or %@ (the k-th %@ is %k in every translation); %n is the count of a plural form.
"""

import re
import sys
import xml.etree.ElementTree as ET

LAYOUT = ("QGuiApplication", "QT_LAYOUT_DIRECTION")
PLACEHOLDER = re.compile(r"%(?:L?[1-9]|n|@)")


def messages(path):
    """{(context, source): <message> element} of a .ts file."""
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            found[(name, message.findtext("source"))] = message
    return found


def expected_placeholders(source):
    """What every translation of `source` must hold: %@ counted into %1, %2 ..."""
    wanted, at = set(), 0
    for token in PLACEHOLDER.findall(source):
        if token == "%@":
            at += 1
            wanted.add("%" + str(at))
        else:
            wanted.add(token.replace("%L", "%"))
    return wanted


def translations(message):
    """The translated forms of a message (one, or one per plural form)."""
    element = message.find("translation")
    if element is None:
        return None, []
    forms = element.findall("numerusform")
    texts = [f.text or "" for f in forms] if forms else [element.text or ""]
    return element.get("type"), texts


def check(source_path, language_paths):
    sources = messages(source_path)
    problems = []
    for path in language_paths:
        language = messages(path)
        for key in sorted(sources, key=lambda k: (k[0] or "", k[1] or "")):
            context, source = key
            where = f"{path}: {context}: {source!r}"
            message = language.get(key)
            if message is None:
                problems.append(f"{where}: missing (run the update_translations target)")
                continue
            kind, texts = translations(message)
            if kind in ("unfinished", "vanished", "obsolete") or not texts or not all(texts):
                problems.append(f"{where}: no finished translation")
                continue
            if key == LAYOUT:
                if texts != ["LTR"] and texts != ["RTL"]:
                    problems.append(f"{where}: must be LTR or RTL")
                continue
            wanted = expected_placeholders(source)
            for text in texts:
                have = {t.replace("%L", "%") for t in PLACEHOLDER.findall(text)}
                if "%@" in have:
                    problems.append(f"{where}: {text!r} uses %@; translations number them (%1, %2)")
                elif have != wanted:
                    problems.append(
                        f"{where}: {text!r} has {sorted(have)}, the source needs {sorted(wanted)}"
                    )
    for problem in problems:
        print(problem)
    print(f"{len(sources)} source texts, {len(language_paths)} languages, {len(problems)} problems")
    return 1 if problems else 0


def pseudo(source_path, out_path):
    tree = ET.parse(source_path)
    root = tree.getroot()
    root.set("language", "en_XA")
    for context in root.iter("context"):
        for message in context.iter("message"):
            source = message.findtext("source")
            count = iter(range(1, 100))
            text = re.sub(r"%@", lambda _: "%" + str(next(count)), source)
            element = message.find("translation")
            element.attrib.pop("type", None)
            if (context.findtext("name"), source) == LAYOUT:
                element.text = "LTR"
            elif message.get("numerus") == "yes":
                element.text = None
                for _ in range(2):
                    ET.SubElement(element, "numerusform").text = f"[!! {text} !!]"
            else:
                element.text = f"[!! {text} !!]"
    tree.write(out_path, encoding="utf-8", xml_declaration=True)
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2], sys.argv[3:]))
    if len(sys.argv) == 4 and sys.argv[1] == "--pseudo":
        sys.exit(pseudo(sys.argv[2], sys.argv[3]))
    sys.exit(__doc__)
