// Lazy Winsock binding: the 24 socket functions the communication units use, each reached
// through a stub of its own signature. The first call of any stub loads Winsock 2 (through the
// intercepted LoadLibraryA) and binds all 24 by ordinal; a Winsock that cannot be loaded, or
// lacks one of them, is a run-time error with a clear message rather than a jump to nowhere.
#pragma once
#include <winsock2.h>
#include <windows.h>

namespace image {

int WSAAPI ws_getpeername(SOCKET s, sockaddr* name, int* length);
int WSAAPI ws_listen(SOCKET s, int backlog);
int WSAAPI ws_recv(SOCKET s, char* buffer, int length, int flags);
int WSAAPI ws_connect(SOCKET s, const sockaddr* name, int length);
int WSAAPI ws_ioctlsocket(SOCKET s, long command, u_long* argument);
int WSAAPI ws_recvfrom(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* from_length);
int WSAAPI ws_sendto(SOCKET s, const char* buffer, int length, int flags, const sockaddr* to, int to_length);
int WSAAPI ws_setsockopt(SOCKET s, int level, int option, const char* value, int length);
SOCKET WSAAPI ws_socket(int family, int type, int protocol);
u_long WSAAPI ws_htonl(u_long value);
int WSAAPI ws_bind(SOCKET s, const sockaddr* name, int length);
u_short WSAAPI ws_htons(u_short value);
int WSAAPI ws_WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
int WSAAPI ws_closesocket(SOCKET s);
int WSAAPI ws_send(SOCKET s, const char* buffer, int length, int flags);
int WSAAPI ws_select(int count, fd_set* read, fd_set* write, fd_set* except, const timeval* timeout);
hostent* WSAAPI ws_gethostbyname(const char* name);
char* WSAAPI ws_inet_ntoa(in_addr address);
unsigned long WSAAPI ws_inet_addr(const char* text);
SOCKET WSAAPI ws_accept(SOCKET s, sockaddr* address, int* length);
hostent* WSAAPI ws_gethostbyaddr(const char* address, int length, int type);
int WSAAPI ws_gethostname(char* name, int length);
int WSAAPI ws_WSACleanup();
int WSAAPI ws_WSAStartup(WORD version, WSADATA* data);

// The Winsock module once a stub has loaded it, else null.
HMODULE winsock_module();
// Releases the Winsock module if a stub loaded it (program main, at exit).
void release_winsock();

}  // namespace image
