# What the benchmark scripts share, sourced with BUILD set: the trees' paths
# and the module's block size, read from the one place that sets it.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NATIVE="$BUILD/native"
WIN="$BUILD/win"
BLOCK=$(sed -n 's/.*kTransferBlockBytes = \([0-9]*\) \* 1024;.*/\1/p' "$ROOT/common/socket.h")
BLOCK=$((BLOCK * 1024))
