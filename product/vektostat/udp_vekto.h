// udp_vekto.dll's one export, for the DLL itself and for the statistics client that imports it.
#pragma once

#include <windows.h>

#ifdef UDP_VEKTO_BUILD
#define UDP_VEKTO_API extern "C" __declspec(dllexport)
#else
#define UDP_VEKTO_API extern "C" __declspec(dllimport)
#endif

// Sends `length` bytes of `data` to host:port (a name or an address) in one datagram. The number of bytes
// sent, or -1.
UDP_VEKTO_API int WINAPI udp_send(const char* host, int port, const char* data, int length);
