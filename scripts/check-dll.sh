#!/usr/bin/env bash
# Static checks of the shipped plug-in, run on the stripped DLL players get:
#   scripts/check-dll.sh [--symbols FILE] [DLL]   (default dist/quiverleaf_extensions.dll)
# PE header (i386 DLL, relocations, DYNAMIC_BASE, NX_COMPAT, no W+X section),
# exactly the two exports, exactly the imports of scripts/dll-imports.txt, none
# of them nor the header asking for a Windows newer than XP SP3, the version
# resource with its source commit, no MMX/AVX/MXCSR write/non-temporal
# store/emms, the game's fixed addresses as unrelocated literals, and, with
# the symbols of the same build (by default from
# quiverleaf_extensions-symbols.zip beside the DLL): the MSVC shape of each
# handler table, the return conventions, the load-time actions of
# scripts/dll-load-actions.txt, and SSE code only in the functions of
# scripts/dll-sse2-functions.txt (XMM stack operands after a realigned ESP,
# constant-pool operands 16-byte aligned).
set -euo pipefail
exec python3 "$(dirname "$0")/check_dll.py" "$@"
