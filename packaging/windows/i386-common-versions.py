#!/usr/bin/python3
"""i386-common-versions.py PACKAGE...

Prints apt preferences that hold every Multi-Arch: same library that an install of the given
packages may reach for i386, and for amd64 has or may reach too, at one version on both
architectures:
the installed amd64 version where i386 is offered it too, else the newest version both are
offered in; and the installed amd64 packages that depend on such a library by a version the
hold breaks, at their newest version that takes it. On standard error, a line for each library
the two architectures are offered at no common version.

A machine whose amd64 libraries came from another snapshot of the archive than the i386 lists
apt can verify (a security list mid-sync, an image made on another day) cannot take their i386
twins as it stands: apt's candidates differ per architecture and it answers "held broken
packages". A hold only changes what the install touches; everything else stays as it is.
Reads only the lists apt has verified, through apt's own library; changes nothing.
"""
import functools
import sys

import apt_pkg

DEPENDS = ("Depends", "PreDepends")
newest = functools.partial(max, key=functools.cmp_to_key(apt_pkg.version_compare))


def offered(package):
    return {version.ver_str: version for version in package.version_list if version.downloadable}


def package_of(cache, name, arch):
    try:
        return cache[name, arch]
    except KeyError:
        return None


def dependency_targets(version):
    for kind in DEPENDS:
        for group in version.depends_list.get(kind, []):
            for dependency in group:
                yield dependency


def reach(cache, requested):
    """Every package the requested ones may pull in, through any alternative or provider."""
    seen, todo = set(), list(requested)
    while todo:
        package = todo.pop()
        if package.id in seen:
            continue
        seen.add(package.id)
        versions = offered(package)
        if versions:
            todo.extend(dependency.target_pkg for dependency in
                        dependency_targets(versions[newest(versions)]))
        todo.extend(provider.parent_pkg for _, _, provider in package.provides_list)
    return seen


def shared_libraries(cache, within):
    """The Multi-Arch: same libraries whose i386 twin is within reach and which amd64 has
    installed or within reach too, each with the version to hold both architectures at: the
    installed one where i386 is offered it too, else the newest both are offered in (None when
    there is none)."""
    for twin in cache.packages:
        if twin.architecture != "i386" or twin.id not in within:
            continue
        amd64 = package_of(cache, twin.name, "amd64")
        if amd64 is None:
            continue
        current = amd64.current_ver
        i386 = offered(twin)
        if current is None and amd64.id not in within or not i386:
            continue
        if i386[newest(i386)].multi_arch != apt_pkg.Version.MULTI_ARCH_SAME:
            continue
        if current is not None and current.ver_str in i386:
            yield amd64, twin, current.ver_str
            continue
        shared = i386.keys() & offered(amd64).keys()
        yield amd64, twin, newest(shared) if shared else None


def exact_dependents(cache, held):
    """Installed amd64 packages that depend on a held one by an exact version that the move
    breaks, each with the newest version of its own that takes every move."""
    found = {}
    for package in cache.packages:
        current = package.current_ver
        if package.architecture != "amd64" or current is None or package.id in held:
            continue
        if not any(breaks_on(dependency, held) for dependency in dependency_targets(current)):
            continue
        fitting = [version for version in offered(package).values()
                   if not any(breaks_on(dependency, held) for dependency in dependency_targets(version))]
        if fitting:
            found[package.id] = (package, newest(v.ver_str for v in fitting))
    return found


def breaks_on(dependency, held):
    target = held.get(dependency.target_pkg.id)
    return (target is not None and dependency.target_ver
            and not apt_pkg.check_dep(target[1], dependency.comp_type, dependency.target_ver))


def main():
    apt_pkg.init()
    cache = apt_pkg.Cache(None)
    requested = [cache[name.partition(":")[0], name.partition(":")[2] or "amd64"]
                 for name in sys.argv[1:]]
    held = {}
    for amd64, twin, version in shared_libraries(cache, reach(cache, requested)):
        if version is None:
            print(f"{amd64.name} is offered at no version for both amd64 and i386", file=sys.stderr)
            continue
        held[amd64.id] = (amd64, version)
        held[twin.id] = (twin, version)
    while True:
        dependents = exact_dependents(cache, held)
        if not dependents:
            break
        held.update(dependents)
    for package, version in sorted(held.values(), key=lambda hold: hold[0].get_fullname(True)):
        print(f"Package: {package.get_fullname(True)}\nPin: version {version}\nPin-Priority: 1001\n")


if __name__ == "__main__":
    main()
