// Texts typed into a TCP port field that is read as an unsigned number and
// kept in 16 bits, with the port stored: a text that is no whole number
// stores 0, a number beyond 32 bits the largest one.
#pragma once

namespace porttest {

struct PortCase {
    const wchar_t* text;
    int port;
};

const PortCase kUnsignedPorts[] = {
    {L"8100", 8100},
    {L" 8200 ", 8200},
    {L"12x", 0},
    {L"", 0},
    {L"0", 0},
    {L"65535", 65535},
    {L"70000", 4464},
    {L"4294967295", 65535},
    {L"4294967296", 65535},
    {L"99999999999", 65535},
    {L"-1", 0},
    {L"0x50", 0},
};

}  // namespace porttest
