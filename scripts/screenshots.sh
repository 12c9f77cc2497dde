#!/usr/bin/env bash
# Writes a PNG of each of the nine pages as OVMF's own setup browser shows
# them: builds the firmware preset, boots OVMF with the drivers and opens the
# form sets one after another.
#   scripts/screenshots.sh [output folder]   (default build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
cmake --preset firmware >/dev/null
cmake --build --preset firmware -j "$(nproc)" >/dev/null
fw=build/firmware
exec python3 qemu/show_setup.py --work "$fw/qemu/screenshots-run" --screenshots "$out" \
  --packages "$fw/forms/packages" \
  "$fw/qemu/showsetup.efi" "$fw/qemu/formutil_trace.efi" "$fw/qemu/graphics_ovmf.efi" \
  "$fw/qemu/nvme_standin.efi" "$fw/setupinfo/setupinfo.efi" "$fw/updatefetch/updatefetch.efi"
