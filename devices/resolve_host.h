// Host text as typed by the user (a name or a dotted IPv4 address) to IPv4
// addresses; every failure is told to the user in a message box.
//
//   uint32_t addr;                       // network byte order
//   if (ResolveHost(hostText, &addr, 1, TRUE) == 0) return;   // user was told
#pragma once
#include <cstdint>

// Returns the number of addresses the name service knows (which may exceed
// `count`; the first `count` of them are stored), 0 on failure. Dotted
// addresses are parsed without a look-up; an invalid one is reported even
// when `showMessages` is clear.
int ResolveHost(const wchar_t* host, uint32_t* addresses, int count, int showMessages);

// The text as the resolver sees it: leading white space skipped, the low 8 bits
// of each unit, at most 99 characters.
void HostTextToName(const wchar_t* host, char (&name)[100]);
