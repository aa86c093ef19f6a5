// The Winsock functions the communication units call, as a table handed in at install time:
// the program binds them lazily by ordinal above this layer, so this folder never links the
// socket library itself and a program that opens no socket never loads it.
#pragma once
#include <winsock2.h>
#include <windows.h>

namespace comm {

struct WinsockApi {
  int(WSAAPI* getpeername)(SOCKET, sockaddr*, int*);
  int(WSAAPI* listen)(SOCKET, int);
  int(WSAAPI* recv)(SOCKET, char*, int, int);
  int(WSAAPI* connect)(SOCKET, const sockaddr*, int);
  int(WSAAPI* ioctlsocket)(SOCKET, long, u_long*);
  int(WSAAPI* recvfrom)(SOCKET, char*, int, int, sockaddr*, int*);
  int(WSAAPI* sendto)(SOCKET, const char*, int, int, const sockaddr*, int);
  int(WSAAPI* setsockopt)(SOCKET, int, int, const char*, int);
  SOCKET(WSAAPI* socket)(int, int, int);
  u_long(WSAAPI* htonl)(u_long);
  int(WSAAPI* bind)(SOCKET, const sockaddr*, int);
  u_short(WSAAPI* htons)(u_short);
  int(WSAAPI* async_select)(SOCKET, HWND, u_int, long);
  int(WSAAPI* closesocket)(SOCKET);
  int(WSAAPI* send)(SOCKET, const char*, int, int);
  int(WSAAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*);
  hostent*(WSAAPI* gethostbyname)(const char*);
  char*(WSAAPI* inet_ntoa)(in_addr);
  unsigned long(WSAAPI* inet_addr)(const char*);
  SOCKET(WSAAPI* accept)(SOCKET, sockaddr*, int*);
  hostent*(WSAAPI* gethostbyaddr)(const char*, int, int);
  int(WSAAPI* gethostname)(char*, int);
  int(WSAAPI* cleanup)();
  int(WSAAPI* startup)(WORD, WSADATA*);
};

// The table in use; every entry is set once install() has run.
const WinsockApi& ws();

}  // namespace comm
