// Lazy Winsock binding: the binding table by ordinal and one stub per function.
#include "image/winsock.h"
#include <cstdint>
#include <cstdio>
#include "runtime/errors.h"

namespace image {

namespace {

// Table order, with the standard Winsock 2 ordinal of each function.
enum Ws : int {
  kGetpeername, kListen, kRecv, kConnect, kIoctlsocket, kRecvfrom, kSendto, kSetsockopt,
  kSocket, kHtonl, kBind, kHtons, kAsyncSelect, kClosesocket, kSend, kSelect,
  kGethostbyname, kInetNtoa, kInetAddr, kAccept, kGethostbyaddr, kGethostname, kCleanup,
  kStartup, kWsCount
};

struct Binding {
  uint16_t ordinal;
  const char* name;
};

constexpr Binding kBindings[kWsCount] = {
    {5, "getpeername"},   {13, "listen"},       {16, "recv"},           {4, "connect"},
    {10, "ioctlsocket"},  {17, "recvfrom"},     {20, "sendto"},         {21, "setsockopt"},
    {23, "socket"},       {8, "htonl"},         {2, "bind"},            {9, "htons"},
    {101, "WSAAsyncSelect"}, {3, "closesocket"}, {19, "send"},          {18, "select"},
    {52, "gethostbyname"}, {12, "inet_ntoa"},   {11, "inet_addr"},      {1, "accept"},
    {51, "gethostbyaddr"}, {57, "gethostname"}, {116, "WSACleanup"},    {115, "WSAStartup"},
};

HMODULE g_winsock = nullptr;
FARPROC g_bound[kWsCount] = {};

// The bound address of function `i`, loading and binding Winsock on the first call.
FARPROC bound(Ws i) {
  if (!g_winsock) {
    HMODULE module = LoadLibraryA("wS2_32.dLl");
    if (!module)
      runtime::raise_error("无法载入Windows网络支持库“ws2_32.dll”，网络功能不能使用!", 0);
    for (int k = 0; k < kWsCount; ++k)
      g_bound[k] = GetProcAddress(module, MAKEINTRESOURCEA(kBindings[k].ordinal));
    g_winsock = module;
  }
  if (!g_bound[i]) {
    static char message[160];
    std::snprintf(message, sizeof message, "Windows网络支持库“ws2_32.dll”中缺少函数“%s”!",
                  kBindings[i].name);
    runtime::raise_error(message, 0);
  }
  return g_bound[i];
}

template <class Fn>
Fn bound_as(Ws i) {
  return reinterpret_cast<Fn>(bound(i));
}

}  // namespace

int WSAAPI ws_getpeername(SOCKET s, sockaddr* name, int* length) {
  return bound_as<decltype(&ws_getpeername)>(kGetpeername)(s, name, length);
}
int WSAAPI ws_listen(SOCKET s, int backlog) {
  return bound_as<decltype(&ws_listen)>(kListen)(s, backlog);
}
int WSAAPI ws_recv(SOCKET s, char* buffer, int length, int flags) {
  return bound_as<decltype(&ws_recv)>(kRecv)(s, buffer, length, flags);
}
int WSAAPI ws_connect(SOCKET s, const sockaddr* name, int length) {
  return bound_as<decltype(&ws_connect)>(kConnect)(s, name, length);
}
int WSAAPI ws_ioctlsocket(SOCKET s, long command, u_long* argument) {
  return bound_as<decltype(&ws_ioctlsocket)>(kIoctlsocket)(s, command, argument);
}
int WSAAPI ws_recvfrom(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* from_length) {
  return bound_as<decltype(&ws_recvfrom)>(kRecvfrom)(s, buffer, length, flags, from, from_length);
}
int WSAAPI ws_sendto(SOCKET s, const char* buffer, int length, int flags, const sockaddr* to, int to_length) {
  return bound_as<decltype(&ws_sendto)>(kSendto)(s, buffer, length, flags, to, to_length);
}
int WSAAPI ws_setsockopt(SOCKET s, int level, int option, const char* value, int length) {
  return bound_as<decltype(&ws_setsockopt)>(kSetsockopt)(s, level, option, value, length);
}
SOCKET WSAAPI ws_socket(int family, int type, int protocol) {
  return bound_as<decltype(&ws_socket)>(kSocket)(family, type, protocol);
}
u_long WSAAPI ws_htonl(u_long value) { return bound_as<decltype(&ws_htonl)>(kHtonl)(value); }
int WSAAPI ws_bind(SOCKET s, const sockaddr* name, int length) {
  return bound_as<decltype(&ws_bind)>(kBind)(s, name, length);
}
u_short WSAAPI ws_htons(u_short value) { return bound_as<decltype(&ws_htons)>(kHtons)(value); }
int WSAAPI ws_WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events) {
  return bound_as<decltype(&ws_WSAAsyncSelect)>(kAsyncSelect)(s, window, message, events);
}
int WSAAPI ws_closesocket(SOCKET s) { return bound_as<decltype(&ws_closesocket)>(kClosesocket)(s); }
int WSAAPI ws_send(SOCKET s, const char* buffer, int length, int flags) {
  return bound_as<decltype(&ws_send)>(kSend)(s, buffer, length, flags);
}
int WSAAPI ws_select(int count, fd_set* read, fd_set* write, fd_set* except, const timeval* timeout) {
  return bound_as<decltype(&ws_select)>(kSelect)(count, read, write, except, timeout);
}
hostent* WSAAPI ws_gethostbyname(const char* name) {
  return bound_as<decltype(&ws_gethostbyname)>(kGethostbyname)(name);
}
char* WSAAPI ws_inet_ntoa(in_addr address) {
  return bound_as<decltype(&ws_inet_ntoa)>(kInetNtoa)(address);
}
unsigned long WSAAPI ws_inet_addr(const char* text) {
  return bound_as<decltype(&ws_inet_addr)>(kInetAddr)(text);
}
SOCKET WSAAPI ws_accept(SOCKET s, sockaddr* address, int* length) {
  return bound_as<decltype(&ws_accept)>(kAccept)(s, address, length);
}
hostent* WSAAPI ws_gethostbyaddr(const char* address, int length, int type) {
  return bound_as<decltype(&ws_gethostbyaddr)>(kGethostbyaddr)(address, length, type);
}
int WSAAPI ws_gethostname(char* name, int length) {
  return bound_as<decltype(&ws_gethostname)>(kGethostname)(name, length);
}
int WSAAPI ws_WSACleanup() { return bound_as<decltype(&ws_WSACleanup)>(kCleanup)(); }
int WSAAPI ws_WSAStartup(WORD version, WSADATA* data) {
  return bound_as<decltype(&ws_WSAStartup)>(kStartup)(version, data);
}

HMODULE winsock_module() { return g_winsock; }

void release_winsock() {
  if (!g_winsock) return;
  FreeLibrary(g_winsock);
  g_winsock = nullptr;
  for (FARPROC& f : g_bound) f = nullptr;
}

}  // namespace image
