#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the C++ tests
# (optimised and under AddressSanitizer + UndefinedBehaviorSanitizer) and the
# Python tests against the installed module, and a strict type check of vantor_tools.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! dpkg -s libgtest-dev >/dev/null 2>&1 || ! command -v cmake >/dev/null 2>&1 || ! command -v ninja >/dev/null 2>&1; then
  apt-get update
  apt-get install -y libgtest-dev cmake ninja-build g++
fi
python3 -m pip install --quiet --upgrade pip
python3 -m pip install --quiet ".[test]"

jobs=$(nproc)
cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_PYTHON=OFF
cmake --build build/tests -j "$jobs"
ctest --test-dir build/tests --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON \
  -DVANTOR_BUILD_PYTHON=OFF -DVANTOR_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-O1
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

(cd tests/python && python3 -m pytest -q -p no:cacheprovider .)

# The pure-Python layer type-checks strictly against the module's stub.
python3 -m pip install --quiet mypy types-tqdm
(cd python && python3 -m mypy --strict --cache-dir=/dev/null -p vantor_tools)

# Distribution: the guide builds without a warning (its examples ran with the
# Python tests above), the installed stub passes mypy --strict and stubtest,
# and the Python tests pass on the oldest and the newest supported CPython.
python3 -m pip install --quiet --group docs --group typing --group nox
python3 -m mkdocs build --strict --quiet
python3 -m nox
(cd tests/python && python3 -m pytest -q -p no:cacheprovider test_typing.py)

# The binding under AddressSanitizer and UndefinedBehaviorSanitizer: the
# extension built with both, and the Python tests run against it with the
# sanitizer runtimes preloaded into the interpreter (which is not built with
# them). Python allocates through malloc so that the sanitizers see the
# objects the binding handles; every leak is reported. Tests that time
# things, or limit the address space, skip themselves here.
python=$(python3 -c 'import sys; print(sys.executable)')  # the interpreter itself, not a shim
cmake -S . -B build/sanitize-py -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON \
  -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-O1 \
  -DPython_EXECUTABLE="$python"
cmake --build build/sanitize-py -j "$jobs"
runtimes="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
module_dir="$PWD/build/sanitize-py/src"
(cd tests/python &&
  LD_PRELOAD="$runtimes" PYTHONPATH="$module_dir" PYTHONMALLOC=malloc \
  VANTOR_SANITIZED=1 ASAN_OPTIONS=detect_leaks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$python" -m pytest -q -p no:cacheprovider .)
