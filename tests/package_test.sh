#!/usr/bin/env bash
# The Debian package: built by cpack from the build folder and unpacked into a
# scratch root, it holds the three programs, their man pages and the font map
# and depends on parallel; there, with no environment set, vantrove converts
# the sample letter and vantrove-batch the examples folder, with their pages.
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >/dev/null
deb=("$scratch"/package/vantrove_*.deb)
dpkg-deb -f "${deb[0]}" Depends | grep -Eq '(^|, )parallel(,|$)'
dpkg -x "${deb[0]}" "$scratch/root"
usr=$scratch/root/usr
for file in bin/vantrove bin/vantrove-batch bin/tyx2html share/man/man1/vantrove.1 \
  share/man/man1/vantrove-batch.1 share/man/man1/tyx2html.1 kzinit/filters/dca.am; do
  [[ -f $usr/$file ]] || { echo "not in the package: $file" >&2 && exit 1; }
done

cd "$scratch"
env -i "$usr/bin/vantrove" "$source/examples/letter.dca" letter.tyx
cmp letter.tyx "$source/examples/letter.tyx"
# parallel needs a PATH and a HOME; vantrove-batch runs the vantrove and the
# tyx2html beside it.
env -i PATH=/usr/bin:/bin HOME="$scratch" "$usr/bin/vantrove-batch" --html "$source/examples" \
  converted >/dev/null
for example in "$source"/examples/*.dca; do
  name=$(basename "$example" .dca)
  cmp "converted/$name.tyx" "$source/examples/$name.tyx"
  cmp "converted/$name.html" "$source/examples/$name.html"
done
