#!/usr/bin/env bash
# Build the libFuzzer target of the geometry document reader and run it: tools/run_fuzz.sh [SECONDS]
#
# Split build: clang 14 cannot use libstdc++ 12's std::expected (it lacks the C++20 concepts
# level that <expected> checks, and conditionally trivial destructors), so the reader alone
# is built by clang with the fuzzer's coverage and ASan/UBSan, told the concepts level it
# needs, while the target, which destroys the results, is built by g++. Both use libstdc++.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
out=fuzz-build
rapidjson_include="$(pkg-config --variable=includedir RapidJSON 2>/dev/null || echo /usr/include)"
mkdir -p "$out/corpus"

# RapidJSON 1.1.0's Stack::Reserve adds to its null pointer before the first allocation.
printf '[pointer-overflow]\nsrc:%s/rapidjson/*\n' "$rapidjson_include" >"$out/ignorelist.txt"

g++ -std=c++23 -g -O1 -ffp-contract=off -Wall -Wextra -I. \
    -c tools/fuzz_geometry_document.cpp -o "$out/fuzz_geometry_document.o"
g++ -std=c++23 -g -O1 -ffp-contract=off -Wall -Wextra -I. \
    -c arm/geometry_document_writer.cpp -o "$out/geometry_document_writer.o"
clang++ -std=c++2b -U__cpp_concepts -D__cpp_concepts=202002L -g -O1 -ffp-contract=off \
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all \
    -fsanitize-ignorelist="$out/ignorelist.txt" -I. \
    -c arm/geometry_document.cpp -o "$out/geometry_document.o"
clang++ -fsanitize=fuzzer,address,undefined \
    "$out/fuzz_geometry_document.o" "$out/geometry_document.o" "$out/geometry_document_writer.o" -o "$out/fuzz_geometry_document"

# New inputs go to $out/corpus; the seeds in tools/fuzz_corpus are only read.
exec "$out/fuzz_geometry_document" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$out/" "$out/corpus" tools/fuzz_corpus
