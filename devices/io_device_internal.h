// Shared by the files of the I/O device dialog (the dialog, discovery and
// identification); no other code includes it.
#pragma once
#include <winsock2.h>
#include <cstdint>

const DWORD kIdentifyBound = 4000;
const UINT_PTR kDiscoveryTimer = 1862;  // takes the next batch of replies

inline uint16_t Le16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }
