#pragma once
/* The entry points of the camera vendor's client library "909/libDVSNETClient.so", as the
   search calls them. Plain C calling convention; ints are 32 bits, pointers native. The
   test library that stands in for the vendor's implements exactly these. */

#ifdef __cplusplus
extern "C" {
#endif

/* Called once for each camera found, on any thread, during DVSNET_SearchServers or later.
   Every pointer is valid for the duration of the call only. */
typedef void (*TDvsNetSearchCallback)(int unused1, const char* name, int unused3,
                                      const char* ipAddress, const unsigned char* mac6,
                                      int port, int port2, const char* netmask,
                                      const char* gateway, const char* auxText,
                                      const char* dns, int aux16, int aux32, int dhcp,
                                      void* context);

/* The search calls DVSNET_SearchServers(3000, 1, callback, context, 0); 0 means started. */
typedef int (*TDvsNetSearchServers)(int timeoutMs, int mode, TDvsNetSearchCallback callback,
                                    void* context, int reserved);
/* Stops a search; afterwards the callback is not called again. */
typedef int (*TDvsNetStopSearch)(void);

#define DVSNET_SEARCH_SERVERS_NAME "DVSNET_SearchServers"
#define DVSNET_STOP_SEARCH_NAME "DVSNET_StopSearch"

#ifdef __cplusplus
}
#endif
