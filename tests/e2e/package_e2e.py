#!/usr/bin/env python3
"""The Debian package: built by scripts/package.sh, unpacked with dpkg -x into
a scratch root. Its file list, its control data and units, and the installed
`tarvelo --check` on the shipped demo and on an empty base folder.

Usage: package_e2e.py SRCDIR PACKAGE_BUILD_DIR"""

import os
import re
import shutil
import subprocess
import sys
import tempfile


def expect(cond, what):
    if not cond:
        raise AssertionError(what)
    print("ok -", what, flush=True)


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def main():
    srcdir, builddir = sys.argv[1:3]
    built = run([os.path.join(srcdir, "scripts", "package.sh"), builddir], cwd=srcdir)
    if built.returncode != 0:
        raise AssertionError("scripts/package.sh failed:\n" + built.stdout[-3000:] + built.stderr[-3000:])
    deb = re.search(r"(?m)^package: (.+\.deb)$", built.stdout).group(1)
    expect(os.path.isfile(deb), "scripts/package.sh built " + os.path.basename(deb))
    print("package size: %d bytes" % os.path.getsize(deb), flush=True)

    field = lambda name: run(["dpkg-deb", "-f", deb, name]).stdout.strip()
    expect(field("Package") == "tarvelo", "the package is called tarvelo")
    expect("libqt6core6" in field("Depends") and "libqt6sql6-sqlite" in field("Depends"),
           "it depends on the Qt libraries the daemon uses")
    expect("libqt6widgets6" not in field("Depends") and "libqt6widgets6" in field("Recommends"),
           "Qt Widgets is only recommended: a server needs no X libraries")
    control = run(["dpkg-deb", "-I", deb]).stdout
    for script in ("postinst", "prerm", "postrm"):
        expect(re.search(r"\b%s\b" % script, control), "it carries its %s script" % script)

    root = tempfile.mkdtemp(prefix="tarvelo-deb-")
    try:
        subprocess.run(["dpkg", "-x", deb, root], check=True)
        files = set()
        for folder, _, names in os.walk(root):
            for name in names:
                files.add(os.path.relpath(os.path.join(folder, name), root))
        for path in ["usr/bin/tarvelo", "usr/bin/tarvelo-hub", "usr/bin/tarvelo-pimsim", "usr/bin/tarvelo-vbs",
                     "usr/bin/tarvelo-xap", "usr/lib/tarvelo/libtarvelo-desktop.so",
                     "usr/share/tarvelo/HTML/StyleNoBody.css", "usr/share/tarvelo/demo/Config/Tarvelo.ini",
                     "usr/share/tarvelo/demo/Data/Tarvelo/Tarvelo.upe", "usr/share/tarvelo/demo/Scripts/Tarvelo.txt",
                     "usr/lib/systemd/system/tarvelo.service", "usr/lib/systemd/system/tarvelo-hub.service",
                     "usr/lib/sysusers.d/tarvelo.conf", "usr/share/doc/tarvelo/README.md"]:
            expect(path in files, "installed: /" + path)
        expect(not [f for f in files if not f.startswith("usr/")], "nothing outside /usr")
        for exe in ["usr/bin/tarvelo", "usr/bin/tarvelo-hub"]:
            expect(os.access(os.path.join(root, exe), os.X_OK), exe + " is executable")

        with open(os.path.join(root, "usr/lib/systemd/system/tarvelo.service")) as f:
            unit = f.read()
        expect("ExecStart=/usr/bin/tarvelo --headless\n" in unit, "the service runs the installed daemon")
        expect("ExecStartPre=-/usr/bin/tarvelo --check\n" in unit, "and reports its check before each start")
        expect("StateDirectory=tarvelo\n" in unit and "TARVELO_HOME=/var/lib/tarvelo" in unit,
               "its base folder is /var/lib/tarvelo, made at the first start")
        expect("cp -R /usr/share/tarvelo/HTML HTML" in unit, "which gets the pages' files")
        with open(os.path.join(root, "usr/lib/systemd/system/tarvelo-hub.service")) as f:
            expect("ExecStart=/usr/bin/tarvelo-hub\n" in f.read(), "the hub service runs the installed hub")
        with open(os.path.join(root, "usr/lib/sysusers.d/tarvelo.conf")) as f:
            expect("u tarvelo " in f.read(), "the sysusers file makes the tarvelo user")

        tarvelo = os.path.join(root, "usr/bin/tarvelo")
        env = dict(os.environ, DISPLAY="", WAYLAND_DISPLAY="", TARVELO_HOME="")
        version = run([tarvelo, "--version"], env=env)
        expect(version.returncode == 0 and version.stdout.startswith("tarvelo "), "the installed tarvelo runs")

        demo = os.path.join(root, "base")
        shutil.copytree(os.path.join(root, "usr/share/tarvelo/demo"), demo)
        check = run([tarvelo, "--check", "--base", demo], env=env)
        expect(check.returncode == 0 and "Modules: 36\n" in check.stdout and "Problems: 0\n" in check.stdout,
               "the installed tarvelo --check passes on the shipped demo:\n" + check.stdout[-600:])

        empty = os.path.join(root, "empty")
        os.mkdir(empty)
        check = run([tarvelo, "--check", "--base", empty], env=env)
        expect(check.returncode == 1 and "UPStartExport not found" in check.stdout
               and check.stdout.count("Unable to create") == 1,
               "and names what a fresh base folder lacks, each problem once")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
