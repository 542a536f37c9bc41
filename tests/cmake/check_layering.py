#!/usr/bin/env python3
"""Checks that the link lines of the build follow the includes of the code.

Every folder's headers are on one include path, so the compiler cannot tell when a target includes
a header of a library it does not link; the static libraries are linked anyway through a
neighbour. This check reads the target list that CMake writes (cmake/PdTargetList.cmake) and the
sources, and reports:

  - a target that includes a header of another target without naming it in its own link line;
  - a library whose headers include another target's header while linking it PRIVATE only;
  - a library that passes a target on PUBLIC although none of its headers includes it.

A header belongs to the library that compiles the .cpp of the same name; a header without one
belongs to the first library of its folder (the widget-free one). A header that no library owns
(a test's header-only helper) counts as part of each file that includes it.

Usage: check_layering.py TARGET_LIST SOURCE_DIR   (exit 0 clean, 1 findings, 2 bad input)
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)
# Outside libraries whose headers lie on the compiler's own path, by the start of the include.
SYSTEM_HEADERS = {"sane/": "PkgConfig::SANE", "turbojpeg.h": "PkgConfig::TURBOJPEG"}
# The targets the check knows; anything else in a link line (gtest, pd_options) is left alone.
KNOWN = re.compile(r"^(pd_(?!options$)\w+|Qt6::\w+|PkgConfig::\w+)$")


class Target:
    def __init__(self, name, kind, folder, sources, links, interface):
        self.name = name
        self.kind = kind
        self.folder = folder
        self.sources = sources
        self.links = links
        self.interface = interface


def canonical(name):
    """pd::scan and pd_scan are one target; $<LINK_ONLY:x> is a private link of a static library."""
    return re.sub(r"^pd::", "pd_", name.strip())


def split(field):
    return [item for item in field.split("|") if item]


def read_target_list(path):
    targets, outside = [], {}
    with open(path, encoding="utf-8") as listing:
        for number, line in enumerate(listing, 1):
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "include" and len(fields) == 3:
                outside[fields[1]] = split(fields[2])
            elif fields[0] == "target" and len(fields) == 7:
                name, kind, folder, sources, links, interface = fields[1:]
                targets.append(
                    Target(
                        name,
                        kind,
                        folder,
                        [os.path.normpath(os.path.join(folder, s)) for s in split(sources)],
                        {canonical(x) for x in split(links)},
                        {canonical(x) for x in split(interface) if not x.startswith("$<LINK_ONLY:")},
                    )
                )
            else:
                raise ValueError(f"{path}:{number}: unexpected line")
    return targets, outside


class Tree:
    def __init__(self, source_dir, targets, outside):
        self.root = os.path.realpath(source_dir)
        self.outside = outside
        self.owner = {}  # header path relative to the root -> library
        self.includes_cache = {}
        libraries = [t for t in targets if t.kind in ("STATIC_LIBRARY", "OBJECT_LIBRARY")]
        for library in libraries:
            for source in library.sources:
                header = self.relative(os.path.splitext(source)[0] + ".h")
                if header and os.path.isfile(os.path.join(self.root, header)):
                    self.owner.setdefault(header, library.name)
        first_library = {}
        for library in libraries:
            first_library.setdefault(self.relative(library.folder), library.name)
        for folder, library in first_library.items():
            if folder is None or folder.startswith("tests"):
                continue
            for entry in sorted(os.listdir(os.path.join(self.root, folder))):
                header = os.path.join(folder, entry) if folder != "." else entry
                if entry.endswith(".h") and header not in self.owner:
                    self.owner[header] = library

    def relative(self, path):
        path = os.path.realpath(path)
        if path != self.root and not path.startswith(self.root + os.sep):
            return None
        return os.path.relpath(path, self.root)

    def includes(self, path):
        if path not in self.includes_cache:
            with open(path, encoding="utf-8", errors="replace") as source:
                self.includes_cache[path] = INCLUDE.findall(source.read())
        return self.includes_cache[path]

    def includers(self):
        """Header path relative to the root -> the files of the tree that include it."""
        if not hasattr(self, "_includers"):
            self._includers = {}
            for folder, subfolders, names in os.walk(self.root):
                subfolders[:] = [d for d in subfolders if not d.startswith(".") and d != "build"]
                for name in names:
                    if name.endswith((".h", ".cpp", ".cpp.in")):
                        path = os.path.join(folder, name)
                        for header in self.includes(path):
                            self._includers.setdefault(os.path.normpath(header), set()).add(self.relative(path))
        return self._includers

    def exposed_headers(self, own, sources):
        """The library's headers that other files include, and the own headers those include: a
        header only the library itself includes (one that wraps sane.h, say) stays internal."""
        inside = own | {self.relative(s) for s in sources}
        exposed = [h for h in own if self.includers().get(h, set()) - inside]
        pending, seen = list(exposed), set()
        while pending:
            header = pending.pop()
            if header in seen:
                continue
            seen.add(header)
            pending += [i for i in self.includes(os.path.join(self.root, header)) if i in own]
        return [os.path.join(self.root, h) for h in sorted(seen)]

    def outside_target(self, name):
        for start, target in SYSTEM_HEADERS.items():
            if name.startswith(start):
                return target
        for target, folders in self.outside.items():
            if any(os.path.isfile(os.path.join(folder, name)) for folder in folders):
                return target
        return None

    def needs(self, files, own_headers):
        """The targets whose headers the files include, following headers that no library owns."""
        found, seen, pending = set(), set(), list(files)
        while pending:
            path = pending.pop()
            if path in seen or not os.path.isfile(path):
                continue
            seen.add(path)
            for name in self.includes(path):
                header = os.path.join(self.root, name)
                if os.path.isfile(header):
                    relative = self.relative(header)
                    if relative in own_headers:
                        continue
                    if relative in self.owner:
                        found.add(self.owner[relative])
                    else:
                        pending.append(header)
                elif (target := self.outside_target(name)) is not None:
                    found.add(target)
        return found


def check(targets, tree):
    findings = []
    for target in targets:
        if tree.relative(target.folder) is None:
            continue
        sources = [s for s in target.sources if os.path.isfile(s)]
        own = {tree.relative(os.path.splitext(s)[0] + ".h") for s in sources}
        own |= {h for h, library in tree.owner.items() if library == target.name}
        own = {h for h in own if h and os.path.isfile(os.path.join(tree.root, h))}
        headers = [os.path.join(tree.root, h) for h in sorted(own)]
        everything = tree.needs(sources + headers, own) - {target.name}
        for needed in sorted(everything - target.links):
            findings.append(f"{target.name} includes headers of {needed} but does not link it")
        if target.kind == "EXECUTABLE":
            continue
        exposed = tree.needs(tree.exposed_headers(own, sources), own) - {target.name}
        for needed in sorted((exposed & target.links) - target.interface):
            findings.append(f"{target.name}: its headers include {needed}, so it must link {needed} PUBLIC")
        # A library without headers of its own implements declarations made elsewhere; what it
        # passes on is then its choice.
        if headers:
            for passed in sorted(x for x in target.interface - exposed - {target.name} if KNOWN.match(x)):
                findings.append(f"{target.name} links {passed} PUBLIC, but none of its headers includes it")
    return findings


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        targets, outside = read_target_list(argv[1])
    except (OSError, ValueError) as error:
        print(f"cannot read the target list: {error}", file=sys.stderr)
        return 2
    findings = check(targets, Tree(argv[2], targets, outside))
    for finding in findings:
        print(finding)
    if findings:
        print(f"{len(findings)} link line(s) do not follow the includes.")
        return 1
    print(f"{len(targets)} targets: every link line follows the includes.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
