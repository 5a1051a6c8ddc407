#!/usr/bin/env bash
# Builds the Maven plugin offline and installs it into build/maven-repo, the
# local repository that users of this checkout point Maven at. Called by
# scripts/build once the packers, launchers and runtime jars are built.
#
# build/maven-repo mirrors Debian's repository (/usr/share/maven-repo) as
# directories of links, so Maven resolves Debian's plugins and libraries
# there and writes only into the build tree. The plugin is built again only
# when its sources or its payload changed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
repo=$root/build/maven-repo
work=$root/build/maven-plugin
payload=$work/payload/org/winlaunch/maven/payload
debian=/usr/share/maven-repo

version=$(sed -n 's/^project(winlaunch VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
pom_version=$(sed -n '0,/<version>/s/.*<version>\(.*\)<\/version>.*/\1/p' tools/maven-plugin/pom.xml)
if [ "$version" != "$pom_version" ]; then
  echo "maven-plugin: tools/maven-plugin/pom.xml has version $pom_version, CMakeLists.txt $version" >&2
  exit 1
fi

# New Debian packages bring new links; links whose target went are removed.
mkdir -p "$repo"
cp -rsn "$debian/." "$repo/"
find "$repo" -xtype l -delete

# The payload, copied only where it changed so that Maven sees what did.
stage() {  # source, name in the payload
  mkdir -p "$(dirname "$payload/$2")"
  cmp -s "$1" "$payload/$2" || cp "$1" "$payload/$2"
}
stage build/packer-dist/winlaunch-pack linux-x86_64/winlaunch-pack
stage build/win64/winlaunch-pack.exe windows-x64/winlaunch-pack.exe
stage build/win64/winlaunch.exe win64/winlaunch.exe
stage build/win32/winlaunch.exe win32/winlaunch.exe
stage build/java/vennic-runtime.jar vennic-runtime.jar
stage build/java/qarruntime.jar qarruntime.jar

jar=$repo/org/winlaunch/winlaunch-maven-plugin/$version/winlaunch-maven-plugin-$version.jar
stamp=$(cd "$root" && { find tools/maven-plugin -type f ! -name '*.md' -print0; find "$payload" -type f -print0; } |
        sort -z | xargs -0 sha256sum | sha256sum | cut -d' ' -f1)
if [ -f "$jar" ] && [ "$(cat "$work/installed.sha256" 2>/dev/null)" = "$stamp" ]; then
  echo "maven-plugin: $jar is up to date"
  exit 0
fi

# A fresh output directory instead of maven-clean-plugin, which Debian's
# Maven cannot run (it asks for plexus-utils 1.1).
rm -rf "$work/target" "$work/installed.sha256"
log=$work/build.log
started=$(date +%s)
if ! mvn -o -B -Dmaven.repo.local="$repo" -f tools/maven-plugin/pom.xml install >"$log" 2>&1; then
  cat "$log" >&2
  echo "maven-plugin: the build failed (log: $log)" >&2
  exit 1
fi
echo "$stamp" > "$work/installed.sha256"
echo "maven-plugin: installed $jar in $(( $(date +%s) - started )) s"
