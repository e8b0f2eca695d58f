#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// MPEG transport streams: AVCHD clips (.MTS, .M2TS: 192-byte packets, a 4-byte arrival time
// before each 188-byte packet) and plain streams (.TS: 188-byte packets).

// A sync byte (0x47) at each packet start within the sector, for either packet size.
bool LooksLikeTsStart(const unsigned char* sector);

// The run of packets from the start: it ends at the first packet whose sync byte is missing. The
// packets' sync bytes vouch for every byte of the run, so the scan passes over it whatever the
// verdict. A run cut inside a packet, or an AVCHD clip that is not a whole number of its 6144-byte
// aligned units, is damaged (another file's data, or a clip stored in pieces, follows).
FormatWalk WalkTs(ByteSource& file);

}  // namespace quorvex
