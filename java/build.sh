#!/usr/bin/env bash
# Builds the Java-side runtime jars with the JDK whose bin directory is given:
#   vennic-runtime.jar  module com.vennic.runtime (com.vennic.runtime)
#   qarruntime.jar      module com.quarlo.runtime (the quarlo classes and the
#                       vennic package they share)
# The classes are compiled for Java 8, so every runtime from 8 on runs them;
# module-info alone is compiled for 9 and ignored by Java 8.
# Usage: java/build.sh JDK_BIN OUTPUT_DIR
set -euo pipefail
jdk_bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
work="$out/classes"
rm -rf "$work"
mkdir -p "$work"

# runtime name, source directories...
build_jar() {
  local jar=$1; shift
  local classes="$work/$jar" modinfo="$work/$jar-module"
  local sources=()
  for dir in "$@"; do
    while IFS= read -r -d '' f; do sources+=("$f"); done < <(find "$dir" -name '*.java' ! -name module-info.java -print0)
  done
  "$jdk_bin/javac" -Xlint:all -Xlint:-options -Werror -encoding UTF-8 --release 8 -d "$classes" "${sources[@]}"
  # module-info needs the packages it exports, so it is compiled beside them.
  "$jdk_bin/javac" -Xlint:-options -encoding UTF-8 --release 9 -d "$modinfo" "${@: -1}/module-info.java" "${sources[@]}"
  cp "$modinfo/module-info.class" "$classes/"
  rm -f "$out/$jar"
  "$jdk_bin/jar" --create --file "$out/$jar" -C "$classes" .
}

build_jar vennic-runtime.jar "$here/vennic"
build_jar qarruntime.jar "$here/vennic" "$here/quarlo"
rm -rf "$work"
