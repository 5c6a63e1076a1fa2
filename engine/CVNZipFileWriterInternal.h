// The writer's data move on its own, so that tests can drive it on any handle
// without writing an entry of 4 GiB.
#pragma once

#include <cstdint>
#include <span>

class RVIOHandle;

// Moves the `length` bytes at `from` to the later offset `to` of `handle`, in
// pieces of at most the buffer's size, starting with the last piece, so that
// every byte is still readable until it has been copied. Leaves the handle's
// position after the last piece written. Raises as the handle does; an end of
// the handle before from + length raises RVIOHandleEndOfBytesException.
void CVNZipMoveDataTowardsEnd(RVIOHandle& handle, uint64_t from, uint64_t to, uint64_t length,
                              std::span<uint8_t> buffer);
